/* morvex/video.h */
#ifndef MORVEX_VIDEO_H
#define MORVEX_VIDEO_H

#ifdef __cplusplus
extern "C" {
#endif

#ifdef __cplusplus
}
#endif

#endif
