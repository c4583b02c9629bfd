#include "LibMisc/CCode/Bytes.h"

void ltools_ullToBytes(uint8_t* out, uint64_t value, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        const size_t fromLowEnd = n - 1 - i;
        out[i] = fromLowEnd < 8 ? static_cast<uint8_t>(value >> (8 * fromLowEnd)) : 0;
    }
}

uint64_t ltools_bytesToull(const uint8_t* in, size_t n)
{
    if (n > 8)
        n = 8;
    uint64_t value = 0;
    for (size_t i = 0; i < n; ++i)
        value = (value << 8) | in[i];
    return value;
}
