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
 * A path cannot contain blanks or tabs; a word holds at most 255 characters.
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
 * Not thread-safe: call everything from one thread.
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

/* ---- Back end: the same operations on an explicit handle ----------------
 * Each returns what its front-end namesake returns; -1 (the frame request
 * NULL) when `handle` is NULL. */

/* The same as mvVideoDispOption. */
int mv2VideoDispOption(void);
/* Returns a new handle (caller closes it with mv2VideoClose), or NULL with
 * the same messages as mvVideoOpen. Exits the process with status 1 after
 * "malloc error!!" when memory runs out. */
MvVideoHandle *mv2VideoOpen(const char *config);
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
