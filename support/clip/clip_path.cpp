// A path of poses rendered into a video or PNG sequence, and its truth file.
#include "clip_path.h"

#include "camera_path.h"
#include "image_io.h"
#include "tool_files.h"

#include <cstdio>

namespace clip {

namespace {

std::string base_name(const std::string &path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool isSequence(const std::string &out)
{
    std::string head, tail;
    int width = 0;
    return mvtool::splitSequence(out, &head, &width, &tail) == 1;
}

bool renderPath(const PathJob &job, const std::string &out, const std::string &truth, std::string *error)
{
    std::string head, tail;
    int digits = 0;
    const int kind = mvtool::splitSequence(out, &head, &digits, &tail);
    if (kind < 0) {
        *error = "\"" + out + "\": a PNG sequence takes one %d or %0Nd (%% for a percent sign)";
        return false;
    }
    const int w = job.cam.xsize, h = job.cam.ysize;
    mvtool::OutputFile video, truth_file;
    Writer *writer = nullptr;
    if (!truth_file.open(truth, error)) return false;
    if (kind == 0) {
        std::string why;
        if (!video.reserve(out, error)) return false;
        writer = open(video.tempPath(), w, h, job.fps, Codec::Mjpeg, job.qscale, &why);
        if (writer == nullptr) {
            *error = "cannot write video \"" + out + "\": " + why;
            return false;
        }
    }
    std::fputs(render::truthHeader(base_name(out), job.frames, w, h, job.fps, job.side_mm).c_str(),
               truth_file.stream());
    for (int i = 0; i < job.frames; i++) {
        double trans[3][4];
        job.pose(i, trans);
        render::Image frame;
        const render::Truth t = render::renderFrame(*job.marker, job.side_mm, trans, job.cam, job.opt, &frame);
        if (job.noise_sigma > 0.0) render::addSensorNoise(&frame, job.noise_sigma, job.noise_seed + (unsigned)i);
        std::string why;
        if (writer != nullptr) {
            if (!write(writer, frame.pixels.data(), frame.channels, &why)) {
                close(writer, nullptr);
                *error = "cannot write video \"" + out + "\": " + why;
                return false;
            }
        } else {
            char num[32];
            std::snprintf(num, sizeof num, "%0*d", digits, i);
            render::Image rgb{w, h, 3, std::vector<uint8_t>((size_t)w * h * 3)};
            for (size_t p = 0; p < (size_t)w * h; p++)
                for (int c = 0; c < 3; c++) rgb.pixels[p * 3 + c] = frame.pixels[p * 4 + c];
            if (!mvtool::writePng(head + num + tail, rgb, error)) return false;
        }
        std::fputs(render::truthLine(i, t.trans).c_str(), truth_file.stream());
        if (job.progress) job.progress(i + 1, job.frames);
    }
    if (writer != nullptr) {
        std::string why;
        if (!close(writer, &why)) {
            *error = "cannot write video \"" + out + "\": " + why;
            return false;
        }
        if (!video.commit(error)) return false;
    }
    return truth_file.commit(error);
}

}  // namespace clip
