// What a source holds, from its container or device, before capturing it.
#include "morvex/video.h"

extern "C" {
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
}

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>

int mvVideoProbe(const MvVideoConfig *config, MvVideoSourceInfo *info)
{
    *info = {0, 0, -1, 0.0};
    const bool camera = config->file[0] == '\0';
    const AVInputFormat *format = nullptr;
    if (camera) {
        avdevice_register_all();
        format = av_find_input_format("video4linux2");
        if (format == nullptr) return -1;
    }
    // A path that is not there is left to the capture to report, rather
    // than have FFmpeg log about it here as well.
    const char *path = camera ? config->dev : config->file;
    struct stat st;
    if (std::strchr(path, '%') == nullptr && stat(path, &st) != 0) return -1;
    AVFormatContext *input = nullptr;
    if (avformat_open_input(&input, path, format, nullptr) != 0) return -1;
    int result = -1;
    if (avformat_find_stream_info(input, nullptr) >= 0) {
        const int s = av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (s >= 0) {
            result = 0;
            const AVStream *st = input->streams[s];
            info->width = st->codecpar->width;
            info->height = st->codecpar->height;
            const AVRational rate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
            if (rate.num > 0 && rate.den > 0) info->fps = av_q2d(rate);
            if (camera) {
                // A camera has no count.
            } else if (st->nb_frames > 0) {
                info->frames = static_cast<long>(st->nb_frames);
            } else if (info->fps > 0) {
                // No count in the container: estimate it from the duration.
                double seconds = -1;
                if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
                    seconds = st->duration * av_q2d(st->time_base);
                else if (input->duration != AV_NOPTS_VALUE && input->duration > 0)
                    seconds = input->duration / static_cast<double>(AV_TIME_BASE);
                if (seconds > 0) info->frames = std::lround(seconds * info->fps);
            }
        }
    }
    avformat_close_input(&input);
    return result;
}

void mvVideoConfigAtSourceSize(MvVideoConfig *config, const MvVideoSourceInfo *info)
{
    if (info->width <= 0 || info->height <= 0) return;
    const bool w_given = config->widthGiven != 0, h_given = config->heightGiven != 0;
    long w = info->width, h = info->height;
    if (w_given && !h_given) h = std::max(1L, std::lround((double)config->width * info->height / info->width));
    if (h_given && !w_given) w = std::max(1L, std::lround((double)config->height * info->width / info->height));
    if (!w_given) config->width = static_cast<int>(std::min(w, 16384L));
    if (!h_given) config->height = static_cast<int>(std::min(h, 16384L));
}
