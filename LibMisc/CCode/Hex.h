#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// 0..15 for a hexadecimal digit of either case, -1 for any other character.
int lTools_hexDigitToInt(char c);

// Writes the two digits of `byte` into `out` (no terminator); uppercase when
// `upper` > 0. Returns 2.
int lTools_byteToHexStr(uint8_t byte, char* out, int upper);

#ifdef __cplusplus
}
#endif
