// labeling.h - thresholding and 8-connected labelling of a frame's dark
// pixels in one raster pass. Internal to the core.
#ifndef MORVEX_DETECT_LABELING_H
#define MORVEX_DETECT_LABELING_H

#include "morvex/detect.h"
#include "morvex/error.h"
#include "frame.h"

#include <cstddef>
#include <vector>

namespace mvcore {

// Pixel count, coordinate sums (64 bits: a large frame's sums pass 2^31) and
// box of the pixels carrying one provisional label.
struct LabelStats {
    int area;
    long long sx, sy;
    int x0, x1, y0, y1;
};

// A labelling's results as candidate extraction reads them: the label
// image (xsize x ysize, row-major), the component count and the tables of
// Labeling below. The process-wide interface also builds one from a
// caller's own tables.
struct LabelingView {
    const MvLabel *image;
    int xsize, ysize, step, count;
    const int *table, *area, *clip;
    const double *pos;
};

// One labelling's results and the storage behind them. Storage grows to
// the largest frame and label count seen and is then reused, so steady
// frames allocate nothing. Results stay valid until the next run.
struct Labeling {
    int xsize = 0, ysize = 0;   // the working image: every `step`th pixel
    int step = 1;               // 1 full resolution, 2 half
    int count = 0;              // components
    int provisional = 0;        // provisional labels made
    std::vector<MvLabel> image; // xsize x ysize; 0 bright or border, else provisional label
    std::vector<int> table;     // provisional label p -> component number at [p - 1]
    std::vector<int> area;      // per component (number - 1)
    std::vector<double> pos;    // centroid x, y per component
    std::vector<int> clip;      // min x, max x, min y, max y per component
    std::vector<int> parent;    // union-find over provisional labels
    std::vector<LabelStats> stats;

    // Labels the dark pixels (R + G + B <= 3 * thresh) of the working image
    // of `frame` (every `step`th pixel in x and y, step 1 or 2). When `debug`
    // is not null it receives the threshold picture (working size, 4 bytes
    // per pixel: 255 in bytes 0-2 for dark pixels, 0 for bright; the caller
    // zeroes it first). Working-image units throughout. MV_ERROR_NONE;
    // MV_ERROR_ARGUMENT for an empty working image or one above
    // MV_WORK_PIXELS_MAX pixels; MV_ERROR_MEMORY when storage cannot grow
    // (results then unusable, storage still consistent).
    MvError run(const FrameView &frame, int thresh, int step, unsigned char *debug);

    LabelingView view() const
    {
        return {image.data(), xsize, ysize, step, count, table.data(), area.data(), clip.data(),
                pos.data()};
    }
};

}  // namespace mvcore

#endif
