// Frame size of a source, and a file's frame count and rate, from its
// container or device.
#include "input_probe.h"

extern "C" {
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include <algorithm>
#include <cmath>
#include <sstream>

namespace mvtrack {

InputInfo probeInput(const std::string &path, bool camera)
{
    InputInfo info;
    const int level = av_log_get_level();
    av_log_set_level(AV_LOG_QUIET);   // a failure here is reported by the capture
    const AVInputFormat *format = nullptr;
    if (camera) {
        avdevice_register_all();
        format = av_find_input_format("video4linux2");
    }
    AVFormatContext *input = nullptr;
    if ((!camera || format != nullptr) &&
        avformat_open_input(&input, path.c_str(), format, nullptr) == 0) {
        if (avformat_find_stream_info(input, nullptr) >= 0) {
            const int s = av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
            if (s >= 0) {
                const AVStream *st = input->streams[s];
                info.width = st->codecpar->width;
                info.height = st->codecpar->height;
                const AVRational rate =
                    st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
                if (rate.num > 0 && rate.den > 0) info.fps = av_q2d(rate);
                if (st->nb_frames > 0) {
                    info.frames = static_cast<long>(st->nb_frames);
                } else if (info.fps > 0) {
                    // No count in the container: estimate it from the duration.
                    double seconds = -1;
                    if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
                        seconds = st->duration * av_q2d(st->time_base);
                    else if (input->duration != AV_NOPTS_VALUE && input->duration > 0)
                        seconds = input->duration / static_cast<double>(AV_TIME_BASE);
                    if (seconds > 0) info.frames = std::lround(seconds * info.fps);
                }
            }
        }
        avformat_close_input(&input);
    }
    av_log_set_level(level);
    return info;
}

std::string wordsAtSourceSize(const std::string &config, const MvVideoConfig &video, const InputInfo &info)
{
    if (info.width <= 0 || info.height <= 0) return config;
    bool w_given = false, h_given = false;
    std::istringstream words(config);
    for (std::string w; words >> w;) {
        w_given = w_given || w.rfind("-width=", 0) == 0;
        h_given = h_given || w.rfind("-height=", 0) == 0;
    }
    long w = info.width, h = info.height;
    if (w_given && !h_given) h = std::max(1L, std::lround((double)video.width * info.height / info.width));
    if (h_given && !w_given) w = std::max(1L, std::lround((double)video.height * info.width / info.height));
    std::string out = config;
    if (!w_given) out += " -width=" + std::to_string(w);
    if (!h_given) out += " -height=" + std::to_string(h);
    return out;
}

}  // namespace mvtrack
