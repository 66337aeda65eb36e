/* morvex/pose.h */
#ifndef MORVEX_POSE_H
#define MORVEX_POSE_H

#ifdef __cplusplus
extern "C" {
#endif

#ifdef __cplusplus
}
#endif

#endif
