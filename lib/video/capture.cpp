// The capture back end: a handle per source and the frame request that
// pulls the newest sample from the grabber and decodes it into the ARGB
// buffer.
#include "video_internal.h"
#include "message.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

#include <atomic>
#include <cctype>
#include <mutex>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// 1 once the process-wide FFmpeg set-up has been done.
static std::atomic<int> initF{0};

static void malloc_error()
{
    mvcore::fatal(MV_ERROR_MEMORY, stdout, "malloc error!!\n");
}

MvVideoHandle *mv2VideoOpen(const char *config)
{
    MvVideoConfig cfg;
    mvVideoConfigInit(&cfg);
    if (!mvvideo::parse_config_for_capture(config, &cfg)) return nullptr;
    return mv2VideoOpenConfig(&cfg);
}

MvVideoHandle *mv2VideoOpenConfig(const MvVideoConfig *config)
{
    const MvVideoConfig cfg = *config;
    MvVideoHandle *h = static_cast<MvVideoHandle *>(calloc(1, sizeof(MvVideoHandle)));
    if (h == nullptr) malloc_error();
    h->width = cfg.width;
    h->height = cfg.height;

    // Once per process, whichever thread opens first.
    static std::once_flag once;
    std::call_once(once, [] {
        avdevice_register_all();
        // FFmpeg's own chatter (stream banners, deprecation notes) would
        // bury the program's output; real errors still show.
        if (av_log_get_level() == AV_LOG_INFO) av_log_set_level(AV_LOG_ERROR);
        initF = 1;
    });

    // One spare byte after the last pixel: the frame handed out starts one
    // byte in, so its last pixel's fourth byte lies there.
    size_t bytes = static_cast<size_t>(h->width) * h->height * 4 + 1;
    h->offscreen = static_cast<unsigned char *>(av_mallocz(bytes));
    h->picture = av_frame_alloc();
    if (h->offscreen == nullptr || h->picture == nullptr) malloc_error();

    h->grabber = mvvideo::grabber_open(cfg);
    if (h->grabber == nullptr) {
        mv2VideoClose(h);
        return nullptr;
    }
    return h;
}

int mv2VideoClose(MvVideoHandle *h)
{
    if (h == nullptr) return -1;
    mvvideo::grabber_close(h->grabber);
    av_free(h->offscreen);
    avcodec_free_context(&h->decompressor);
    sws_freeContext(h->scaler);
    av_frame_free(&h->picture);
    free(h);
    return 0;
}

int mv2VideoCapStart(MvVideoHandle *h)
{
    if (h == nullptr) return -1;
    mvvideo::grabber_start(h->grabber);
    h->sampleData = nullptr;
    return 0;
}

int mv2VideoCapNext(MvVideoHandle *h) { return h == nullptr ? -1 : 0; }

int mv2VideoCapStop(MvVideoHandle *h)
{
    if (h == nullptr) return -1;
    if (h->grabber) mvvideo::grabber_stop(h->grabber);
    return 0;
}

int mv2VideoInqEnded(MvVideoHandle *h) { return h == nullptr ? -1 : h->dry ? 1 : 0; }

int mv2VideoInqSize(MvVideoHandle *h, int *x, int *y)
{
    if (h == nullptr || x == nullptr || y == nullptr) return -1;
    *x = h->width;
    *y = h->height;
    return 0;
}

// The sample format's four-character code: the stream's codec tag (first
// character in the low byte), or one derived from the codec when the
// container gives none.
static void codec_code(const AVCodecParameters *par, char code[4])
{
    uint32_t tag = par->codec_tag;
    if (tag == 0 && par->codec_id == AV_CODEC_ID_RAWVIDEO) {
        if (par->format == AV_PIX_FMT_YUYV422) tag = MKTAG('y', 'u', 'y', 'v');
        else tag = avcodec_pix_fmt_to_codec_tag(static_cast<AVPixelFormat>(par->format));
    }
    if (tag == 0) {
        switch (par->codec_id) {
        case AV_CODEC_ID_MJPEG: tag = MKTAG('m', 'j', 'p', 'g'); break;
        case AV_CODEC_ID_H264: tag = MKTAG('h', '2', '6', '4'); break;
        case AV_CODEC_ID_HEVC: tag = MKTAG('h', 'e', 'v', 'c'); break;
        case AV_CODEC_ID_MPEG4: tag = MKTAG('m', 'p', '4', 'v'); break;
        case AV_CODEC_ID_VP8: tag = MKTAG('v', 'p', '8', '0'); break;
        case AV_CODEC_ID_VP9: tag = MKTAG('v', 'p', '9', '0'); break;
        case AV_CODEC_ID_AV1: tag = MKTAG('a', 'v', '0', '1'); break;
        default: break;
        }
    }
    if (tag != 0) {
        for (int i = 0; i < 4; i++) code[i] = static_cast<char>((tag >> (8 * i)) & 0xff);
    } else {
        const char *name = avcodec_get_name(par->codec_id);   // e.g. "png"
        for (int i = 0; i < 4; i++) code[i] = *name ? *name++ : ' ';
    }
    for (int i = 0; i < 4; i++)
        if (!isprint(static_cast<unsigned char>(code[i]))) code[i] = '?';
}

