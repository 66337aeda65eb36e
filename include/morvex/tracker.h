/* morvex/tracker.h - a tracker: one object that holds everything tracking
   a video stream needs (camera, patterns, storage, history, settings) and
   runs the whole pipeline on each frame: detection with the frame-to-frame
   history, sub-pixel corners, identification from them, the automatic
   threshold, and each identified marker's pose, refined and continuous
   with that pattern's pose in the previous frame.

   Typical use:

       MvCameraParam cam;
       mvParamLoad("camera_para.dat", 1, &cam);      // or NULL below: a default camera
       MvTracker *t;
       char why[MV_MESSAGE_MAX];
       if (mvTrackerCreate(&cam, NULL, &t, why) != MV_ERROR_NONE)
           fprintf(stderr, "%s\n", why);
       int id;
       if (mvTrackerAddPatternFile(t, "patt.lumo", 45.0, &id) != MV_ERROR_NONE)
           fprintf(stderr, "%s\n", mvTrackerErrorText(t));

       per frame (here 4-byte RGBA pixels, rows `stride` bytes apart):
           const MvTrackerMarker *m;
           int n;
           if (mvTrackerProcess(t, pixels, width, height, stride, MV_PIXEL_RGBA, &m, &n) == 0)
               for (int k = 0; k < n; k++)
                   if (m[k].id == id && m[k].hasPose)
                       ... m[k].pose: marker -> camera, millimetres ...

       mvTrackerDestroy(t);

   Differences from the process-wide interface (mvDetectMarker and
   friends): nothing is shared with it or with other trackers; there are
   no capacity limits (any number of dark regions, candidates and markers
   per frame, storage grown on need and then reused, so that steady frames
   allocate nothing); a tracker never prints and never ends the process:
   every failure is a returned MvError code with a text from
   mvTrackerErrorText, allocation failures included, and the tracker stays
   usable after it.

   Conventions (as for the whole library): lengths in millimetres; pixel
   (0, 0) is centred at (0.0, 0.0), x right, y down; "observed" pixels are
   where the lens puts a point in the frame, "ideal" pixels where the
   camera's pinhole model would; a pose is a row-major 3x4 transform from
   marker coordinates (origin at the marker's centre, x from the marker's
   corner 0 to corner 1, y from corner 3 to corner 0, z = x cross y towards
   the camera) to camera coordinates (x right, y down, z along the view).

   Threads: distinct trackers may be used at the same time on distinct
   threads. One tracker is used by one thread at a time (calls on the same
   tracker from several threads must be serialised by the caller). An
   MvPattern may be added to any number of trackers, also on different
   threads: it is never changed after it is made and counts its users, so
   releasing it while trackers hold it is safe. A camera record is copied
   by the tracker that takes it. */
#ifndef MORVEX_TRACKER_H
#define MORVEX_TRACKER_H

#include "morvex/camera.h"
#include "morvex/error.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Room for one message, terminating zero included. */
#define MV_MESSAGE_MAX 256

/* The threshold setting that follows the scene (MvTrackerSettings). */
#define MV_THRESHOLD_AUTO (-1)

/* Pixel layouts of the frames given to mvTrackerProcess. */
typedef enum {
    MV_PIXEL_RGBA = 0,  /* 4 bytes: red, green, blue, a byte not read (the capture's frames) */
    MV_PIXEL_BGRA = 1,  /* 4 bytes: blue, green, red, a byte not read */
    MV_PIXEL_RGB = 2,   /* 3 bytes */
    MV_PIXEL_BGR = 3,   /* 3 bytes (OpenCV's) */
    MV_PIXEL_GREY = 4   /* 1 byte of brightness */
} MvPixelFormat;

/* How a tracker works. Fill with mvTrackerSettingsInit, then change what
   you need: fields may be added at the end in later versions. */
