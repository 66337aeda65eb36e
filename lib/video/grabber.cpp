// The grabber: one FFmpeg input (V4L2 camera, video file or image sequence)
// read a packet at a time, and the clock that paces a file's frames.
#include "video_internal.h"
#include "message.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
}

#include <cstdio>
#include <cstdlib>
#include <ctime>

// One input, read a packet at a time when the capture asks for a sample.
struct MvGrabber {
    AVFormatContext *input = nullptr;
    int stream = -1;              // index of the video stream in `input`
    AVPacket *packet = nullptr;   // the packet last read; owns the sample bytes
    AVPacket *scratch = nullptr;  // a camera's next packet, while reading ahead
    bool isFile = false;          // a file or image sequence, not a camera
    bool loop = false;            // -loop: start again at the end
    bool pace = true;             // deliver at the file's own rate
    bool recording = false;       // between start and stop
    bool ended = false;           // the input has run dry (and does not loop)
    long passPackets = 0;         // video packets read since the (re)start
    double interval = 1.0 / 25;   // seconds per frame, for pacing after a loop
    // Pacing clock: a picture with stream time t is due at
    // clockBase + (t - streamBase) on the monotonic clock, in seconds.
    bool clockSet = false;
    double clockBase = 0, streamBase = 0;
    double resumeAt = 0;          // earliest due time once the clock is reset
    double lastDue = 0, lastStream = 0;
    char source[256] = {0};       // the path opened, for messages
};

// A paced packet later than this behind its due time means the caller fell
// behind: the clock is moved on instead of catching up with a burst.
static const double kMaxLag = 0.25;
// A due time further ahead than this (after a frame interval) is a jump in
// the file's timestamps, not a wait worth making.
static const double kMaxWait = 2.0;

// Seconds on a monotonic clock.
static double clock_seconds()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

static void sleep_until(double t)
{
    double d = t - clock_seconds();
    if (d <= 0) return;
    timespec ts;
    ts.tv_sec = static_cast<time_t>(d);
    ts.tv_nsec = static_cast<long>((d - ts.tv_sec) * 1e9);
    while (nanosleep(&ts, &ts) != 0) {}
}

static void fail(const char *source, const char *what, int err)
{
    char reason[AV_ERROR_MAX_STRING_SIZE] = "unknown error";
    if (err < 0) av_strerror(err, reason, sizeof reason);
    mvcore::report(MV_ERROR_DEVICE, stdout, "Cannot open video source \"%s\": %s%s%s\n",
                   source, what, err < 0 ? ": " : "", err < 0 ? reason : "");
}

