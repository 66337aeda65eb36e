// dark_rows.h - one row of the working image classified at a time, dark
// pixels marked 1 and the others 0, in a loop the compiler vectorises.
// Internal to detect/.
#ifndef MORVEX_DETECT_DARK_ROWS_H
#define MORVEX_DETECT_DARK_ROWS_H

#include "frame.h"

namespace mvcore {

// out[i] = 1 when working pixel i of the row starting at src (pixels
// `step` frame pixels apart, `frame`'s layout) has R + G + B <= limit, else
// 0, for i in 0 .. n - 1. out is not read; src must hold the n pixels.
void mark_dark(const FrameView &frame, const unsigned char *src, int n, int step, int limit, unsigned char *out);

}  // namespace mvcore

#endif
