// clip_writer.h - writes RGB frames as a video file (libavcodec/libavformat).
// Used by make_demo_clip and by the capture tests to make files with known
// content. The container follows the file name's extension (.avi, .mkv,
// .webm).
#ifndef MORVEX_CLIP_WRITER_H
#define MORVEX_CLIP_WRITER_H

#include <cstdint>
#include <string>

namespace clip {

enum class Codec {
    Mjpeg,   // intra-frame: every packet is one whole picture
    Mpeg4,   // with B-frames: the decoder needs several packets per picture
    Vp8,     // libvpx, for WebM: what browsers play (MJPEG in AVI they do not)
};

struct Writer;

// Opens `path` for width x height frames at `fps` frames per second.
// `qscale` is the codec's quantiser, 1 (best) to 31 (Vp8: libvpx's 0 to 63,
// held for every frame). Returns a writer that
// the caller finishes with close(), or nullptr with *error set.
Writer *open(const std::string &path, int width, int height, int fps, Codec codec,
             int qscale, std::string *error);

// Encodes one frame: width x height pixels, `channels` (3 or 4) bytes each,
// R G B first, rows from the top, no padding.
bool write(Writer *w, const uint8_t *pixels, int channels, std::string *error);

// Stores `size` bytes as the next frame's packet without encoding anything
// (to make a sample that cannot be decoded).
bool writeRaw(Writer *w, const uint8_t *bytes, int size, std::string *error);

// Flushes the encoder, finishes the file and frees the writer (always).
bool close(Writer *w, std::string *error);

}  // namespace clip

#endif
