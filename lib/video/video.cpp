// The capture front end: one process-wide source.
#include "video_internal.h"
#include "message.h"

#include <cstdio>

static MvVideoHandle *vid = nullptr;

int mvVideoOpen(const char *config)
{
    if (vid != nullptr) {
        mvcore::report(MV_ERROR_DEVICE, stdout, "Device has been opened!!\n");
        return -1;
    }
    vid = mv2VideoOpen(config);
    return vid != nullptr ? 0 : -1;
}

int mvVideoClose(void)
{
    if (vid == nullptr) return -1;
    int result = mv2VideoClose(vid);
    vid = nullptr;   // the record is gone; a later open starts afresh
    return result;
}

int mvVideoInqSize(int *x, int *y)
{
    if (vid == nullptr) return -1;
    return mv2VideoInqSize(vid, x, y);
}

int mvVideoInqEnded(void) { return vid == nullptr ? -1 : mv2VideoInqEnded(vid); }

unsigned char *mvVideoGetImage(void)
{
    if (vid == nullptr) return nullptr;
    return mv2VideoGetImage(vid);
}

int mvVideoCapStart(void) { return vid == nullptr ? -1 : mv2VideoCapStart(vid); }
int mvVideoCapStop(void) { return vid == nullptr ? -1 : mv2VideoCapStop(vid); }
int mvVideoCapNext(void) { return vid == nullptr ? -1 : mv2VideoCapNext(vid); }
int mvVideoDispOption(void) { return mv2VideoDispOption(); }
