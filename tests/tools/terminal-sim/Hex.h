#pragma once

// Byte vectors written as hexadecimal text in tests; blanks are ignored.

#include "protocol/Tlv.h"

#include <cstdint>
#include <string>
#include <vector>

inline std::vector<uint8_t> hexBytes(const std::string& text)
{
    std::string digits;
    for (char c : text)
        if (c != ' ')
            digits += c;
    return LibMisc::BerTlv::getBytes(digits);
}

inline std::string hexText(const std::vector<uint8_t>& bytes)
{
    return LibMisc::BerTlv::getHexString(bytes.data(), bytes.size());
}

// The same text with the blanks dropped, for comparison with hexText.
inline std::string hexOf(const std::string& text)
{
    return hexText(hexBytes(text));
}
