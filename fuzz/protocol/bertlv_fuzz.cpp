// Any bytes decode without fault, and re-encoding is stable: decoding the
// encoding of a tree and encoding again gives the same text.
#include "protocol/Tlv.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    LibMisc::TagTree tree;
    LibMisc::BerTlv::deserialize(data, size, tree);
    const std::string encoded = LibMisc::BerTlv::serialize(tree);

    LibMisc::TagTree again;
    LibMisc::BerTlv::deserialize(encoded, again);
    if (LibMisc::BerTlv::serialize(again) != encoded || again.size() != tree.size())
        __builtin_trap();
    return 0;
}
