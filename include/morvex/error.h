/* morvex/error.h - the last error of the core, capture and display
   libraries, for programs that report failures in their own words.

       mvClearError();
       if (mvLoadPatt(path) < 0 && mvLastError() == MV_ERROR_FORMAT)
           fprintf(stderr, "%s: %s\n", path, mvLastErrorText());

   A failing call records a code and a one-line text (the message it prints,
   without the line end, or for failures that print nothing a text naming
   the file or value at fault). Successful calls leave the record alone:
   clear it before the call whose failure is to be read. Messages are
   printed where they always were (most on standard output); a program
   that words its own messages turns printing off with mvSetErrorPrinting,
   which silences the notes that are no failure (the capture's codec line)
   as well. The failures that end the process (allocation failures,
   internal inconsistencies) print and exit with status 1 either way.

   Trackers (morvex/tracker.h) keep errors of their own and never print;
   this record belongs to the process-wide interface and to capture and
   display.

   Threads: each thread has its own record (a failure on one thread is not
   seen by another); the printing switch is one for the process and may be
   set from any thread. */
#ifndef MORVEX_ERROR_H
#define MORVEX_ERROR_H

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
    MV_ERROR_NONE = 0,    /* nothing recorded since the start or the last clear */
    MV_ERROR_NOT_FOUND,   /* a file to read cannot be opened */
    MV_ERROR_FORMAT,      /* a file's contents are short or not of its kind */
    MV_ERROR_CAPACITY,    /* a fixed table is full: pattern slots, labels,
                             outline points */
    MV_ERROR_MEMORY,      /* an allocation failed (most then end the process) */
    MV_ERROR_DEVICE,      /* the capture source cannot be opened or stopped
                             delivering, or a capture is open already */
    MV_ERROR_ARGUMENT,    /* a value the call cannot use: a capture word, a
                             frame size, inconsistent inputs */
    MV_ERROR_WRITE        /* a file cannot be written */
} MvError;

/* The code (an MvError) of the calling thread's most recent recorded
   failure, or MV_ERROR_NONE. */
int mvLastError(void);

/* Its text: one line without a line end, "" when the code is
   MV_ERROR_NONE. Owned by the library; valid until the calling thread's
   next failing call or mvClearError, and only on the calling thread.
   Never NULL. */
const char *mvLastErrorText(void);

/* Forgets the calling thread's recorded failure: mvLastError() is
   MV_ERROR_NONE again. */
void mvClearError(void);

/* Non-zero (the initial setting): failures print their message as well
   as recording it, and notes are printed. 0: failures are only recorded
   and notes are not printed. Returns the previous setting. */
int mvSetErrorPrinting(int on);

#ifdef __cplusplus
}
#endif

#endif