typedef struct {
    int threshold;      /* darkness threshold 0..255 (a pixel is dark when
                           R + G + B <= 3 x threshold), or MV_THRESHOLD_AUTO
                           (the default): it follows the identified markers'
                           levels, and searches the frame's levels while none
                           is identified */
    int refine;         /* non-zero (default): sub-pixel corners, identities
                           sampled through them, refined poses kept
                           continuous from frame to frame */
    int history;        /* non-zero (default): identities steadied with the
                           last frames, an identified marker that went
                           missing reported again for up to two frames */
    int halfResolution; /* non-zero: detect on every second pixel in x and y
                           (faster, less precise). Default 0 */
    int greyMatching;   /* non-zero: compare patterns by brightness only, not
                           colour. Default 0 */
    int maxMarkers;     /* most markers reported per frame (identified ones
                           first, by confidence); 0 (default) for no limit */
    int threads;        /* threads sharing each frame's work, the calling one
                           included: 1 (default) works on the caller's
                           thread alone; 0 one per processor; at most
                           MV_TRACKER_THREADS_MAX. The results are the same
                           for any number */
    int guard;          /* non-zero (default): a picture pattern is reported
                           only when its match is very unlikely to be chance
                           (see "The guard" below); 0: the best correlation
                           of at least 0.5, as the process-wide interface
                           names markers */
} MvTrackerSettings;

#define MV_TRACKER_THREADS_MAX 64

/* One marker of a processed frame. */
typedef struct {
    int id;                     /* pattern id in this tracker, or the code's id in
                                   its family; -1 unknown */
    const char *family;         /* a coded marker's family ("tag36h11", ...; static
                                   storage), NULL for a picture pattern or unknown */
    int direction;              /* 0..3: which turn of the pattern or code matched,
                                   -1 unknown */
    double confidence;          /* a picture's correlation with its pattern (at
                                   most 1.0); a code's share of bits read right */
    int area;                   /* pixels of the black border (frame pixels) */
    double center[2];           /* the border's centroid, observed pixels */
    double corners[4][2];       /* observed pixels. A picture marker's run
                                   clockwise on screen as detected (corner i is
                                   the marker's own corner (i + direction) mod 4);
                                   a coded marker's are in its family's own order
                                   (see the coded markers below) */
    double cornersIdeal[4][2];  /* the same corners, ideal pixels */
    double edgeLines[4][3];     /* the side from corner i to corner i + 1 as
                                   a x + b y + c = 0, (a, b) a unit normal, ideal
                                   pixels */
    int hasPose;                /* non-zero when pose and poseError hold a pose:
                                   an identified marker whose fit succeeded */
    double pose[3][4];          /* marker -> camera, millimetres (a coded marker's
                                   in its family's own axes) */
    double poseError;           /* mean squared reprojection error, pixels^2 */
    double widthMm;             /* the marker side the pose used, 0 without pose */
} MvTrackerMarker;

/* Running totals of a tracker's work, for reports. */
typedef struct {
    long frames;              /* frames processed */
    double detectSeconds;     /* detection, refinement, identification, threshold */
    double poseSeconds;       /* pose estimation */
} MvTrackerStats;

typedef struct MvTracker MvTracker;
typedef struct MvPattern MvPattern;

/* Called with notes that are no failure (a camera of another aspect ratio
   than the frames, for instance): one line without a line end, valid
   during the call. Runs on the thread that called the tracker, inside
   that call. */
typedef void (*MvTrackerMessageFn)(void *user, const char *message);

/* The defaults: automatic threshold, refinement, history and the guard
   on, full resolution, colour matching, no limit, one thread. Writes
   *settings. Any thread. */
void mvTrackerSettingsInit(MvTrackerSettings *settings);

/* A camera for frames of width x height pixels of unknown calibration:
   the bundled camera's field of view (focal length 1.09375 x width),
   principal point at the centre, no lens distortion. Writes *camera.
   Any thread. */
