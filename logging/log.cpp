#include "logging/log.h"

#include <sys/syscall.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

struct logging_settings_t logging_settings = {1, 1, 1, 1, 1};
const char* __application_name = "unknown";
FILE* log_out = stderr;
pthread_mutex_t log_out_mutex = PTHREAD_MUTEX_INITIALIZER;

namespace {

// Writes `prefix`, the value with at least `width` digits, and `suffix`.
void writeNumber(FILE* stream, const char* prefix, uint32_t value, int width, const char* suffix)
{
    char digits[16];
    __uitoa_leading_zeros(value, digits, width);
    fputs(prefix, stream);
    fputs(digits, stream);
    fputs(suffix, stream);
}

} // namespace

int __uitoa(uint32_t value, char* text)
{
    return __uitoa_leading_zeros(value, text, 0);
}

int __uitoa_leading_zeros(uint32_t value, char* text, int width)
{
    char reversed[10];
    int digits = 0;
    do {
        reversed[digits++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);

    int length = 0;
    for (int padding = width - digits; padding > 0; --padding)
        text[length++] = '0';
    while (digits > 0)
        text[length++] = reversed[--digits];
    text[length] = '\0';
    return length;
}

int __itoa(int32_t value, char* text)
{
    if (value >= 0)
        return __uitoa(static_cast<uint32_t>(value), text);
    text[0] = '-';
    // Negate in unsigned arithmetic so that INT32_MIN stays defined.
    return 1 + __uitoa(0u - static_cast<uint32_t>(value), text + 1);
}

pid_t __get_thread_id(void)
{
    return static_cast<pid_t>(syscall(SYS_gettid));
}

void trace_data_time(FILE* stream)
{
    struct timeval now;
    gettimeofday(&now, nullptr);
    struct tm local;
    localtime_r(&now.tv_sec, &local);

    if (logging_settings.showDate == 1) {
        writeNumber(stream, "[", static_cast<uint32_t>(local.tm_mday), 2, ".");
        writeNumber(stream, "", static_cast<uint32_t>(local.tm_mon + 1), 2, ".");
        writeNumber(stream, "", static_cast<uint32_t>(local.tm_year + 1900), 4, "]");
    }
    const bool micro = logging_settings.showMicroseconds == 1;
    writeNumber(stream, "[", static_cast<uint32_t>(local.tm_hour), 2, ":");
    writeNumber(stream, "", static_cast<uint32_t>(local.tm_min), 2, ":");
    writeNumber(stream, "", static_cast<uint32_t>(local.tm_sec), 2, micro ? ":" : "]");
    if (micro)
        writeNumber(stream, "", static_cast<uint32_t>(now.tv_usec), 6, "]");
}

void __vftracef(FILE* stream, const char* file, const char* function, int line, const char* format,
                va_list arguments)
{
    trace_data_time(stream);
    if (logging_settings.showApplicationName == 1) {
        fputs("[", stream);
        fputs(__application_name, stream);
        fputs("]", stream);
    }
    writeNumber(stream, "[tid:", static_cast<uint32_t>(__get_thread_id()), 0, "]");
    if (logging_settings.showSourceLocation == 1) {
        char number[12];
        __itoa(line, number);
        fputs("[", stream);
        fputs(file, stream);
        fputs(":", stream);
        fputs(function, stream);
        fputs("():", stream);
        fputs(number, stream);
        fputs("]", stream);
    }
    vfprintf(stream, format, arguments);
    fflush(stream);
}

void __log_tracef(const char* file, const char* function, int line, int enabled, const char* format, ...)
{
    if (enabled == 0)
        return;
    va_list arguments;
    va_start(arguments, format);
    pthread_mutex_lock(&log_out_mutex);
    __vftracef(log_out, file, function, line, format, arguments);
    pthread_mutex_unlock(&log_out_mutex);
    va_end(arguments);
}
