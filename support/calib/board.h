// The printable chessboard and what mvcalib tells about a fit.
//
//   #include "board.h"               // link morvex_calib
//
//   mvtool::Image img = mvcalib::boardImage(board, 40);   // 40 px a square
//   std::string svg = mvcalib::boardSvg(board);           // exact millimetres
//   std::fputs(mvcalib::reportText(est).c_str(), stdout);
#ifndef MORVEX_CALIB_BOARD_H
#define MORVEX_CALIB_BOARD_H

#include "calib.h"

#include <string>

namespace mvcalib {

// The board: (cols + 1) x (rows + 1) squares, the top-left one black, inside
// a white margin one square wide (the corner finder needs it). Grey, one
// byte a pixel, px_per_square pixels a square.
mvtool::Image boardImage(const Board &board, int px_per_square);
// Its printed width in millimetres, margin included.
double boardWidthMm(const Board &board);
// The same board as an SVG document at exact millimetres.
std::string boardSvg(const Board &board);

// The report: the fit's RMS, each parameter with its standard deviation,
// each view's RMS and tilt (rejected ones with the reason) and the warnings.
std::string reportText(const Estimate &est);

// Each kept corner's residual as a line from the corner, magnified, one
// colour per view, on a white width x height frame (RGB), with a legend
// under it: what the marks mean, a scale bar of a round residual in pixels,
// and which views (numbered as in the report) each colour shows. The
// picture is `width` wide and taller than `height` by the legend. The
// magnification chosen goes to *magnification: a round number that makes
// the RMS residual about 20 pixels long.
mvtool::Image residualPicture(const Estimate &est, const std::vector<View> &views, int width, int height,
                              double *magnification);

}  // namespace mvcalib

#endif