void mvTrackerDefaultCamera(int width, int height, MvCameraParam *camera);

/* Makes a tracker. `camera` (copied; NULL: a default camera of each
   frame's size) is rescaled to the frames' size when theirs differs;
   `settings` (copied; NULL: the defaults). On success returns
   MV_ERROR_NONE and *tracker, which the caller ends with
   mvTrackerDestroy. Otherwise *tracker is NULL, the code says why
   (MV_ERROR_ARGUMENT: a camera or setting that cannot be right;
   MV_ERROR_MEMORY) and, when `why` is not NULL, a one-line reason naming
   the field at fault is written to why[0 .. MV_MESSAGE_MAX - 1]. Any
   thread. */
int mvTrackerCreate(const MvCameraParam *camera, const MvTrackerSettings *settings,
                    MvTracker **tracker, char *why);

/* Ends a tracker and frees everything it holds (its results included; its
   patterns are released). NULL is ignored. */
void mvTrackerDestroy(MvTracker *tracker);

/* Replaces the settings (copied). MV_ERROR_NONE, or MV_ERROR_ARGUMENT
   (nothing changed) for a value out of range. Changing threshold,
   resolution or history takes effect from the next frame; the history and
   previous poses are kept. */
int mvTrackerSetSettings(MvTracker *tracker, const MvTrackerSettings *settings);
/* Writes the current settings to *settings. */
void mvTrackerGetSettings(const MvTracker *tracker, MvTrackerSettings *settings);

/* Replaces the camera (copied; NULL: a default camera of each frame's
   size) and starts a new stream (as mvTrackerReset). MV_ERROR_NONE, or
   MV_ERROR_ARGUMENT (nothing changed) for a camera that cannot be right. */
int mvTrackerSetCamera(MvTracker *tracker, const MvCameraParam *camera);

/* The camera used for the last frame (rescaled to its size), or the camera
   given when no frame has been processed yet. Writes *camera; 0, or -1
   when the tracker has no camera yet (a default camera and no frame). */
int mvTrackerGetCamera(const MvTracker *tracker, MvCameraParam *camera);

/* Forgets the stream: the history, each pattern's previous pose, and the
   automatic threshold (back to 100). For a cut in the video or a new one. */
void mvTrackerReset(MvTracker *tracker);

/* --- Patterns ------------------------------------------------------------
   A tracker's patterns each have an id (0, 1, 2, ... in the order added,
   never reused within the tracker) and a marker side in millimetres (the
   side of the black square). Markers identified as a pattern carry its id.
   A pattern file holds 3072 whole numbers: four rotation blocks, each of
   three planes (blue, green, red) of 16 x 16 cells of brightness, rows
   from the top. Making a pattern (mvPatternLoad, mvPatternFromValues)
   takes a few milliseconds: the guard's profile of it (below); the first
   one in a process takes about 70 ms more, to draw the pictures patterns
   are compared with (once, shared by all threads). */

/* Loads a pattern file (read during the call, not kept). NULL on failure,
   with a one-line reason in why[0 .. MV_MESSAGE_MAX - 1] when `why` is not
   NULL and the code in *code when `code` is not NULL (MV_ERROR_NOT_FOUND,
   MV_ERROR_FORMAT, MV_ERROR_MEMORY). The caller releases the pattern with
   mvPatternRelease. Any thread. */
MvPattern *mvPatternLoad(const char *path, char *why, int *code);

/* A pattern from values in the file's order (3072 bytes: block, plane,
   row, column), named `name` (copied; NULL: "pattern"). NULL only when
   memory runs out. Released with mvPatternRelease. Any thread. */
MvPattern *mvPatternFromValues(const unsigned char values[3072], const char *name);

/* The name given, or the path the pattern was loaded from. Valid while the
   pattern lives. */
const char *mvPatternName(const MvPattern *pattern);

/* Gives up the caller's hold on the pattern; it is freed when no tracker
   holds it either. NULL is ignored. Any thread. */
