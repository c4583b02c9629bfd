#pragma once

// Trace channel of the plain-function layer: one self-describing line per
// call on standard error, independent of the application log.

#include <pthread.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

struct logging_settings_t {
    int32_t logEnabled;          // callers trace at all when not 0
    int32_t showApplicationName; // the display switches are on when 1
    int32_t showDate;
    int32_t showMicroseconds;
    int32_t showSourceLocation;
};

extern struct logging_settings_t logging_settings;
extern const char* __application_name;
extern FILE* log_out;
extern pthread_mutex_t log_out_mutex;

// Writes one line to log_out under log_out_mutex when `enabled` is not 0.
void __log_tracef(const char* file, const char* function, int line, int enabled, const char* format, ...)
    __attribute__((format(printf, 5, 6)));
// Writes one line to `stream` and flushes it; takes no lock.
void __vftracef(FILE* stream, const char* file, const char* function, int line, const char* format,
                va_list arguments) __attribute__((format(printf, 5, 0)));
void trace_data_time(FILE* stream);

// Decimal conversions into `text`, NUL-terminated; `text` must hold 12 bytes
// (or `width` + 1 when that is larger). They return the characters written.
int __uitoa(uint32_t value, char* text);
int __uitoa_leading_zeros(uint32_t value, char* text, int width);
int __itoa(int32_t value, char* text);

pid_t __get_thread_id(void);

#ifdef __cplusplus
}
#endif

// The usual way to trace: the caller's location is filled in, and nothing is
// formatted while tracing is off. The format carries its own level word and
// line feed, e.g. LOG_TRACEF("[ERROR] Terminator error: (%d) %s\n", err, strerror(err)).
#define LOG_TRACEF(...)                                                        \
    do {                                                                       \
        if (logging_settings.logEnabled)                                       \
            __log_tracef(__FILE__, __func__, __LINE__, 1, __VA_ARGS__);        \
    } while (0)
