// The message channel and the last-error record.
#include "message.h"

#include <atomic>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace {

// Each thread keeps its own record, so that threads working with separate
// capture handles never read each other's failures.
thread_local int last_code = MV_ERROR_NONE;
// Long enough for two 255-character paths and their words; a longer text
// is recorded cut short (it is still printed whole).
thread_local char last_text[1024] = "";
std::atomic<bool> printing{true};

void record(MvError code, const char *format, va_list ap)
{
    last_code = code;
    std::vsnprintf(last_text, sizeof last_text, format, ap);
    const size_t n = std::strlen(last_text);
    if (n > 0 && last_text[n - 1] == '\n') last_text[n - 1] = '\0';
}

}  // namespace

namespace mvcore {

namespace {

// Prints (when `print`) and records one failure.
void emit(MvError code, FILE *stream, bool print, const char *format, va_list ap)
{
    if (stream != nullptr && print) {
        va_list again;
        va_copy(again, ap);
        std::vfprintf(stream, format, again);
        va_end(again);
    }
    record(code, format, ap);
}

}  // namespace

void report(MvError code, FILE *stream, const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    emit(code, stream, printing, format, ap);
    va_end(ap);
}

bool errors_printed() { return printing; }

void note(FILE *stream, const char *format, ...)
{
    if (!printing) return;
    va_list ap;
    va_start(ap, format);
    std::vfprintf(stream, format, ap);
    va_end(ap);
}

void fatal(MvError code, FILE *stream, const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    emit(code, stream, true, format, ap);
    va_end(ap);
    std::exit(1);
}

}  // namespace mvcore

extern "C" int mvLastError(void) { return last_code; }
extern "C" const char *mvLastErrorText(void) { return last_text; }

extern "C" void mvClearError(void)
{
    last_code = MV_ERROR_NONE;
    last_text[0] = '\0';
}

extern "C" int mvSetErrorPrinting(int on)
{
    const int was = printing ? 1 : 0;
    printing = on != 0;
    return was;
}
