#pragma once

#include "LibMisc/ByteArray.h"
#include "protocol/TreeStructure.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace LibMisc {

using TagTree = Tree<unsigned int, ByteArray, TreeException>;

// BER-TLV subset: tags of one or more bytes, definite lengths of up to four
// length bytes, primitive and constructed data objects. Encodings are made
// as upper-case hexadecimal text.
class BerTlv {
public:
    // Constructed data objects nested deeper than this are kept as primitive
    // elements holding their raw value, so hostile input cannot exhaust the stack.
    static constexpr int maxDepth = 16;

    // Tag and length, then the value bytes when `value` is not null.
    static std::vector<uint8_t> pack(unsigned int key, const uint8_t* value, std::size_t length);

    static std::string getHexString(const uint8_t* bytes, std::size_t count);
    // Two characters per byte; a pair that is not hexadecimal yields the
    // value of its valid prefix. A trailing odd character is ignored.
    static std::vector<uint8_t> getBytes(const std::string& hex);

    static std::string serialize(const TagTree& tree);
    // The elements from the iterator's position to the end of its level.
    static std::string _serialize(TagTree::Iterator it);

    // Malformed input never throws: lengths are cut to the input and decoding
    // stops at a header that does not fit.
    static void deserialize(const uint8_t* bytes, std::size_t length, TagTree& tree);
    static void deserialize(const std::string& hex, TagTree& tree);
    static void deserialize(const uint8_t* bytes, std::size_t length, TagTree& tree, const TagTree::Iterator& it);

    static int getSizeOfTagField(unsigned int key);
    // Bytes needed for the number itself: 1 below 256, 2 below 65536, ...
    static int getSizeOfLengthField(std::size_t length);
    // Size of the whole encoding of one data object.
    static int packLen(unsigned int key, std::size_t length, bool withValue);
    // `count` bytes from `offset`, big-endian; the low 32 bits when longer.
    static int getInt(const uint8_t* bytes, std::size_t offset, std::size_t count);

private:
    static void _deserialize(const uint8_t* bytes, std::size_t length, TagTree& tree, const TagTree::Iterator& it,
                             int depth);
};

} // namespace LibMisc
