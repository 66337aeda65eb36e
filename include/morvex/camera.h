/* morvex/camera.h - the calibrated camera model: record, file, distortion.
 *
 *     MvCameraParam file_cam, cam;
 *     if (mvParamLoad("camera_para.dat", 1, &file_cam) < 0) ...;  // -1: missing/short
 *     mvParamChangeSize(&file_cam, 320, 240, &cam);   // to the frame size
 *     mvInitCparam(&cam);                              // mvParam, mvImXsize, mvImYsize
 *     double ix, iy;
 *     mvParamObserv2Ideal(mvParam.distortion, 12.0, 34.0, &ix, &iy);
 *
 * Pixel coordinates: pixel (0, 0) is centred at (0.0, 0.0), x to the right,
 * y downwards. "Observed" = where the lens puts a point in the frame;
 * "ideal" = where the pinhole camera of `projection` would.
 */
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

/* The active camera, a copy made by mvInitCparam. Process-wide, owned by the
   library, zero until the first mvInitCparam. Detection and pose estimation
   read it; an application may read it but should change it only through
   mvInitCparam. */
extern MvCameraParam mvParam;
/* Active frame width and height in pixels, set together with mvParam. */
extern int mvImXsize;
extern int mvImYsize;

/* Reads `num` consecutive 136-byte big-endian records from `filename` into
   `param` and then into each further MvCameraParam * argument, in order
   (pass exactly num pointers). 0 on success; -1 when num < 1 (the file is not
   touched), when the file cannot be opened, or when a record is short. Records
   read before a failure stay filled. Prints nothing (the cause goes to
   mvLastError: MV_ERROR_ARGUMENT, _NOT_FOUND, _FORMAT); the file is closed
   on every path. Extra bytes after the num records are ignored. */
int mvParamLoad(const char *filename, int num, MvCameraParam *param, ...);

/* Writes `param` and then each further const MvCameraParam * argument
   (num records in all) to `filename`, replacing the file, every number
   big-endian. 0 on success; -1 when num < 1 (MV_ERROR_ARGUMENT), when the
   file cannot be created or when a write fails (MV_ERROR_WRITE). Prints
   nothing. The records go to a temporary file beside `filename` that
   replaces it by rename only when complete, so on failure an older file of
   that name is left as it was. */
int mvParamSave(const char *filename, int num, const MvCameraParam *param, ...);

/* Writes into `dest` the model of `source` rescaled to xsize x ysize pixels.
   The scale is xsize / source->xsize (the height does not enter it): rows 0
   and 1 of the projection and the distortion centre are multiplied by it,
   the stored radial factor divided by its square. `source` and `dest` must
   be different records. Always returns 0. */
int mvParamChangeSize(const MvCameraParam *source, int xsize, int ysize,
                      MvCameraParam *dest);

/* Prints the record to standard output as a block between two dashed lines:
   size, distortion factors, the three projection rows. Returns 0. */
int mvParamDisp(const MvCameraParam *param);

/* Checks that a record can be a camera: sizes 1..65536, every number
   finite, focal lengths projection[0][0] and [1][1] non-zero, a third
   projection row that is not all zero, a positive lens scale. Returns 0,
   or -1 with a one-line reason naming the first field at fault written to
   why[0 .. whySize - 1] (when why is not NULL and whySize > 0). Reads the
   record only; any thread. */
int mvParamCheck(const MvCameraParam *param, char *why, int whySize);

/* Makes a copy of *param the active camera (mvParam, mvImXsize, mvImYsize).
   Returns 0. */
int mvInitCparam(const MvCameraParam *param);

/* Lens distortion. `distortion` is the four factors of a camera record
   (centre x, centre y, radial factor x 1e8, scale), read only. Coordinates
   are pixels. The results go to the two out-pointers; both return 0.
   Ideal -> observed: x = (ix - cx) s, y = (iy - cy) s,
   d = 1 - p (x^2 + y^2), observed = (x d + cx, y d + cy), p = factor / 1e8.
   Observed -> ideal inverts it with three Newton steps on the radius; where
   the forward model folds back (p r^2 > 1/3) an observed point may have no
   preimage and the result does not map back onto it. */
int mvParamIdeal2Observ(const double distortion[4], double ix, double iy,
                        double *ox, double *oy);
int mvParamObserv2Ideal(const double distortion[4], double ox, double oy,
                        double *ix, double *iy);

/* Splits a 3x4 projection into an upper-triangular intrinsic matrix (column
   3 zero, [2][2] exactly 1, [0][0] and [1][1] non-negative) and a rigid 3x4
   transform (orthonormal 3x3 part, translation with non-negative depth),
   whose product is the source up to an overall scale of either sign.
   `source` is read only and copied first, so either output may share its
   storage. Degenerate input (dependent rows) gives non-finite outputs, not
   an error. Always returns 0. */
int mvParamDecompMat(const double source[3][4], double intrinsic[3][4],
                     double extrinsic[3][4]);
/* The same for a record: copies size and distortion from *source to *dest,
   the intrinsic matrix into dest->projection and the rigid part into
   `extrinsic`. dest may be source. Always returns 0. */
int mvParamDecomp(const MvCameraParam *source, MvCameraParam *dest,
                  double extrinsic[3][4]);

#ifdef __cplusplus
}
#endif

#endif
