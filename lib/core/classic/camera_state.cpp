// The process-wide active camera.
#include "morvex/camera.h"

#include <cstring>

MvCameraParam mvParam;
int mvImXsize;
int mvImYsize;

extern "C" int mvInitCparam(const MvCameraParam *param)
{
    std::memcpy(&mvParam, param, sizeof(MvCameraParam));
    mvImXsize = param->xsize;
    mvImYsize = param->ysize;
    return 0;
}
