#pragma once

// Big-endian packing of integers: every length, number and identifier that
// travels over the serial link goes through these two functions.

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Writes the low `n` bytes of `value` into `out`, most significant first.
// For `n` above 8 the leading bytes are zero.
void ltools_ullToBytes(uint8_t* out, uint64_t value, size_t n);

// The value of the first `n` bytes of `in`, big-endian; `n` above 8 reads 8.
uint64_t ltools_bytesToull(const uint8_t* in, size_t n);

#ifdef __cplusplus
}
#endif
