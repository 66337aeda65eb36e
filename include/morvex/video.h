/*
 * morvex/video.h - video capture: a V4L2 camera, a video file or an image
 * sequence, delivered as 32-bit frames of a fixed size (libmorvex_video,
 * FFmpeg).
 *
 * Typical use (front end, one process-wide device):
 *
 *     if (mvVideoOpen("") < 0) exit(1);          // default camera /dev/video0
 *     int w, h;  mvVideoInqSize(&w, &h);          // 320 x 240 unless configured
 *     mvVideoCapStart();
 *     for (;;) {
 *         unsigned char *frame = mvVideoGetImage();   // waits for a frame
 *         if (frame == NULL) { pause briefly; continue; }
 *         ... use w * h pixels, 4 bytes each: R G B x ...
 *         mvVideoCapNext();
 *     }
 *     mvVideoCapStop();
 *     mvVideoClose();
 *
 * Configuration words, separated by blanks or tabs (mvVideoDispOption
 * prints this list):
 *   -width=N  -height=N  frame size handed out (default 320 x 240); the
 *                        source is scaled to it when its own size differs
 *   -dev=PATH            a V4L2 camera device (default /dev/video0)
 *   -file=PATH           a video file or an image sequence (FFmpeg's %d
 *                        pattern, e.g. frames/img_%d.png) instead of a camera
 *   -loop                with -file: start again at the end instead of
 *                        running dry
 *   -nopace              with -file: deliver frames as fast as they are
 *                        requested instead of at the file's frame rate
 * A path in a word cannot contain blanks or tabs; a word holds at most 255
 * characters. A program that takes paths from elsewhere fills an
 * MvVideoConfig itself and opens it with mv2VideoOpenConfig.
 *
 * Frame format: width x height pixels, rows from the top down, 4 x width
 * bytes per row with no gap; each pixel is red, green, blue, then a byte that
 * carries no colour. The pointer is one byte into the capture's
 * alpha-red-green-blue buffer, which has one spare byte after its last pixel.
 *
 * States: closed -> open (mvVideoOpen) -> capturing (mvVideoCapStart) ->
 * stopped (mvVideoCapStop) -> capturing ... -> closed (mvVideoClose).
 * Frames are handed out only while capturing. The first sample prints
 * "CTYPE = xxxx" with the source's four-character code on standard output.
 *
 * Threads: the front end (mvVideo...) keeps one process-wide source: call it
 * from one thread. Back-end handles (mv2Video...) are independent: distinct
 * handles may be used on distinct threads at the same time, each handle by
 * one thread at a time. The configuration and probe functions may be
 * called from any thread.
 */
#ifndef MORVEX_VIDEO_H
#define MORVEX_VIDEO_H

