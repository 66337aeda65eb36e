// Shared between the files of video/: the capture record and the grabber.
#ifndef MORVEX_VIDEO_INTERNAL_H
#define MORVEX_VIDEO_INTERNAL_H

#include "morvex/video.h"
#include "video_config.h"

#include <cstdint>

extern "C" {
struct AVCodecContext;
struct AVCodecParameters;
struct AVPacket;
struct AVFrame;
struct SwsContext;
}

// The frame source behind a handle (grabber.cpp): an FFmpeg input (a V4L2
// camera, a file or an image sequence) that the capture pulls samples from.
struct MvGrabber;

struct MvVideoHandle {
    int width;                    // frame size handed out, pixels
    int height;
    MvGrabber *grabber;           // the source, or none
    unsigned char *offscreen;     // width*height*4 + 1 bytes, A R G B per pixel
    AVCodecContext *decompressor; // made at the first request with a sample
    SwsContext *scaler;           // decoded picture -> offscreen, resized
    AVFrame *picture;             // the decoder's output picture
    const AVCodecParameters *sampleDescription;  // set at the first sample
                                                 // (the grabber's, not owned)
    AVPacket *sampleData;         // the newest sample, waiting to be decoded,
                                  // or none; owned by the grabber and valid
                                  // until the next pull
    bool drained;                 // the decoder's delayed pictures were taken
    bool dry;                     // ran dry: the last picture has been handed out
};

namespace mvvideo {

// Opens the source of `cfg`; on failure prints one line naming it and the
// reason and returns nullptr. The caller frees it with grabber_close.
MvGrabber *grabber_open(const MvVideoConfig &cfg);
void grabber_close(MvGrabber *g);
void grabber_start(MvGrabber *g);
void grabber_stop(MvGrabber *g);

// Between grabber_start and grabber_stop.
bool grabber_recording(const MvGrabber *g);

// The video stream's codec parameters; the grabber's, valid until it is
// closed.
const AVCodecParameters *grabber_codec(const MvGrabber *g);

// Pulls the next sample into *sample, or null when none came. A file: the
// next video packet. A camera: the newest of the packets already waiting
// (the older ones are dropped), or none. The sample is the grabber's and
// stays valid until the next pull or the close. Returns 0 (with no sample:
// ask again), 1 after a loop back to the start (the decoder must be
// flushed; ask again), or -1 when the source has nothing more to give (ran
// dry, read error, not recording).
int grabber_next(MvGrabber *g, AVPacket **sample);

// A paced file: waits until the picture with this timestamp (the video
// stream's time base; AV_NOPTS_VALUE: one interval after the last) is due.
// The first picture after a start is due at once, so that pictures are
// handed out no faster than the file's rate, measured from the first one.
void grabber_pace(MvGrabber *g, int64_t timestamp);

}  // namespace mvvideo

#endif