void mvPatternRelease(MvPattern *pattern);

/* Adds a pattern for markers of side `widthMm` (> 0). The tracker holds
   the pattern until it is removed or the tracker ends; the caller keeps
   its own hold. MV_ERROR_NONE and *id (may be NULL), or MV_ERROR_ARGUMENT
   (a width that is not a positive number, a NULL pattern) or
   MV_ERROR_MEMORY. Adding the same pattern object again gives a pattern
   of its own. */
int mvTrackerAddPattern(MvTracker *tracker, const MvPattern *pattern, double widthMm, int *id);

/* mvPatternLoad and mvTrackerAddPattern in one call; a failure to load
   returns the load's code with its reason in mvTrackerErrorText. */
int mvTrackerAddPatternFile(MvTracker *tracker, const char *path, double widthMm, int *id);

/* Removes pattern `id`; its markers are no longer identified from the
   next frame on. MV_ERROR_NONE, or MV_ERROR_ARGUMENT for an id the
   tracker does not hold. */
int mvTrackerRemovePattern(MvTracker *tracker, int id);

/* The pattern `id`'s name and marker side; NULL / 0 for an id the tracker
   does not hold. The name is valid while the tracker holds the pattern. */
const char *mvTrackerPatternName(const MvTracker *tracker, int id);
double mvTrackerPatternWidth(const MvTracker *tracker, int id);

/* The guard (settings.guard, on by default). Two pictures inside the same
   black border often correlate above 0.5, so the best correlation alone
   names markers wrongly. With the guard a marker's cells are sampled at
   its corners (refined ones when refinement is on) and compared with every
   pattern, each turn, sharp and blurred as a small or soft marker is seen;
   at the blur that fits best the best pattern is reported only when
     - its correlation reaches that pattern's chance level: the correlation
       a fixed set of other pictures reaches with it (at least 0.5), or the
       minimum set with mvTrackerSetPatternMinConfidence;
     - it stands clear of the best other pattern (the sample is markedly
       nearer to it);
     - the two are not turns of each other (a 6 and a 9, an n and a u): no
       picture matcher can tell such a pair apart, so neither is reported
       where the other matches nearly as well. Adding such a pair sends a
       note naming both to the message callback;
     - the marker's picture has at least 0.4 times the pattern's contrast
       against its own black border (a square of the scene with a faint
       shading inside is no marker of a gradient).
   A marker refused is reported with id -1 and its best correlation as
   confidence. The process-wide interface never guards. */

/* Sets the lowest correlation at which pattern `id` is reported, in place
   of its chance level: for a scene known to hold no picture like it (lower)
   or pictures close to it (higher). The other conditions still hold.
   `minConfidence` in 0.5..1 (below 0.5 no identity is ever kept, guard or
   not), or a negative number to go back to the chance level. Takes effect
   from the next frame. MV_ERROR_NONE, or MV_ERROR_ARGUMENT (an id the
   tracker does not hold; a value above 1, from 0 to below 0.5, or not a
   number; nothing changed). */
int mvTrackerSetPatternMinConfidence(MvTracker *tracker, int id, double minConfidence);

/* The lowest correlation at which pattern `id` is reported on sharp views:
   the minimum set, or its chance level (softer views have higher chance
   levels); -1 for an id the tracker does not hold. */
double mvTrackerPatternMinConfidence(const MvTracker *tracker, int id);

