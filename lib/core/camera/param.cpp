// The camera record: file (big-endian on disk), rescaling, printing.
#include "morvex/camera.h"
#include "message.h"
#include "replace_file.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cmath>
#include <cstring>

static_assert(sizeof(MvCameraParam) == 136, "camera record must be 136 bytes");
static_assert(sizeof(double) == 8 && sizeof(int) == 4, "int32 and binary64 expected");

namespace {

constexpr int kRecordBytes = 136;

// Big-endian byte images, independent of the host's own order.
void put32(unsigned char *p, int v)
{
    uint32_t u;
    std::memcpy(&u, &v, 4);
    for (int i = 0; i < 4; i++) p[i] = (unsigned char)(u >> (24 - 8 * i));
}

void put64(unsigned char *p, double v)
{
    uint64_t u;
    std::memcpy(&u, &v, 8);
    for (int i = 0; i < 8; i++) p[i] = (unsigned char)(u >> (56 - 8 * i));
}

int get32(const unsigned char *p)
{
    uint32_t u = 0;
    for (int i = 0; i < 4; i++) u = (u << 8) | p[i];
    int v;
    std::memcpy(&v, &u, 4);
    return v;
}

double get64(const unsigned char *p)
{
    uint64_t u = 0;
    for (int i = 0; i < 8; i++) u = (u << 8) | p[i];
    double v;
    std::memcpy(&v, &u, 8);
    return v;
}

void encode(const MvCameraParam *param, unsigned char *buf)
{
    put32(buf, param->xsize);
    put32(buf + 4, param->ysize);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 4; j++) put64(buf + 8 + 8 * (4 * i + j), param->projection[i][j]);
    for (int i = 0; i < 4; i++) put64(buf + 104 + 8 * i, param->distortion[i]);
}

void decode(const unsigned char *buf, MvCameraParam *param)
{
    param->xsize = get32(buf);
    param->ysize = get32(buf + 4);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 4; j++) param->projection[i][j] = get64(buf + 8 + 8 * (4 * i + j));
    for (int i = 0; i < 4; i++) param->distortion[i] = get64(buf + 104 + 8 * i);
}

// Reads one whole record; a short read leaves *param untouched.
int read_record(FILE *fp, MvCameraParam *param)
{
    unsigned char buf[kRecordBytes];
    if (std::fread(buf, 1, kRecordBytes, fp) != (size_t)kRecordBytes) return -1;
    decode(buf, param);
    return 0;
}

int write_record(FILE *fp, const MvCameraParam *param)
{
    unsigned char buf[kRecordBytes];
    encode(param, buf);
    return std::fwrite(buf, 1, kRecordBytes, fp) == (size_t)kRecordBytes ? 0 : -1;
}

int short_file(const char *filename, int num)
{
    mvcore::report(MV_ERROR_FORMAT, nullptr,
                   "camera file \"%s\" is shorter than %d record(s) of %d bytes", filename,
                   num, kRecordBytes);
    return -1;
}

}  // namespace

extern "C" int mvParamLoad(const char *filename, int num, MvCameraParam *param, ...)
{
    if (num < 1) {
        mvcore::report(MV_ERROR_ARGUMENT, nullptr, "mvParamLoad: record count %d (1 or more)", num);
        return -1;
    }
    FILE *fp = std::fopen(filename, "rb");
    if (fp == nullptr) {
        mvcore::report(MV_ERROR_NOT_FOUND, nullptr, "cannot open camera file \"%s\"", filename);
        return -1;
    }

    if (read_record(fp, param) < 0) {
        std::fclose(fp);
        return short_file(filename, num);
    }
    va_list ap;
    va_start(ap, param);
    for (int i = 1; i < num; i++) {
        MvCameraParam *next = va_arg(ap, MvCameraParam *);
        if (read_record(fp, next) < 0) {
            va_end(ap);
            std::fclose(fp);
            return short_file(filename, num);
        }
    }
    va_end(ap);
    std::fclose(fp);
    return 0;
}

