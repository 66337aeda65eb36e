// The process-wide forms of the accuracy additions: sub-pixel corners and
// the automatic threshold on the active camera's frames.
#include "classic.h"

#include "../detect/autothresh.h"
#include "../detect/refine.h"
#include "morvex/refine.h"

extern "C" int mvRefineMarker(const unsigned char *image, MvMarkerInfo *marker)
{
    if (image == nullptr || marker == nullptr) return -1;
    const bool refined = mvcore::refine_marker(mvcore::classic::active_frame(image), mvParam.distortion,
                                               mvcore::kPictureBorder, marker);
    return refined ? 0 : -1;
}

extern "C" int mvAutoThreshInit(MvAutoThresh *at, int thresh)
{
    mvcore::autothresh_init(at, thresh);
    return 0;
}

extern "C" int mvAutoThreshUpdate(MvAutoThresh *at, const unsigned char *image,
                                  const MvMarkerInfo *markers, int markerNum)
{
    return mvcore::autothresh_update(at, mvcore::classic::active_frame(image), mvParam.distortion,
                                     markers, markerNum, nullptr);
}
