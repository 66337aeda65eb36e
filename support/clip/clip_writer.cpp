// Encoder and muxer behind clip_writer.h.
#include "clip_writer.h"

#include <algorithm>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace clip {

struct Writer {
    AVFormatContext *out = nullptr;
    AVStream *stream = nullptr;
    AVCodecContext *enc = nullptr;
    AVFrame *frame = nullptr;
    AVPacket *packet = nullptr;
    SwsContext *toYuv = nullptr;
    int width = 0, height = 0, qscale = 2;
    int64_t next = 0;          // index of the next frame
    bool headerWritten = false;
};

static bool failed(std::string *error, const std::string &what, int err = 0)
{
    if (error) {
        *error = what;
        if (err < 0) {
            char reason[AV_ERROR_MAX_STRING_SIZE];
            av_strerror(err, reason, sizeof reason);
            *error += std::string(": ") + reason;
        }
    }
    return false;
}

static void release(Writer *w)
{
    if (w->out && !(w->out->oformat->flags & AVFMT_NOFILE)) avio_closep(&w->out->pb);
    avformat_free_context(w->out);
    avcodec_free_context(&w->enc);
    av_frame_free(&w->frame);
    av_packet_free(&w->packet);
    sws_freeContext(w->toYuv);
    delete w;
}

Writer *open(const std::string &path, int width, int height, int fps, Codec codec,
             int qscale, std::string *error)
{
    // swscale warns on every frame about the full-range YUV formats MJPEG
    // needs; errors still show.
    if (av_log_get_level() == AV_LOG_INFO) av_log_set_level(AV_LOG_ERROR);
    Writer *w = new Writer;
    w->width = width;
    w->height = height;
    w->qscale = qscale;
    int err = avformat_alloc_output_context2(&w->out, nullptr, nullptr, path.c_str());
    if (err < 0) {
        failed(error, "no container for " + path, err);
        release(w);
        return nullptr;
    }
    const AVCodecID id = codec == Codec::Mjpeg  ? AV_CODEC_ID_MJPEG
                         : codec == Codec::Mpeg4 ? AV_CODEC_ID_MPEG4
                                                 : AV_CODEC_ID_VP8;
    const AVCodec *encoder = avcodec_find_encoder(id);
    w->enc = encoder ? avcodec_alloc_context3(encoder) : nullptr;
    w->stream = avformat_new_stream(w->out, nullptr);
    w->frame = av_frame_alloc();
    w->packet = av_packet_alloc();
    if (!w->enc || !w->stream || !w->frame || !w->packet) {
        failed(error, std::string("no encoder for ") + avcodec_get_name(id));
        release(w);
        return nullptr;
    }
    w->enc->width = width;
    w->enc->height = height;
    w->enc->time_base = AVRational{1, fps};
    w->enc->framerate = AVRational{fps, 1};
    // Full-range YUV for MJPEG, as cameras produce it.
    w->enc->pix_fmt = codec == Codec::Mjpeg ? AV_PIX_FMT_YUVJ420P : AV_PIX_FMT_YUV420P;
    if (codec == Codec::Vp8) {
        // One quantiser for every frame, the bit rate only a ceiling; no
        // hidden alternate reference frames and a key frame each second,
        // so that a browser seeks to any frame quickly and exactly.
        w->enc->qmin = w->enc->qmax = qscale;
        w->enc->bit_rate = 20000000;
        w->enc->gop_size = fps;
        av_opt_set_int(w->enc->priv_data, "auto-alt-ref", 0, 0);
        av_opt_set_int(w->enc->priv_data, "lag-in-frames", 0, 0);
        av_opt_set(w->enc->priv_data, "deadline", "good", 0);
    } else {
        w->enc->flags |= AV_CODEC_FLAG_QSCALE;
        w->enc->global_quality = FF_QP2LAMBDA * qscale;
    }
    if (codec == Codec::Mpeg4) {
        w->enc->max_b_frames = 2;
        w->enc->gop_size = 12;
    }
    if (w->out->oformat->flags & AVFMT_GLOBALHEADER) w->enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    err = avcodec_open2(w->enc, encoder, nullptr);
    if (err < 0) {
        failed(error, "cannot open the encoder", err);
        release(w);
        return nullptr;
    }
    avcodec_parameters_from_context(w->stream->codecpar, w->enc);
    w->stream->time_base = w->enc->time_base;
    w->stream->avg_frame_rate = w->enc->framerate;
    w->frame->format = w->enc->pix_fmt;
    w->frame->width = width;
    w->frame->height = height;
    if (av_frame_get_buffer(w->frame, 0) < 0) {
        failed(error, "out of memory");
        release(w);
        return nullptr;
    }
    if (!(w->out->oformat->flags & AVFMT_NOFILE)) {
        err = avio_open(&w->out->pb, path.c_str(), AVIO_FLAG_WRITE);
        if (err < 0) {
            failed(error, "cannot write " + path, err);
            release(w);
            return nullptr;
        }
    }
    err = avformat_write_header(w->out, nullptr);
    if (err < 0) {
        failed(error, "cannot write the header of " + path, err);
        release(w);
        return nullptr;
    }
    w->headerWritten = true;
    return w;
}

