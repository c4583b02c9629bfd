#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// A new 64-bit reference: low 32 bits are the current time in seconds, high 32
// bits a process-wide call counter XOR-ed with the high bits of those seconds.
// No two calls of one run return the same number while the counter does not wrap.
uint64_t make_refference(void);

#ifdef __cplusplus
}
#endif
