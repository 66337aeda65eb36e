// runs.h - labelling by runs: each working row's dark runs, joined
// 8-connected to the runs of the row above, with each component's area,
// centroid, box and first pixel. No label image is written: outlines are
// traced on the frame itself. The tracker's labelling; its components, and
// their order, are those of Labeling. Internal to the core.
#ifndef MORVEX_DETECT_RUNS_H
#define MORVEX_DETECT_RUNS_H

#include "labeling.h"

#include <atomic>
#include <cstddef>
#include <vector>

namespace mvcore {

class RunLabeling {
public:
    // Components of the dark pixels (R + G + B <= 3 * thresh) of the working
    // image of `frame` (every `step`th pixel, step 1 or 2), the frame's
    // outermost working rows and columns counting as bright. `bands` > 1
    // labels that many horizontal bands, band b by worker(b) when `run_bands`
    // is given (any thread; band b touches only its own storage), and joins
    // them after. MV_ERROR_NONE, MV_ERROR_ARGUMENT (empty or too large
    // working image) or MV_ERROR_MEMORY.
    typedef void (*BandRunner)(void *context, int bands, void (*work)(void *, int), void *work_context);
    MvError run(const FrameView &frame, int thresh, int step, int bands = 1, BandRunner run_bands = nullptr,
                void *runner_context = nullptr);

    // Whether working pixel (x, y) is dark (false on the outermost rows and
    // columns and outside).
    bool dark(int x, int y) const
    {
        if (x <= 0 || y <= 0 || x >= xsize - 1 || y >= ysize - 1) return false;
        return frame_.sum(x * step, y * step) <= limit_;
    }

    int xsize = 0, ysize = 0, step = 1, count = 0;
    std::vector<int> area;      // per component, in raster order of first pixels
    std::vector<double> pos;    // centroid x, y
    std::vector<int> clip;      // min x, max x, min y, max y
    std::vector<int> first;     // x, y of the component's first pixel (raster order)

private:
    struct Run {
        int s, e;    // first and last dark pixel
        int label;
    };
    // One band of rows: its labels and the runs of its first and last rows.
    struct Band {
        int j0, j1;
        int labels = 0;
        std::vector<Run> top, prev, cur;
        std::vector<int> parent;
        std::vector<LabelStats> stats;
        std::vector<int> first_x, first_y;
        std::vector<unsigned char> marks;   // the current row's dark marks
    };
    void label_band(Band &b);
    void label_band_any(Band &b);
    static void band_work(void *self, int b);
    void join_and_resolve();

    FrameView frame_;
    int limit_ = 0;
    std::vector<Band> bands_;
    std::vector<int> parent_, table_;
    std::vector<LabelStats> stats_;
    std::vector<int> first_x_, first_y_;
    std::vector<long long> sums_;      // coordinate sums per component
    std::atomic<bool> failed_{false};  // a band could not grow its storage
};

}  // namespace mvcore

#endif
