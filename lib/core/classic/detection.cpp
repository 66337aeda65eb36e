// The process-wide detection interface: the stages on the active camera's
// frames, results in storage that lives until the next call.
#include "classic.h"


#include "morvex/camera.h"
#include "morvex/detect.h"
#include "message.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

int mvImageProcMode = 0;
int mvDebug = 0;
unsigned char *mvImage = nullptr;

namespace {

using namespace mvcore;

enum { kSquareMax = 30 };   // candidates, markers, history entries

Detector &the_detector()
{
    static Detector d({kSquareMax, kSquareMax, kSquareMax, MV_CONTOUR_MAX, true});
    return d;
}

// mvDetectMarker2's candidate table and the candidates it finds them from.
MvMarkerCandidate candidate_table[kSquareMax];
CandidateSet found;
// mvGetMarkerInfo's marker table and the edge fitting's storage.
MvMarkerInfo marker_table[kSquareMax];
EdgeScratch edge_scratch;

// The debug picture we allocated and its size in pixels, so that a larger
// working image later gets a larger one.
unsigned char *debug_buffer = nullptr;
long debug_capacity = 0;

int pow2_at_least(int v)
{
    int p = 1;
    while (p < v) p *= 2;
    return p;
}

// mvImage ready for a working image of lxsize x lysize, zeroed.
void prepare_debug_image(int lxsize, int lysize)
{
    const long need = (long)lxsize * lysize;
    if (mvImage == nullptr || (mvImage == debug_buffer && debug_capacity < need)) {
        int w = pow2_at_least(mvImXsize);
        if (w > 512) w = 512;
        const int h = pow2_at_least(mvImYsize);
        long pixels = (long)w * h;
        if (pixels < need) pixels = need;
        if (mvImage == debug_buffer) std::free(debug_buffer);
        debug_buffer = (unsigned char *)std::malloc((size_t)pixels * 4);
        if (debug_buffer == nullptr) fatal(MV_ERROR_MEMORY, stdout, "malloc error!!\n");
        debug_capacity = pixels;
        mvImage = debug_buffer;
    }
    std::memset(mvImage, 0, (size_t)need * 4);
}

void print_trace_fault(void *, int fault)
{
    report(fault == kTraceTooLong ? MV_ERROR_CAPACITY : MV_ERROR_ARGUMENT, stdout, "??? %d\n", fault);
}

class StoreIdentifier : public Identifier {
public:
    void identify(const FrameView &frame, bool half, const int *x, const int *y, const int corners[4],
                  int *id, int *direction, double *confidence) override
    {
        classic::identify(frame, half, x, y, corners, id, direction, confidence);
    }
};

int working_step() { return classic::half_resolution() ? 2 : 1; }

// The debug picture for this frame's labelling, or none.
unsigned char *debug_target()
{
    if (!mvDebug) return nullptr;
    const int step = working_step();
    const int lx = mvImXsize / step, ly = mvImYsize / step;
    if (lx <= 0 || ly <= 0 || (long)lx * ly > MV_WORK_PIXELS_MAX) return nullptr;
    prepare_debug_image(lx, ly);
    return mvImage;
}

void report_labelling_failure(MvError code, const Labeling &L)
{
    if (code == MV_ERROR_MEMORY)
        report(code, nullptr, "labelling storage for a %d x %d frame", mvImXsize, mvImYsize);
    else
        report(code, nullptr, "working image of %d x %d pixels: labelling takes 1 to %ld", L.xsize,
               L.ysize, MV_WORK_PIXELS_MAX);
}

int detect(const unsigned char *image, int thresh, bool use_history, MvMarkerInfo **markerInfo,
           int *markerNum)
{
    *markerNum = 0;
    Detector &d = the_detector();
    StoreIdentifier store;
    const MvError r = d.detect(classic::active_frame(image), thresh, classic::half_resolution(),
                               mvParam.distortion, use_history, store, debug_target(),
                               print_trace_fault, nullptr);
    if (r != MV_ERROR_NONE) {
        report_labelling_failure(r, d.labeling());
        return -1;
    }
    *markerNum = (int)d.markers().size();
    *markerInfo = d.markers().data();
    return 0;
}

}  // namespace

namespace mvcore {
namespace classic {

bool half_resolution() { return mvImageProcMode == 1; }

void identify(const FrameView &frame, bool half, const int *x, const int *y, const int corners[4],
              int *id, int *direction, double *confidence)
{
    MatchEntry room[50];
    identify_outline(frame, half, x, y, corners, store_patterns(room), id, direction, confidence);
}

Detector &detector() { return the_detector(); }

}  // namespace classic
}  // namespace mvcore

extern "C" MvLabel *mvLabeling(const unsigned char *image, int thresh, int *labelCount, int **area,
                               double **pos, int **clip, int **labelTable)
{
    Labeling &L = the_detector().labeling();
    const MvError r = L.run(classic::active_frame(image), thresh, working_step(), debug_target());
    if (r != MV_ERROR_NONE) {
        report_labelling_failure(r, L);
        return nullptr;
    }
    *labelCount = L.count;
    if (L.count > 0) {
        *area = L.area.data();
        *pos = L.pos.data();
        *clip = L.clip.data();
        *labelTable = L.table.data();
    }
    return L.image.data();
}