#ifdef __cplusplus
extern "C" {
#endif

/* One open capture source. Opaque: made by mv2VideoOpen, freed by
 * mv2VideoClose. */
typedef struct MvVideoHandle MvVideoHandle;

/* ---- Front end: one process-wide source ---------------------------------
 * Every operation except mvVideoOpen and mvVideoDispOption returns -1 (the
 * frame request NULL) while no source is open. */

/* Opens the source that `config` describes (NULL or "" = the default
 * camera, 320 x 240). Returns 0, or -1: a source is already open (prints
 * "Device has been opened!!"), a word is not understood (prints the option
 * help, then a line naming the word), or the source cannot be opened
 * (prints a line naming it and why).
 * `config` is only read during the call. */
int mvVideoOpen(const char *config);

/* Closes the open source and frees everything it held; frames handed out
 * before become invalid. A later mvVideoOpen may open a source again.
 * Returns 0, or -1 when nothing is open. */
int mvVideoClose(void);

/* Writes the frame size in pixels to *x and *y. Returns 0, or -1 (writing
 * nothing) when nothing is open or x or y is NULL. Answers from the open on,
 * before capture starts. */
int mvVideoInqSize(int *x, int *y);

/* Waits for the next frame (a file source: paced at its own frame rate
 * unless -nopace) and returns it. The pointer points into the capture's own
 * buffer: never free it; valid until the next mvVideoGetImage or the close.
 * NULL when nothing is open, when not capturing, when a sample could not be
 * decoded (it is dropped; ask again), or when a file has run dry (without
 * -loop it stays dry). */
unsigned char *mvVideoGetImage(void);

/* Whether the source has run dry: 1 once a file without -loop has handed
 * out its last frame and a request has returned NULL for that reason (every
 * later request returns NULL too), 0 otherwise (a NULL frame then only means
 * "none this time": ask again), -1 when nothing is open. */
int mvVideoInqEnded(void);

/* Start / stop handing out frames; release a frame (a no-op: the next
 * request overwrites it). Return 0, or -1 when nothing is open. */
int mvVideoCapStart(void);
int mvVideoCapStop(void);
int mvVideoCapNext(void);

/* Prints the option help on standard output. Returns 0. */
int mvVideoDispOption(void);

/* ---- Configuration and probing ---------------------------------------- */

/* The capture words, parsed: what opening a source needs. */
typedef struct {
    int width, height;           /* frame size handed out (default 320 x 240) */
    int widthGiven, heightGiven; /* non-zero when -width= / -height= set them */
    char dev[256];               /* V4L2 camera device (default /dev/video0) */
    char file[256];              /* a video file or image sequence; when not
                                    empty it is the source instead of dev */
    int loop;                    /* with a file: start again at the end */
    int nopace;                  /* with a file: as fast as frames are asked for */
} MvVideoConfig;

/* Why a capture word was refused. */
typedef enum {
    MV_VIDEO_WORD_TOO_LONG = 1,  /* longer than 255 characters */
    MV_VIDEO_WORD_BAD_NUMBER,    /* -width= / -height= not a whole number 1..16384 */
    MV_VIDEO_WORD_NO_PATH,       /* -dev= / -file= with nothing after the equals sign */
    MV_VIDEO_WORD_UNKNOWN        /* not a capture word */
} MvVideoWordFault;

/* Fills *config with the defaults (the default camera at 320 x 240). */
void mvVideoConfigInit(MvVideoConfig *config);

/* Parses capture words (blank-separated; NULL or blank: nothing) into
 * *config, later words overriding earlier ones and *config's own values.
 * Returns 0, or -1 at the first refused word: *fault says why and *word
 * (pointing into `words`) and *length name it (each out-pointer may be
 * NULL). Prints nothing. */
int mvVideoParseConfig(const char *words, MvVideoConfig *config, int *fault, const char **word,
                       int *length);

/* What the source of `config` holds, read from its container or device
 * without capturing: its frame size (0 x 0 when unknown), a file's frame
 * count (-1 when unknown: a camera, a stream without count or duration)
 * and frame rate (0 when unknown). Returns 0, or -1 (info: 0 x 0, -1, 0)
 * when the source cannot be read. Prints nothing. */
typedef struct {
    int width, height;
    long frames;
    double fps;
} MvVideoSourceInfo;
int mvVideoProbe(const MvVideoConfig *config, MvVideoSourceInfo *info);

/* Makes *config capture at the source's own size (`info`, its probe) where
 * the words gave no size: a side given alone takes the other from the
 * source's aspect ratio. Unchanged when the probe found no size. */
void mvVideoConfigAtSourceSize(MvVideoConfig *config, const MvVideoSourceInfo *info);

/* ---- Back end: the same operations on an explicit handle ----------------
 * Each returns what its front-end namesake returns; -1 (the frame request
 * NULL) when `handle` is NULL. */

/* The same as mvVideoDispOption. */
int mv2VideoDispOption(void);
/* Returns a new handle (caller closes it with mv2VideoClose), or NULL with
 * the same messages as mvVideoOpen. Exits the process with status 1 after
 * "malloc error!!" when memory runs out. */
MvVideoHandle *mv2VideoOpen(const char *config);
/* Opens the source a filled MvVideoConfig describes (read during the call
 * only), with the messages of mv2VideoOpen; paths may hold blanks. */
MvVideoHandle *mv2VideoOpenConfig(const MvVideoConfig *config);
/* Releases the source and frees `handle`; returns 0. NULL: returns -1. */
int mv2VideoClose(MvVideoHandle *handle);
int mv2VideoCapStart(MvVideoHandle *handle);
int mv2VideoCapNext(MvVideoHandle *handle);
int mv2VideoCapStop(MvVideoHandle *handle);
int mv2VideoInqSize(MvVideoHandle *handle, int *x, int *y);
int mv2VideoInqEnded(MvVideoHandle *handle);
/* The frame pointer points into `handle`'s buffer, valid until the next
 * request on `handle` or its close. */
unsigned char *mv2VideoGetImage(MvVideoHandle *handle);

#ifdef __cplusplus
}
#endif

#endif