MvGrabber *mvvideo::grabber_open(const MvVideoConfig &cfg)
{
    MvGrabber *g = new MvGrabber;
    g->isFile = cfg.file[0] != '\0';
    g->loop = g->isFile && cfg.loop;
    g->pace = g->isFile && !cfg.nopace;
    snprintf(g->source, sizeof g->source, "%s", g->isFile ? cfg.file : cfg.dev);

    const AVInputFormat *format = nullptr;
    AVDictionary *options = nullptr;
    if (!g->isFile) {
        format = av_find_input_format("video4linux2");
        if (format == nullptr) {
            fail(g->source, "this FFmpeg has no V4L2 input", 0);
            delete g;
            return nullptr;
        }
        char size[64];
        snprintf(size, sizeof size, "%dx%d", cfg.width, cfg.height);
        av_dict_set(&options, "video_size", size, 0);
    }
    g->input = avformat_alloc_context();
    if (g->input == nullptr) mvcore::fatal(MV_ERROR_MEMORY, stdout, "malloc error!!\n");
    // A camera is read without blocking, so that one idle can take every
    // sample already waiting and keep only the newest.
    if (!g->isFile) g->input->flags |= AVFMT_FLAG_NONBLOCK;
    int err = avformat_open_input(&g->input, g->source, format, &options);
    av_dict_free(&options);
    if (err < 0) {
        fail(g->source, "cannot open", err);
        delete g;
        return nullptr;
    }
    // A camera describes its stream when it opens; a file may need a look.
    err = g->isFile ? avformat_find_stream_info(g->input, nullptr) : 0;
    if (err < 0) {
        fail(g->source, "cannot read its streams", err);
        mvvideo::grabber_close(g);
        return nullptr;
    }
    g->stream = av_find_best_stream(g->input, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (g->stream < 0) {
        fail(g->source, "no video stream", 0);
        mvvideo::grabber_close(g);
        return nullptr;
    }
    AVStream *st = g->input->streams[g->stream];
    if (avcodec_find_decoder(st->codecpar->codec_id) == nullptr) {
        char what[128];
        snprintf(what, sizeof what, "no decoder for its codec %s",
                 avcodec_get_name(st->codecpar->codec_id));
        fail(g->source, what, 0);
        mvvideo::grabber_close(g);
        return nullptr;
    }
    AVRational rate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
    if (rate.num > 0 && rate.den > 0) g->interval = av_q2d(av_inv_q(rate));
    g->packet = av_packet_alloc();
    g->scratch = av_packet_alloc();
    if (g->packet == nullptr || g->scratch == nullptr)
        mvcore::fatal(MV_ERROR_MEMORY, stdout, "malloc error!!\n");
    return g;
}

void mvvideo::grabber_close(MvGrabber *g)
{
    if (g == nullptr) return;
    av_packet_free(&g->packet);
    av_packet_free(&g->scratch);
    avformat_close_input(&g->input);
    delete g;
}

void mvvideo::grabber_start(MvGrabber *g)
{
    g->recording = true;
    g->clockSet = false;   // the pending or next packet is due at once
    g->resumeAt = 0;
}

void mvvideo::grabber_stop(MvGrabber *g) { g->recording = false; }

// Back to the first packet. False when the input cannot seek or holds no
// video packet at all (looping would spin for ever).
static bool rewind_input(MvGrabber *g)
{
    if (g->passPackets == 0) return false;
    AVStream *st = g->input->streams[g->stream];
    int64_t start = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
    if (av_seek_frame(g->input, g->stream, start, AVSEEK_FLAG_BACKWARD) < 0 &&
        avformat_seek_file(g->input, -1, INT64_MIN, 0, INT64_MAX, 0) < 0)
        return false;
    g->passPackets = 0;
    // The first frame of the new pass comes one interval after the last one.
    g->clockSet = false;
    g->resumeAt = g->lastDue + g->interval;
    return true;
}

void mvvideo::grabber_pace(MvGrabber *g, int64_t timestamp)
{
    if (!g->pace) return;
    double t = timestamp == AV_NOPTS_VALUE
                   ? g->lastStream + g->interval
                   : timestamp * av_q2d(g->input->streams[g->stream]->time_base);
    double now = clock_seconds();
    if (g->clockSet) {
        double due = g->clockBase + (t - g->streamBase);
        if (t <= g->lastStream || due > now + kMaxWait + g->interval) {
            g->clockSet = false;   // timestamps jumped: one interval on
            g->resumeAt = g->lastDue + g->interval;
        }
    }
    if (!g->clockSet) {
        g->clockBase = now > g->resumeAt ? now : g->resumeAt;
        g->streamBase = t;
        g->clockSet = true;
    }
    double due = g->clockBase + (t - g->streamBase);
    if (due < now - kMaxLag) {
        g->clockBase += now - due;
        due = now;
    }
    sleep_until(due);
    g->lastDue = due;
    g->lastStream = t;
}

// A camera: every sample that has arrived is read and only the newest kept,
// so a slow caller gets the latest picture instead of falling further and
// further behind the camera's queue.
static int next_camera(MvGrabber *g, AVPacket **sample)
{
    int got = 0;
    for (int i = 0; i < 64; i++) {
        int err = av_read_frame(g->input, g->scratch);
        if (err == AVERROR(EAGAIN)) break;
        if (err < 0) {
            if (got) break;
            mvcore::report(MV_ERROR_DEVICE, stdout,
                           "Video source \"%s\" stopped delivering frames\n", g->source);
            g->ended = true;
            return -1;
        }
        if (g->scratch->stream_index != g->stream) {
            av_packet_unref(g->scratch);
            continue;
        }
        av_packet_unref(g->packet);
        av_packet_move_ref(g->packet, g->scratch);
        got++;
    }
    if (got) *sample = g->packet;
    else sleep_until(clock_seconds() + 0.001);   // nothing yet: idle on
    return 0;
}

bool mvvideo::grabber_recording(const MvGrabber *g) { return g->recording; }

const AVCodecParameters *mvvideo::grabber_codec(const MvGrabber *g)
{
    return g->input->streams[g->stream]->codecpar;
}

int mvvideo::grabber_next(MvGrabber *g, AVPacket **sample)
{
    *sample = nullptr;
    if (!g->recording || g->ended) return -1;
    if (!g->isFile) return next_camera(g, sample);
    // The previous sample has been decoded (or dropped) by now: its bytes
    // may go.
    av_packet_unref(g->packet);
    for (;;) {
        int err = av_read_frame(g->input, g->packet);
        if (err == AVERROR(EAGAIN)) {
            sleep_until(clock_seconds() + 0.001);
            return 0;
        }
        if (err < 0) {
            if (g->loop && rewind_input(g)) return 1;
            g->ended = true;
            return -1;
        }
        if (g->packet->stream_index == g->stream) break;
        av_packet_unref(g->packet);
    }
    g->passPackets++;
    *sample = g->packet;
    return 0;
}
