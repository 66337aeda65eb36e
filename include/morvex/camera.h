/* morvex/camera.h - the calibrated camera model: record, file, distortion. */
#ifndef MORVEX_CAMERA_H
#define MORVEX_CAMERA_H

#ifdef __cplusplus
extern "C" {
#endif

/* One camera model. 136 bytes: two int32 then sixteen doubles, no gap. */
typedef struct {
    int xsize, ysize;          /* image size in pixels the model holds for */
    double projection[3][4];   /* camera coordinates -> homogeneous ideal pixels */
    double distortion[4];      /* centre x, centre y (observed pixels),
                                  radial factor x 1e8, ideal/observed scale */
} MvCameraParam;

#ifdef __cplusplus
}
#endif

#endif