/* --- Coded markers -------------------------------------------------------
   Coded markers carry an error-correcting code in a grid of cells inside a
   black frame one cell wide. The families: "tag36h11", "tag25h9",
   "tag16h5" (AprilTag's), "aruco4x4_50", "aruco4x4_100", "aruco4x4_250",
   "aruco4x4_1000", the same for 5x5, 6x6 and 7x7, and "aruco_original"
   (OpenCV's ArUco dictionaries); mvmarker prints them. A tracker decodes
   the families added to it (none by default) beside its picture patterns;
   a square that shows a picture pattern is reported as that pattern.

   A coded marker's record has `family` set and `id` its code's id. Its
   corners are in the family's own order and its pose in the family's own
   axes, so that a program moving from those libraries gets the same
   numbers: AprilTag's corners run counter-clockwise on screen from the
   upright marker's bottom-left, its axes are x right, y down, z into the
   marker; ArUco's corners run clockwise from the top-left, its axes are x
   right, y up, z out of the marker towards the camera (a picture marker's
   own convention, upright). The marker's side is that of its black square.

   Each family corrects bit errors up to a bound that keeps false reads
   negligible (a random interior behind a dark frame read as a code with a
   chance of at most 5e-5): tag36h11 2 bits; aruco6x6_50 and _100 3,
   aruco6x6_250 and _1000 2; aruco7x7_50 7, _100 and _250 6, _1000 5;
   every other family none. */

/* The families: their number and the name of family `index` (NULL out of
   range; static storage). Any thread. */
int mvCodeFamilyCount(void);
const char *mvCodeFamilyName(int index);

/* Decodes `family` from the next frame on, its markers `sideMm` across
   (> 0, the black square), correcting at most `maxCorrection` bits (-1:
   the family's bound; more is held to it). Adding a family again changes
   its side and bound. MV_ERROR_NONE, MV_ERROR_ARGUMENT (an unknown family,
   a side that is not a positive number) or MV_ERROR_MEMORY. */
int mvTrackerAddFamily(MvTracker *tracker, const char *family, double sideMm, int maxCorrection);

/* Stops decoding `family`. MV_ERROR_NONE, or MV_ERROR_ARGUMENT when the
   tracker does not decode it. */
int mvTrackerRemoveFamily(MvTracker *tracker, const char *family);

/* The side (mm) of marker `id` of an added family, when it differs from
   the family's. MV_ERROR_NONE, MV_ERROR_ARGUMENT (family not added, id out
   of range, side not positive) or MV_ERROR_MEMORY. */
int mvTrackerSetCodeSide(MvTracker *tracker, const char *family, int id, double sideMm);

/* --- Frames -------------------------------------------------------------- */

/* Tracks one frame: `width` x `height` pixels (at least 3 x 3) in
   `format`, rows `stride` bytes apart (at least width times the bytes of
   a pixel), read during the call and not kept. On success returns
   MV_ERROR_NONE and the frame's markers in *markers (*count of them):
   they belong to the tracker and stay valid until its next
   mvTrackerProcess, mvTrackerDestroy or a change of its patterns. On
   failure returns the code (MV_ERROR_ARGUMENT: bad arguments, or a
   working image above MV_WORK_PIXELS_MAX pixels; MV_ERROR_MEMORY), with
   *count 0 and the reason in mvTrackerErrorText; the next frame is
   tracked as usual. markers and count must not be NULL. */
int mvTrackerProcess(MvTracker *tracker, const unsigned char *pixels, int width, int height,
                     int stride, MvPixelFormat format, const MvTrackerMarker **markers,
                     int *count);

/* --- Errors, notes, totals ----------------------------------------------- */

/* The code of the tracker's most recent failure (MV_ERROR_NONE when its
   most recent call succeeded) and its one-line text ("" then). The text
   belongs to the tracker, valid until its next call. */
int mvTrackerLastError(const MvTracker *tracker);
const char *mvTrackerErrorText(const MvTracker *tracker);

/* Notes go to `fn` with `user` (NULL: nowhere, the default). */
void mvTrackerSetMessageCallback(MvTracker *tracker, MvTrackerMessageFn fn, void *user);

/* Writes the running totals to *stats. */
void mvTrackerGetStats(const MvTracker *tracker, MvTrackerStats *stats);

#ifdef __cplusplus
}
#endif

#endif
