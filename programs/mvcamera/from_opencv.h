// mvcamera's OpenCV import, built only where OpenCV and Ceres are.
#ifndef MORVEX_MVCAMERA_FROM_OPENCV_H
#define MORVEX_MVCAMERA_FROM_OPENCV_H

// mvcamera from-opencv IN OUT [--max-error PX]: argv as main's. The exit status.
int mvcameraFromOpenCv(int argc, char **argv);

#endif