extern "C" int mvParamSave(const char *filename, int num, const MvCameraParam *param, ...)
{
    if (num < 1) {
        mvcore::report(MV_ERROR_ARGUMENT, nullptr, "mvParamSave: record count %d (1 or more)", num);
        return -1;
    }
    mvcore::FileReplacement file;
    if (!mvcore::begin_replace(filename, &file)) {
        mvcore::report(MV_ERROR_WRITE, nullptr, "cannot create camera file \"%s\"", filename);
        return -1;
    }

    int result = write_record(file.fp, param);
    va_list ap;
    va_start(ap, param);
    for (int i = 1; i < num && result == 0; i++)
        result = write_record(file.fp, va_arg(ap, const MvCameraParam *));
    va_end(ap);
    // The old file stays until the new one is complete.
    if (result < 0) mvcore::abandon_replace(&file);
    else if (!mvcore::finish_replace(&file)) result = -1;
    if (result < 0)
        mvcore::report(MV_ERROR_WRITE, nullptr, "cannot write camera file \"%s\"", filename);
    return result;
}

extern "C" int mvParamChangeSize(const MvCameraParam *source, int xsize, int ysize,
                                 MvCameraParam *dest)
{
    dest->xsize = xsize;
    dest->ysize = ysize;
    const double scale = (double)xsize / (double)source->xsize;
    for (int j = 0; j < 4; j++) {
        dest->projection[0][j] = scale * source->projection[0][j];
        dest->projection[1][j] = scale * source->projection[1][j];
        dest->projection[2][j] = source->projection[2][j];
    }
    dest->distortion[0] = scale * source->distortion[0];
    dest->distortion[1] = scale * source->distortion[1];
    dest->distortion[2] = source->distortion[2] / (scale * scale);
    dest->distortion[3] = source->distortion[3];
    return 0;
}

extern "C" int mvParamDisp(const MvCameraParam *param)
{
    std::printf("--------------------------------------\n");
    std::printf("SIZE = %d, %d\n", param->xsize, param->ysize);
    std::printf("Distotion factor = %f %f %f %f\n", param->distortion[0],
                param->distortion[1], param->distortion[2], param->distortion[3]);
    for (int j = 0; j < 3; j++) {
        for (int i = 0; i < 4; i++) std::printf("%7.5f ", param->projection[j][i]);
        std::printf("\n");
    }
    std::printf("--------------------------------------\n");
    return 0;
}

extern "C" int mvParamCheck(const MvCameraParam *cam, char *why, int whySize)
{
    char text[160] = "";
    const int sizes[2] = {cam->xsize, cam->ysize};
    for (int k = 0; k < 2 && !text[0]; k++)
        if (sizes[k] < 1 || sizes[k] > 65536)
            std::snprintf(text, sizeof text, "%s %d is not a %s in pixels (1..65536)",
                          k ? "ysize" : "xsize", sizes[k], k ? "height" : "width");
    for (int r = 0; r < 3 && !text[0]; r++)
        for (int c = 0; c < 4 && !text[0]; c++)
            if (!std::isfinite(cam->projection[r][c]))
                std::snprintf(text, sizeof text, "projection[%d][%d] is %g, not a finite number", r, c,
                              cam->projection[r][c]);
    for (int k = 0; k < 4 && !text[0]; k++)
        if (!std::isfinite(cam->distortion[k]))
            std::snprintf(text, sizeof text, "distortion[%d] is %g, not a finite number", k,
                          cam->distortion[k]);
    for (int k = 0; k < 2 && !text[0]; k++)
        if (cam->projection[k][k] == 0.0)
            std::snprintf(text, sizeof text, "projection[%d][%d] (the focal length in %s) is 0", k, k,
                          k ? "y" : "x");
    const double *row = cam->projection[2];
    if (!text[0] && row[0] == 0.0 && row[1] == 0.0 && row[2] == 0.0 && row[3] == 0.0)
        std::snprintf(text, sizeof text, "projection[2], the third projection row, is all zero");
    if (!text[0] && !(cam->distortion[3] > 0.0))
        std::snprintf(text, sizeof text, "distortion[3] (the lens scale) is %g, not positive",
                      cam->distortion[3]);
    if (!text[0]) return 0;
    if (why != nullptr && whySize > 0) std::snprintf(why, (size_t)whySize, "%s", text);
    return -1;
}