// Moves every packet the encoder has ready into the file.
static bool drain(Writer *w, std::string *error)
{
    for (;;) {
        int err = avcodec_receive_packet(w->enc, w->packet);
        if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return true;
        if (err < 0) return failed(error, "encoding failed", err);
        av_packet_rescale_ts(w->packet, w->enc->time_base, w->stream->time_base);
        w->packet->stream_index = w->stream->index;
        err = av_interleaved_write_frame(w->out, w->packet);
        if (err < 0) return failed(error, "writing failed", err);
    }
}

bool write(Writer *w, const uint8_t *pixels, int channels, std::string *error)
{
    AVPixelFormat src = channels == 4 ? AV_PIX_FMT_RGBA : AV_PIX_FMT_RGB24;
    w->toYuv = sws_getCachedContext(w->toYuv, w->width, w->height, src, w->width, w->height,
                                    static_cast<AVPixelFormat>(w->frame->format),
                                    SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT,
                                    nullptr, nullptr, nullptr);
    if (w->toYuv == nullptr) return failed(error, "no conversion to the codec's pixels");
    if (av_frame_make_writable(w->frame) < 0) return failed(error, "out of memory");
    const uint8_t *in[4] = {pixels, nullptr, nullptr, nullptr};
    int lines[4] = {w->width * channels, 0, 0, 0};
    sws_scale(w->toYuv, in, lines, 0, w->height, w->frame->data, w->frame->linesize);
    w->frame->pts = w->next++;
    if (w->enc->flags & AV_CODEC_FLAG_QSCALE) w->frame->quality = w->enc->global_quality;
    int err = avcodec_send_frame(w->enc, w->frame);
    if (err < 0) return failed(error, "encoding failed", err);
    return drain(w, error);
}

bool writeRaw(Writer *w, const uint8_t *bytes, int size, std::string *error)
{
    AVPacket *p = av_packet_alloc();
    if (p == nullptr || av_new_packet(p, size) < 0) {
        av_packet_free(&p);
        return failed(error, "out of memory");
    }
    std::copy(bytes, bytes + size, p->data);
    p->pts = p->dts = w->next++;
    p->duration = 1;
    p->flags |= AV_PKT_FLAG_KEY;
    p->stream_index = w->stream->index;
    av_packet_rescale_ts(p, w->enc->time_base, w->stream->time_base);
    int err = av_interleaved_write_frame(w->out, p);
    av_packet_free(&p);
    return err < 0 ? failed(error, "writing failed", err) : true;
}

bool close(Writer *w, std::string *error)
{
    bool ok = avcodec_send_frame(w->enc, nullptr) >= 0 && drain(w, error);
    if (w->headerWritten) {
        int err = av_write_trailer(w->out);
        if (err < 0 && ok) ok = failed(error, "cannot finish the file", err);
    }
    release(w);
    return ok;
}

}  // namespace clip
