/* labeling.cpp - thresholding and 8-connected labelling in one raster pass
   with an equivalence table. */
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "morvex/camera.h"
#include "morvex/detect.h"
#include "detect_internal.h"
#include "message.h"

int mvImageProcMode = 0;
int mvDebug = 0;
unsigned char *mvImage = nullptr;

namespace {

// Labels go up to MV_LABEL_MAX, so the label image needs a type that holds
// 32768 as a positive value.
unsigned short l_imageL[MV_LABEL_IMAGE_MAX];
int workL[MV_LABEL_MAX];
int work2L[MV_LABEL_MAX * 7];
int wlabel_numL = 0;
int wareaL[MV_LABEL_MAX];
double wposL[MV_LABEL_MAX * 2];
int wclipL[MV_LABEL_MAX * 4];

// Size in pixels of the debug image we allocated, so a larger working image
// later (another camera, or full resolution after half) gets a larger one.
long debug_capacity = 0;
unsigned char *debug_buffer = nullptr;

void put_zero(unsigned char *buffer, long n)
{
    if (n <= 0) return;
    std::memset(buffer, 0, (size_t)n);
}

int pow2_at_least(int v)
{
    int p = 1;
    while (p < v) p *= 2;
    return p;
}

void prepare_debug_image(int lxsize, int lysize)
{
    long need = (long)lxsize * lysize;
    if (mvImage == nullptr || (mvImage == debug_buffer && debug_capacity < need)) {
        int w = pow2_at_least(mvImXsize);
        if (w > 512) w = 512;
        int h = pow2_at_least(mvImYsize);
        long pixels = (long)w * h;
        if (pixels < need) pixels = need;
        if (mvImage == debug_buffer) std::free(debug_buffer);
        debug_buffer = (unsigned char *)std::malloc((size_t)pixels * 4);
        if (debug_buffer == nullptr) mvcore::fatal(MV_ERROR_MEMORY, stdout, "malloc error!!\n");
        debug_capacity = pixels;
        mvImage = debug_buffer;
    }
    put_zero(mvImage, need * 4);
}

template <bool kDebug>
unsigned short *labeling(const unsigned char *image, int thresh, int *labelCount,
                         int **area, double **pos, int **clip, int **labelTable)
{
    int lxsize, lysize, step;
    if (mvImageProcMode == 1) {
        lxsize = mvImXsize / 2;
        lysize = mvImYsize / 2;
        step = 2;
    } else {
        lxsize = mvImXsize;
        lysize = mvImYsize;
        step = 1;
    }
    // The label image has room for MV_LABEL_IMAGE_MAX entries only.
    if (lxsize <= 0 || lysize <= 0 || (long)lxsize * lysize > MV_LABEL_IMAGE_MAX) {
        mvcore::report(MV_ERROR_ARGUMENT, nullptr,
                       "working image of %d x %d pixels: labelling takes 1 to %d",
                       lxsize, lysize, MV_LABEL_IMAGE_MAX);
        return nullptr;
    }
    if (kDebug) prepare_debug_image(lxsize, lysize);

    unsigned short *img = l_imageL;
    for (int i = 0; i < lxsize; i++) {
        img[i] = 0;
        img[(lysize - 1) * lxsize + i] = 0;
    }
    for (int j = 0; j < lysize; j++) {
        img[j * lxsize] = 0;
        img[j * lxsize + lxsize - 1] = 0;
    }

    const int limit = thresh * 3;
    int wk_max = 0;
    for (int j = 1; j < lysize - 1; j++) {
        unsigned short *p = &img[j * lxsize + 1];
        const unsigned short *above = p - lxsize;
        const unsigned char *src = image + ((long)(j * step) * mvImXsize + step) * 4;
        unsigned char *dbg = kDebug ? mvImage + ((long)j * lxsize + 1) * 4 : nullptr;
        for (int i = 1; i < lxsize - 1; i++, p++, above++, src += 4 * step) {
            int s = src[0] + src[1] + src[2];
            if (s > limit) {
                *p = 0;
                if (kDebug) { dbg[0] = dbg[1] = dbg[2] = 0; dbg += 4; }
                continue;
            }
            if (kDebug) { dbg[0] = dbg[1] = dbg[2] = 255; dbg += 4; }
            int label;
            if (above[0] > 0) {
                label = above[0];
            } else if (above[1] > 0 && (above[-1] > 0 || p[-1] > 0)) {
                // A merge: the pixel joins both groups under the smaller
                // representative; the table always names representatives.
                int other = above[-1] > 0 ? above[-1] : p[-1];
                int ra = workL[above[1] - 1];
                int rb = workL[other - 1];
                int lo = ra < rb ? ra : rb;
                int hi = ra < rb ? rb : ra;
                label = lo;
                if (lo != hi) {
                    for (int k = 0; k < wk_max; k++)
                        if (workL[k] == hi) workL[k] = lo;
                }
            } else if (above[1] > 0) {
                label = above[1];
            } else if (above[-1] > 0) {
                label = above[-1];
            } else if (p[-1] > 0) {
                label = p[-1];
            } else {
                wk_max++;
                if (wk_max > MV_LABEL_MAX) {
                    mvcore::report(MV_ERROR_CAPACITY, nullptr,
                                   "more than %d provisional labels in one frame", MV_LABEL_MAX);
                    return nullptr;
                }
                workL[wk_max - 1] = wk_max;
                int *st = &work2L[(wk_max - 1) * 7];
                st[0] = 1; st[1] = i; st[2] = j;
                st[3] = i; st[4] = i; st[5] = j; st[6] = j;
                *p = (unsigned short)wk_max;
                continue;
            }
            *p = (unsigned short)label;
            int *st = &work2L[(label - 1) * 7];
            st[0]++;
            st[1] += i;
            st[2] += j;
            if (st[3] > i) st[3] = i;
            if (st[4] < i) st[4] = i;
            if (st[5] > j) st[5] = j;
            if (st[6] < j) st[6] = j;
        }
    }

    // Representatives are the smallest label of their group, so visiting in
    // increasing order numbers components by their first pixel in raster
    // order and always finds the representative's number already given.
    int num = 0;
    for (int k = 1; k <= wk_max; k++) {
        if (workL[k - 1] == k) workL[k - 1] = ++num;
        else workL[k - 1] = workL[workL[k - 1] - 1];
    }
    wlabel_numL = num;
    *labelCount = num;
    if (num == 0) return img;

    for (int c = 0; c < num; c++) {
        wareaL[c] = 0;
        wposL[c * 2] = 0.0;
        wposL[c * 2 + 1] = 0.0;
        wclipL[c * 4 + 0] = lxsize;
        wclipL[c * 4 + 1] = 0;
        wclipL[c * 4 + 2] = lysize;
        wclipL[c * 4 + 3] = 0;
    }
    for (int k = 0; k < wk_max; k++) {
        int c = workL[k] - 1;
        const int *st = &work2L[k * 7];
        wareaL[c] += st[0];
        wposL[c * 2] += st[1];
        wposL[c * 2 + 1] += st[2];
        if (wclipL[c * 4 + 0] > st[3]) wclipL[c * 4 + 0] = st[3];
        if (wclipL[c * 4 + 1] < st[4]) wclipL[c * 4 + 1] = st[4];
        if (wclipL[c * 4 + 2] > st[5]) wclipL[c * 4 + 2] = st[5];
        if (wclipL[c * 4 + 3] < st[6]) wclipL[c * 4 + 3] = st[6];
    }
    for (int c = 0; c < num; c++) {
        wposL[c * 2] /= wareaL[c];
        wposL[c * 2 + 1] /= wareaL[c];
    }

    *area = wareaL;
    *pos = wposL;
    *clip = wclipL;
    *labelTable = workL;
    return img;
}

}  // namespace

extern "C" unsigned short *mvLabeling(const unsigned char *image, int thresh,
                                      int *labelCount, int **area, double **pos,
                                      int **clip, int **labelTable)
{
    if (mvDebug) return labeling<true>(image, thresh, labelCount, area, pos, clip, labelTable);
    return labeling<false>(image, thresh, labelCount, area, pos, clip, labelTable);
}

extern "C" int mvGetImgFeature(int *num, int **area, int **clip, double **pos)
{
    *num = wlabel_numL;
    *area = wareaL;
    *clip = wclipL;
    *pos = wposL;
    return 0;
}
