// Parses arbitrary text; only the documented number conversion errors may
// leave Load, and every value it returns must copy cleanly.
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <stdexcept>
#include <string>

#include "LibMisc/json.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Syntax errors are reported on std::cerr; keep the run quiet.
    std::cerr.setstate(std::ios::badbit);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        const json::JSON value = json::JSON::Load(std::string(reinterpret_cast<const char*>(data), size));
        json::JSON copy = value;
        if (copy.kind() != value.kind() || copy.size() != value.size())
            __builtin_trap();
        if (copy.hasMember("confirmation_timeout") && copy["confirmation_timeout"].kind() == json::JSON::IntegerValue)
            (void)copy["confirmation_timeout"].integerValue();
    } catch (const std::invalid_argument&) {
    } catch (const std::out_of_range&) {
    }
    return 0;
}
