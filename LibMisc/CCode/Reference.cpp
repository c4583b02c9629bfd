#include "LibMisc/CCode/Reference.h"

#include <time.h>

#include <mutex>

uint64_t make_refference(void)
{
    static std::mutex counterLock;
    static uint32_t counter = 0;
    std::lock_guard<std::mutex> guard(counterLock);
    const uint64_t seconds = static_cast<uint64_t>(::time(nullptr));
    const uint64_t high = static_cast<uint32_t>(++counter ^ static_cast<uint32_t>(seconds >> 32));
    return (high << 32) | (seconds & 0xFFFFFFFFu);
}
