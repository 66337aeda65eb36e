// The one channel for the messages of the three libraries: each is printed
// as it always was and, when it is a failure, recorded for mvLastError.
// Internal: the core, video/ and display/ include it; nothing installs it.
#ifndef MORVEX_MESSAGE_H
#define MORVEX_MESSAGE_H

#include "morvex/error.h"

#include <cstdio>

#define MV_PRINTF_LIKE(f, a) __attribute__((format(printf, f, a)))

namespace mvcore {

// Records the failure `code` with the formatted text (one trailing line
// end dropped) and prints it on `stream` unless printing is off
// (mvSetErrorPrinting). A null stream: recorded only, for failures that
// have never printed anything.
void report(MvError code, FILE *stream, const char *format, ...) MV_PRINTF_LIKE(3, 4);

// Whether failures are printed (mvSetErrorPrinting): for the parts of a
// failure's message printed by other means, such as the capture's option
// help.
bool errors_printed();

// A message that is no failure: printed on `stream` unless printing is off,
// nothing recorded.
void note(FILE *stream, const char *format, ...) MV_PRINTF_LIKE(2, 3);

// A failure the process cannot go on from: recorded, printed whatever the
// printing setting, then the process exits with status 1.
[[noreturn]] void fatal(MvError code, FILE *stream, const char *format, ...)
    MV_PRINTF_LIKE(3, 4);

}  // namespace mvcore

#endif
