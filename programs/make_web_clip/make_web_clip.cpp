// make_web_clip - the demo clip in forms a browser takes: browsers play no
// MJPEG in AVI, so the web page gets a VP8 WebM copy; the browser tests feed
// Chromium's fake camera a Y4M file and the Node tests PNG frames. Every
// form is made from the frames the capture library decodes, the frames
// mvtrack tracks.
//
//   make_web_clip CLIP [--webm OUT.webm] [--y4m OUT.y4m] [--png 'DIR/%04d.png']
//
// Writes each output under a temporary name and renames it when complete.
#include "clip_writer.h"
#include "image_io.h"
#include "tool_files.h"

#include "morvex/error.h"
#include "morvex/video.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// libvpx's quantiser (0..63): near the MJPEG original's quality, so that
// poses from the copy stay within a fraction of a percent of the clip's.
const int kWebmQuantiser = 4;

struct Args {
    std::string clip, webm, y4m, png;
};

bool parse(int argc, char **argv, Args *a)
{
    for (int i = 1; i < argc; i++) {
        const std::string word = argv[i];
        std::string *target = word == "--webm" ? &a->webm : word == "--y4m" ? &a->y4m
                              : word == "--png"  ? &a->png : nullptr;
        if (target != nullptr) {
            if (i + 1 >= argc) return false;
            *target = argv[++i];
        } else if (a->clip.empty() && word.rfind("--", 0) != 0) {
            a->clip = word;
        } else {
            return false;
        }
    }
    return !a->clip.empty() && !(a->webm.empty() && a->y4m.empty() && a->png.empty());
}

uint8_t clamp_byte(double v)
{
    return static_cast<uint8_t>(std::lround(std::fmin(255.0, std::fmax(0.0, v))));
}

// One frame as Y4M's 4:2:0 with BT.601 studio-range levels, what Chromium's
// fake camera reads; chroma is the mean of each 2 x 2 block.
void write_y4m_frame(FILE *out, const unsigned char *rgba, int w, int h)
{
    std::vector<uint8_t> y(static_cast<size_t>(w) * h);
    const int cw = (w + 1) / 2, ch = (h + 1) / 2;
    std::vector<uint8_t> u(static_cast<size_t>(cw) * ch), v(u.size());
    for (int r = 0; r < h; r++)
        for (int c = 0; c < w; c++) {
            const unsigned char *p = rgba + 4 * (static_cast<size_t>(r) * w + c);
            y[static_cast<size_t>(r) * w + c] = clamp_byte(16.0 + 0.256788 * p[0] + 0.504129 * p[1] + 0.097906 * p[2]);
        }
    for (int r = 0; r < ch; r++)
        for (int c = 0; c < cw; c++) {
            double su = 0.0, sv = 0.0;
            int n = 0;
            for (int dr = 0; dr < 2; dr++)
                for (int dc = 0; dc < 2; dc++) {
                    const int rr = 2 * r + dr, cc = 2 * c + dc;
                    if (rr >= h || cc >= w) continue;
                    const unsigned char *p = rgba + 4 * (static_cast<size_t>(rr) * w + cc);
                    su += -0.148223 * p[0] - 0.290993 * p[1] + 0.439216 * p[2];
                    sv += 0.439216 * p[0] - 0.367788 * p[1] - 0.071427 * p[2];
                    n++;
                }
            u[static_cast<size_t>(r) * cw + c] = clamp_byte(128.0 + su / n);
            v[static_cast<size_t>(r) * cw + c] = clamp_byte(128.0 + sv / n);
        }
    std::fputs("FRAME\n", out);
    std::fwrite(y.data(), 1, y.size(), out);
    std::fwrite(u.data(), 1, u.size(), out);
    std::fwrite(v.data(), 1, v.size(), out);
}

std::string numbered(const std::string &pattern, int frame)
{
    char name[4096];
    std::snprintf(name, sizeof name, pattern.c_str(), frame);
    return name;
}

}  // namespace

