// Shared between the files of video/: the capture record and the grabber.
#ifndef MORVEX_VIDEO_INTERNAL_H
#define MORVEX_VIDEO_INTERNAL_H

#include "morvex/video.h"
#include "video_config.h"

#include <cstdint>

extern "C" {
struct AVFormatContext;
struct AVCodecContext;
struct AVCodecParameters;
struct AVPacket;
struct AVFrame;
struct SwsContext;
}

// The frame source behind a handle: an FFmpeg input (a V4L2 camera, a file
// or an image sequence) that is "idled" to read one packet at a time.
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

struct MvVideoHandle {
    int width;                    // frame size handed out, pixels
    int height;
    struct { int top, left, bottom, right; } bounds;  // bottom, right exclusive
    MvGrabber *grabber;           // the source, or none
    int channel;                  // the video stream's index in the source
    unsigned char *offscreen;     // width*height*4 + 1 bytes, A R G B per pixel
    AVCodecContext *decompressor; // made at the first request with a sample
    SwsContext *scaler;           // decoded picture -> offscreen, resized
    AVFrame *picture;             // the decoder's output picture
    AVCodecParameters *sampleDescription;  // set at the first sample (points
                                           // into the source, not owned)
    int frameReady;               // a sample is waiting to be decoded
    AVPacket *sampleData;         // the newest sample, owned by the grabber
                                  // and valid until it is idled again
    int sampleLength;             // its length in bytes
    bool drained;                 // the decoder's delayed pictures were taken
    bool dry;                     // ran dry: the last picture has been handed out
};

// Opens the source of `cfg`; on failure prints one line naming it and the
// reason and returns nullptr. The caller frees it with mv_grabber_close.
MvGrabber *mv_grabber_open(const MvVideoConfig &cfg);
void mv_grabber_close(MvGrabber *g);
void mv_grabber_start(MvGrabber *g);
void mv_grabber_stop(MvGrabber *g);

// The data procedure: called by the grabber, from inside mv_grabber_idle,
// with each video sample. Records the newest sample only.
int mySGDataProc(MvVideoHandle *handle, AVPacket *sample);

// One idle step. A file: reads one packet and hands it to the data
// procedure. A camera: hands over
// every packet already waiting, the newest last, or none. Returns 0 (call
// again if no sample came), 1 after a loop back to the start (the decoder
// must be flushed; call again), or -1 when the source has nothing more to
// give (ran dry, read error, not recording).
int mv_grabber_idle(MvGrabber *g, MvVideoHandle *handle);

// A paced file: waits until the picture with this timestamp (the video
// stream's time base; AV_NOPTS_VALUE: one interval after the last) is due.
// The first picture after a start is due at once, so that pictures are
// handed out no faster than the file's rate, measured from the first one.
void mv_grabber_pace(MvGrabber *g, int64_t timestamp);

// Seconds on a monotonic clock.
double mv_video_now();

#endif