extern "C" int mvGetImgFeature(int *num, int **area, int **clip, double **pos)
{
    Labeling &L = the_detector().labeling();
    *num = L.count;
    *area = L.area.data();
    *clip = L.clip.data();
    *pos = L.pos.data();
    return 0;
}

extern "C" int mvGetContour(const MvLabel *labelImage, const int *labelTable, int label,
                            const int clip[4], MvMarkerCandidate *candidate)
{
    const int step = working_step();
    const LabelingView view = {labelImage, mvImXsize / step, mvImYsize / step, step, 0, labelTable,
                               nullptr, nullptr, nullptr};
    std::vector<int> x, y;
    int fault;
    try {
        fault = trace_outline(view, label, clip, MV_CONTOUR_MAX, x, y);
    } catch (const std::bad_alloc &) {
        report(MV_ERROR_MEMORY, nullptr, "outline storage");
        return -1;
    }
    if (fault != 0) {
        print_trace_fault(nullptr, fault);
        return -1;
    }
    std::copy(x.begin(), x.end(), candidate->contourX);
    std::copy(y.begin(), y.end(), candidate->contourY);
    candidate->contourCount = (int)x.size();
    return 0;
}

extern "C" MvMarkerCandidate *mvDetectMarker2(const MvLabel *labelImage, int labelCount,
                                              const int *labelTable, const int *area,
                                              const double *pos, const int *clip, int areaMax,
                                              int areaMin, double factor, int *count)
{
    const int step = working_step();
    const LabelingView view = {labelImage, mvImXsize / step, mvImYsize / step, step, labelCount,
                               labelTable, area, clip, pos};
    CandidateLimits limits = {areaMin, areaMax, factor, kSquareMax, MV_CONTOUR_MAX};
    *count = 0;
    try {
        find_candidates(view, limits, &found, print_trace_fault, nullptr);
    } catch (const std::bad_alloc &) {
        report(MV_ERROR_MEMORY, nullptr, "candidate storage");
        return candidate_table;
    }
    int n = 0;
    for (const Candidate &c : found.list) {
        MvMarkerCandidate &t = candidate_table[n++];
        t.area = c.area;
        t.center[0] = c.center[0];
        t.center[1] = c.center[1];
        t.contourCount = c.count;
        std::copy(found.xs(c), found.xs(c) + c.count, t.contourX);
        std::copy(found.ys(c), found.ys(c) + c.count, t.contourY);
        std::copy(c.corners, c.corners + 5, t.cornerIndices);
    }
    *count = n;
    return candidate_table;
}

extern "C" int mvGetLine2(const int *contourX, const int *contourY, int contourCount,
                          const int cornerIndices[5], double edgeLines[4][3],
                          double vertices[4][2], const double distortion[4])
{
    (void)contourCount;
    // A side longer than any outline comes from corner indices that do not
    // belong to one.
    for (int i = 0; i < 4; i++)
        if ((double)cornerIndices[i + 1] - cornerIndices[i] > MV_CONTOUR_MAX) return -1;
    try {
        return fit_edges(contourX, contourY, cornerIndices, distortion, edge_scratch, edgeLines,
                         vertices);
    } catch (const std::bad_alloc &) {
        return -1;
    }
}

extern "C" int mvGetLine(const int *contourX, const int *contourY, int contourCount,
                         const int cornerIndices[5], double edgeLines[4][3],
                         double vertices[4][2])
{
    return mvGetLine2(contourX, contourY, contourCount, cornerIndices, edgeLines, vertices,
                      mvParam.distortion);
}

extern "C" MvMarkerInfo *mvGetMarkerInfo(const unsigned char *image,
                                         const MvMarkerCandidate *candidates, int *count)
{
    // The marker table holds as many records as the candidate table.
    int n = *count;
    if (n > kSquareMax) n = kSquareMax;
    const FrameView frame = classic::active_frame(image);
    const bool half = classic::half_resolution();
    int j = 0;
    for (int i = 0; i < n; i++) {
        const MvMarkerCandidate *c = &candidates[i];
        MvMarkerInfo *m = &marker_table[j];
        m->area = c->area;
        m->center[0] = c->center[0];
        m->center[1] = c->center[1];
        if (mvGetLine(c->contourX, c->contourY, c->contourCount, c->cornerIndices, m->edgeLines,
                      m->vertices) < 0)
            continue;
        classic::identify(frame, half, c->contourX, c->contourY, c->cornerIndices, &m->id,
                          &m->direction, &m->confidence);
        j++;
    }
    *count = j;
    return marker_table;
}

extern "C" int mvDetectMarker(const unsigned char *image, int thresh, MvMarkerInfo **markerInfo,
                              int *markerNum)
{
    return detect(image, thresh, true, markerInfo, markerNum);
}

extern "C" int mvDetectMarkerLite(const unsigned char *image, int thresh,
                                  MvMarkerInfo **markerInfo, int *markerNum)
{
    return detect(image, thresh, false, markerInfo, markerNum);
}