int main(int argc, char **argv)
{
    Args a;
    if (!parse(argc, argv, &a)) {
        std::fprintf(stderr, "usage: %s CLIP [--webm OUT.webm] [--y4m OUT.y4m] [--png 'DIR/%%04d.png']\n",
                     argv[0]);
        return 2;
    }
    MvVideoConfig config;
    mvVideoConfigInit(&config);
    std::snprintf(config.file, sizeof config.file, "%s", a.clip.c_str());
    config.nopace = 1;
    MvVideoSourceInfo info;
    mvVideoProbe(&config, &info);
    mvVideoConfigAtSourceSize(&config, &info);
    mvClearError();
    MvVideoHandle *video = mv2VideoOpenConfig(&config);
    int w = 0, h = 0;
    if (video == nullptr || mv2VideoInqSize(video, &w, &h) < 0) {
        std::fprintf(stderr, "make_web_clip: cannot open %s: %s\n", a.clip.c_str(), mvLastErrorText());
        return 1;
    }
    const int fps = info.fps > 0 ? static_cast<int>(std::lround(info.fps)) : 30;

    std::string err;
    mvtool::OutputFile webmFile, y4mFile;
    clip::Writer *webm = nullptr;
    if (!a.webm.empty() &&
        (!webmFile.reserve(a.webm, &err) ||
         (webm = clip::open(webmFile.tempPath(), w, h, fps, clip::Codec::Vp8, kWebmQuantiser, &err)) == nullptr)) {
        std::fprintf(stderr, "make_web_clip: %s: %s\n", a.webm.c_str(), err.c_str());
        return 1;
    }
    FILE *y4m = nullptr;
    if (!a.y4m.empty()) {
        if (!y4mFile.open(a.y4m, &err)) {
            std::fprintf(stderr, "make_web_clip: %s\n", err.c_str());
            return 1;
        }
        y4m = y4mFile.stream();
        std::fprintf(y4m, "YUV4MPEG2 W%d H%d F%d:1 Ip A1:1 C420jpeg\n", w, h, fps);
    }

    int frames = 0;
    bool ok = true;
    mv2VideoCapStart(video);
    for (;;) {
        const unsigned char *image = mv2VideoGetImage(video);
        if (image == nullptr) {
            if (mv2VideoInqEnded(video) != 0) break;
            continue;  // an undecodable sample: mvtrack skips it too
        }
        if (webm && !clip::write(webm, image, 4, &err)) {
            std::fprintf(stderr, "make_web_clip: %s: %s\n", a.webm.c_str(), err.c_str());
            ok = false;
            break;
        }
        if (y4m) write_y4m_frame(y4m, image, w, h);
        if (!a.png.empty()) {
            // RGB: the capture's fourth byte carries nothing.
            mvtool::Image img;
            img.width = w;
            img.height = h;
            img.channels = 3;
            img.pixels.resize(static_cast<size_t>(w) * h * 3);
            for (size_t i = 0; i < static_cast<size_t>(w) * h; i++)
                std::memcpy(&img.pixels[3 * i], image + 4 * i, 3);
            if (!mvtool::writePng(numbered(a.png, frames), img, &err)) {
                std::fprintf(stderr, "make_web_clip: %s\n", err.c_str());
                ok = false;
                break;
            }
        }
        frames++;
    }
    mv2VideoClose(video);
    if (webm && !clip::close(webm, &err) && ok) {
        std::fprintf(stderr, "make_web_clip: %s: %s\n", a.webm.c_str(), err.c_str());
        ok = false;
    }
    if (!ok) return 1;
    if ((webm && !webmFile.commit(&err)) || (y4m && !y4mFile.commit(&err))) {
        std::fprintf(stderr, "make_web_clip: %s\n", err.c_str());
        return 1;
    }
    std::printf("make_web_clip: %d frames of %d x %d at %d fps from %s\n", frames, w, h, fps, a.clip.c_str());
    return 0;
}
