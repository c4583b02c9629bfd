#include "LibMisc/CCode/Hex.h"

int lTools_hexDigitToInt(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

int lTools_byteToHexStr(uint8_t byte, char* out, int upper)
{
    const char* digits = upper > 0 ? "0123456789ABCDEF" : "0123456789abcdef";
    out[0] = digits[byte >> 4];
    out[1] = digits[byte & 0x0F];
    return 2;
}
