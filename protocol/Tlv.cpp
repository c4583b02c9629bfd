#include "protocol/Tlv.h"

#include "LibMisc/CCode/Bytes.h"
#include "LibMisc/CCode/Hex.h"

#include <algorithm>

namespace LibMisc {

namespace {

constexpr uint8_t constructedBit = 0x20;
constexpr uint8_t multiByteTag = 0x1F;
constexpr uint8_t moreTagBytes = 0x80;
constexpr uint8_t longLength = 0x80;
constexpr uint8_t lengthCountBits = 0x1F;
constexpr int maxTagBytes = static_cast<int>(sizeof(unsigned int));

int lengthFieldSize(std::size_t length)
{
    return length < 0x80 ? 1 : 1 + BerTlv::getSizeOfLengthField(length);
}

} // namespace

std::vector<uint8_t> BerTlv::pack(unsigned int key, const uint8_t* value, std::size_t length)
{
    std::vector<uint8_t> out(static_cast<std::size_t>(packLen(key, length, value != nullptr)));
    uint8_t* p = out.data();

    const int tagSize = getSizeOfTagField(key);
    ltools_ullToBytes(p, key, static_cast<std::size_t>(tagSize));
    p += tagSize;

    if (length < 0x80) {
        *p++ = static_cast<uint8_t>(length);
    } else {
        const int count = getSizeOfLengthField(length);
        *p++ = static_cast<uint8_t>(longLength | count);
        ltools_ullToBytes(p, length, static_cast<std::size_t>(count));
        p += count;
    }

    if (value != nullptr)
        std::copy(value, value + length, p);
    return out;
}

std::string BerTlv::getHexString(const uint8_t* bytes, std::size_t count)
{
    std::string text(count * 2, '0');
    for (std::size_t i = 0; i < count; ++i)
        lTools_byteToHexStr(bytes[i], &text[i * 2], 1);
    return text;
}

std::vector<uint8_t> BerTlv::getBytes(const std::string& hex)
{
    std::vector<uint8_t> bytes(hex.size() / 2);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const int high = lTools_hexDigitToInt(hex[i * 2]);
        const int low = lTools_hexDigitToInt(hex[i * 2 + 1]);
        if (high < 0)
            bytes[i] = 0;
        else if (low < 0)
            bytes[i] = static_cast<uint8_t>(high);
        else
            bytes[i] = static_cast<uint8_t>(high << 4 | low);
    }
    return bytes;
}

std::string BerTlv::serialize(const TagTree& tree)
{
    return _serialize(tree.begin());
}

std::string BerTlv::_serialize(TagTree::Iterator it)
{
    std::string text;
    for (; !it.isEnd(); ++it) {
        if (it.hasChildren()) {
            TagTree::Iterator children = it;
            children.up();
            const std::string inner = _serialize(children);
            const std::vector<uint8_t> header = pack(it.key(), nullptr, inner.size() / 2);
            text += getHexString(header.data(), header.size());
            text += inner;
        } else {
            const std::vector<uint8_t> object = pack(it.key(), it.value().data, it.value().size);
            text += getHexString(object.data(), object.size());
        }
    }
    return text;
}

void BerTlv::deserialize(const uint8_t* bytes, std::size_t length, TagTree& tree)
{
    _deserialize(bytes, length, tree, tree.begin(), 0);
}

void BerTlv::deserialize(const std::string& hex, TagTree& tree)
{
    const std::vector<uint8_t> bytes = getBytes(hex);
    deserialize(bytes.data(), bytes.size(), tree);
}

void BerTlv::deserialize(const uint8_t* bytes, std::size_t length, TagTree& tree, const TagTree::Iterator& it)
{
    _deserialize(bytes, length, tree, it, 0);
}

void BerTlv::_deserialize(const uint8_t* bytes, std::size_t length, TagTree& tree, const TagTree::Iterator& it,
                          int depth)
{
    std::size_t pos = 0;
    while (pos < length) {
        const uint8_t first = bytes[pos++];
        const bool constructed = (first & constructedBit) != 0;
        unsigned int key = first;
        if ((first & multiByteTag) == multiByteTag) {
            int tagBytes = 1;
            bool more = true;
            while (more) {
                // A tag running off the input or wider than a key ends decoding.
                if (pos >= length || tagBytes == maxTagBytes)
                    return;
                const uint8_t next = bytes[pos++];
                key = key << 8 | next;
                ++tagBytes;
                more = (next & moreTagBytes) != 0;
            }
        }

        if (pos >= length)
            return;
        const uint8_t lengthByte = bytes[pos++];
        std::size_t valueLength = lengthByte;
        if (lengthByte & longLength) {
            const std::size_t count = lengthByte & lengthCountBits;
            if (count > length - pos)
                return;
            // Saturate just above the remainder: any longer length is cut anyway.
            const std::size_t remaining = length - pos - count;
            valueLength = 0;
            for (std::size_t i = 0; i < count; ++i) {
                valueLength = valueLength << 8 | bytes[pos++];
                if (valueLength > remaining)
                    valueLength = remaining + 1;
            }
        }
        valueLength = std::min(valueLength, length - pos);

        const uint8_t* value = bytes + pos;
        if (constructed && depth < maxDepth) {
            const TagTree::Iterator added = tree.pushBack(it, key, ByteArray());
            _deserialize(value, valueLength, tree, added, depth + 1);
        } else {
            tree.pushBack(it, key, ByteArray(value, valueLength));
        }
        pos += valueLength;
    }
}

int BerTlv::getSizeOfTagField(unsigned int key)
{
    int size = 1;
    while (size < maxTagBytes && (key >> (8 * size)) != 0)
        ++size;
    return size;
}

int BerTlv::getSizeOfLengthField(std::size_t length)
{
    if (length < 0x100)
        return 1;
    if (length < 0x10000)
        return 2;
    if (length < 0x1000000)
        return 3;
    return 4;
}

int BerTlv::packLen(unsigned int key, std::size_t length, bool withValue)
{
    return getSizeOfTagField(key) + lengthFieldSize(length) + (withValue ? static_cast<int>(length) : 0);
}

int BerTlv::getInt(const uint8_t* bytes, std::size_t offset, std::size_t count)
{
    const std::size_t low = std::min<std::size_t>(count, 4);
    return static_cast<int>(static_cast<uint32_t>(ltools_bytesToull(bytes + offset + count - low, low)));
}

} // namespace LibMisc
