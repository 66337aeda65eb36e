// frame.h - a camera frame as the detection stages read it: any row stride,
// 4, 3 or 1 bytes per pixel, colour channels at given offsets. Internal to
// the core.
#ifndef MORVEX_DETECT_FRAME_H
#define MORVEX_DETECT_FRAME_H

namespace mvcore {

// A view of the caller's pixels; nothing is copied or kept. Pixel (x, y)
// starts at data + y * stride + x * bpp; a grey frame has its three channel
// offsets at 0, so that every stage sees R = G = B.
struct FrameView {
    const unsigned char *data = nullptr;
    int width = 0, height = 0;
    long stride = 0;                  // bytes from one row to the next
    int bpp = 4;                      // bytes per pixel: 4, 3 or 1
    int red = 0, green = 1, blue = 2; // byte offsets within a pixel

    const unsigned char *pixel(int x, int y) const
    {
        return data + (long)y * stride + (long)x * bpp;
    }
    // R + G + B of pixel (x, y): the darkness test's measure.
    int sum(int x, int y) const
    {
        const unsigned char *p = pixel(x, y);
        return p[red] + p[green] + p[blue];
    }
};

// The frame layout of the process-wide interface and the capture: width x
// height pixels of R, G, B and an unused byte, rows without gaps.
inline FrameView rgbx_frame(const unsigned char *image, int width, int height)
{
    FrameView f;
    f.data = image;
    f.width = width;
    f.height = height;
    f.stride = (long)width * 4;
    return f;
}

}  // namespace mvcore

#endif