// A sample pulled from the grabber becomes the one to decode; the first
// one names the source's codec.
static void take_sample(MvVideoHandle *h, AVPacket *sample)
{
    if (h->sampleDescription == nullptr) {
        h->sampleDescription = mvvideo::grabber_codec(h->grabber);
        char c[4];
        codec_code(h->sampleDescription, c);
        mvcore::note(stdout, "CTYPE = %c%c%c%c\n", c[0], c[1], c[2], c[3]);
    }
    h->sampleData = sample;
}

static bool begin_decompression(MvVideoHandle *h)
{
    const AVCodec *codec = avcodec_find_decoder(h->sampleDescription->codec_id);
    if (codec == nullptr) return false;
    h->decompressor = avcodec_alloc_context3(codec);
    if (h->decompressor == nullptr) malloc_error();
    // One thread: a sample comes out as a picture in the same request
    // instead of several frames later.
    h->decompressor->thread_count = 1;
    if (avcodec_parameters_to_context(h->decompressor, h->sampleDescription) < 0 ||
        avcodec_open2(h->decompressor, codec, nullptr) < 0) {
        avcodec_free_context(&h->decompressor);
        return false;
    }
    return true;
}

// The decoded picture, scaled to the frame size, into the ARGB buffer.
static unsigned char *convert(MvVideoHandle *h)
{
    AVFrame *pic = h->picture;
    AVPixelFormat fmt = static_cast<AVPixelFormat>(pic->format);
    h->scaler = sws_getCachedContext(h->scaler, pic->width, pic->height, fmt,
                                     h->width, h->height, AV_PIX_FMT_ARGB,
                                     SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (h->scaler == nullptr) {
        av_frame_unref(pic);
        return nullptr;
    }
    // Full-range YUV that the pixel format itself does not say is full range.
    if (pic->color_range == AVCOL_RANGE_JPEG) {
        int *inv, *tab, srcRange, dstRange, bri, con, sat;
        if (sws_getColorspaceDetails(h->scaler, &inv, &srcRange, &tab, &dstRange,
                                     &bri, &con, &sat) >= 0 && !srcRange)
            sws_setColorspaceDetails(h->scaler, inv, 1, tab, dstRange, bri, con, sat);
    }
    uint8_t *dst[4] = {h->offscreen, nullptr, nullptr, nullptr};
    int lines[4] = {h->width * 4, 0, 0, 0};
    sws_scale(h->scaler, pic->data, pic->linesize, 0, pic->height, dst, lines);
    // Ready ahead of time; a paced file hands it out when it is due.
    mvvideo::grabber_pace(h->grabber, pic->best_effort_timestamp);
    av_frame_unref(pic);
    return h->offscreen + 1;
}

// The source has run dry: hand out the pictures the decoder still holds.
static unsigned char *drain(MvVideoHandle *h)
{
    if (h->decompressor == nullptr) {
        h->dry = true;
        return nullptr;
    }
    if (!h->drained) {
        avcodec_send_packet(h->decompressor, nullptr);
        h->drained = true;
    }
    if (avcodec_receive_frame(h->decompressor, h->picture) < 0) {
        h->dry = true;
        return nullptr;
    }
    return convert(h);
}

unsigned char *mv2VideoGetImage(MvVideoHandle *h)
{
    if (h == nullptr || h->grabber == nullptr || !mvvideo::grabber_recording(h->grabber))
        return nullptr;
    for (;;) {
        if (h->sampleData == nullptr) {
            AVPacket *sample;
            int r;
            do {
                r = mvvideo::grabber_next(h->grabber, &sample);
                if (r == 1 && h->decompressor) avcodec_flush_buffers(h->decompressor);
            } while (r >= 0 && sample == nullptr);
            if (sample == nullptr) return drain(h);
            take_sample(h, sample);
        }
        if (h->decompressor == nullptr && !begin_decompression(h)) {
            h->sampleData = nullptr;
            return nullptr;
        }
        int err = avcodec_send_packet(h->decompressor, h->sampleData);
        // EAGAIN: the decoder first hands out a picture it holds; the sample
        // stays ready and is sent by the next request.
        if (err != AVERROR(EAGAIN)) h->sampleData = nullptr;
        if (err < 0 && err != AVERROR(EAGAIN)) return nullptr;   // dropped
        err = avcodec_receive_frame(h->decompressor, h->picture);
        if (err == 0) return convert(h);
        if (err != AVERROR(EAGAIN)) return nullptr;   // undecodable: dropped
        // The decoder needs more samples before a picture comes out.
    }
}
