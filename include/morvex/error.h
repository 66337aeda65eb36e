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
   that words its own messages can turn the printing of failures off with
   mvSetErrorPrinting. Messages that are no failure (the codec line of the
   capture) are printed either way; so are the failures that end the
   process (allocation failures, internal inconsistencies), which exit
   with status 1 after printing.

   Not thread-safe: one record per process. */
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

/* The code (an MvError) of the most recent recorded failure, or
   MV_ERROR_NONE. */
int mvLastError(void);

/* Its text: one line without a line end, "" when the code is
   MV_ERROR_NONE. Owned by the library; valid until the next failing call
   or mvClearError. Never NULL. */
const char *mvLastErrorText(void);

/* Forgets the recorded failure: mvLastError() is MV_ERROR_NONE again. */
void mvClearError(void);

/* Non-zero (the initial setting): failures print their message as well
   as recording it. 0: they are only recorded. Returns the previous
   setting. */
int mvSetErrorPrinting(int on);

#ifdef __cplusplus
}
#endif

#endif
