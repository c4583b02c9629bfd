#include "protocol/Tlv.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using LibMisc::BerTlv;
using LibMisc::ByteArray;
using LibMisc::TagTree;
using LibMisc::TreeException;

namespace {

ByteArray bytesOf(const std::string& hex)
{
    const std::vector<uint8_t> bytes = BerTlv::getBytes(hex);
    return ByteArray(bytes.data(), bytes.size());
}

std::string hexOf(const ByteArray& value)
{
    return BerTlv::getHexString(value.data, value.size);
}

std::string reencoded(const std::string& hex)
{
    TagTree tree;
    BerTlv::deserialize(hex, tree);
    return BerTlv::serialize(tree);
}

template <typename F>
void expectTreeError(F action, int code, const std::string& text)
{
    try {
        action();
        FAIL() << "no exception";
    } catch (const TreeException& e) {
        EXPECT_EQ(code, e.getCode());
        EXPECT_EQ(text, e.what());
    }
}

} // namespace

TEST(BerTlvEncode, PrimitiveAndConstructedObjects)
{
    TagTree status;
    status.pushBack(0xC3, bytesOf("00000005"));
    EXPECT_EQ("C30400000005", BerTlv::serialize(status));

    TagTree connection;
    const TagTree::Iterator f2 = connection.pushBack(0xF2, ByteArray());
    connection.pushBack(f2, 0x81, ByteArray(reinterpret_cast<const unsigned char*>("10.0.0.1"), 8));
    connection.pushBack(f2, 0x82, bytesOf("343433"));
    EXPECT_EQ("F20F810831302E302E302E318203343433", BerTlv::serialize(connection));
}

TEST(BerTlvEncode, LengthFieldForms)
{
    const struct {
        std::size_t length;
        const char* header;
    } cases[] = {
        {0, "C100"},           {127, "C17F"},         {128, "C18180"},       {200, "C181C8"},
        {255, "C181FF"},       {256, "C1820100"},     {300, "C182012C"},     {65535, "C182FFFF"},
        {65536, "C183010000"}, {1u << 24, "C18401000000"},
    };
    for (const auto& c : cases) {
        const std::vector<uint8_t> header = BerTlv::pack(0xC1, nullptr, c.length);
        EXPECT_EQ(c.header, BerTlv::getHexString(header.data(), header.size())) << c.length;
        EXPECT_EQ(static_cast<int>(header.size() + c.length), BerTlv::packLen(0xC1, c.length, true)) << c.length;
    }
}

TEST(BerTlvEncode, TwoByteTag)
{
    const uint8_t value[] = {0xAA};
    const std::vector<uint8_t> object = BerTlv::pack(0x9F02, value, 1);
    EXPECT_EQ("9F0201AA", BerTlv::getHexString(object.data(), object.size()));
    EXPECT_EQ(1, BerTlv::getSizeOfTagField(0));
    EXPECT_EQ(3, BerTlv::packLen(0x9F02, 5, false));
}

TEST(BerTlvDecode, BuildsTheTree)
{
    TagTree tree;
    BerTlv::deserialize("F203810131C30100", tree);
    ASSERT_EQ(3u, tree.size());

    TagTree::Iterator it = tree.begin();
    EXPECT_EQ(0xF2u, it.key());
    ASSERT_TRUE(it.hasChildren());
    ++it;
    EXPECT_EQ(0xC3u, it.key());
    EXPECT_EQ("00", hexOf(it.value()));
    EXPECT_TRUE((++it).isEnd());

    const TagTree::Iterator child = tree[0x81];
    ASSERT_FALSE(child.isEnd());
    EXPECT_FALSE(child.isRootLevel());
    EXPECT_EQ("31", hexOf(child.value()));
    EXPECT_TRUE(tree[0x99].isEnd());
    EXPECT_TRUE(tree[0x99].isRootLevel());
}

TEST(BerTlvDecode, IntoNonEmptyTreeAppendsChildrenOfFirstRoot)
{
    TagTree tree;
    tree.pushBack(0xE1, ByteArray());
    BerTlv::deserialize("C10141", tree);
    EXPECT_EQ("E103C10141", BerTlv::serialize(tree));
}

// Every case would read past the input if the header were trusted.
TEST(BerTlvDecode, MalformedInputIsCutOrStopped)
{
    const struct {
        const char* input;
        const char* reencoded;
    } cases[] = {
        {"C1054142", "C1024142"},             // length cut to the remainder
        {"C184FFFFFFFF41", "C10141"},         // huge four-byte length
        {"C18500000000024142", "C1024142"},   // five length bytes
        {"C180C30107", "C100C30107"},         // length byte count 0
        {"C30100C1", "C30100"},               // tag without length
        {"C30100C18201", "C30100"},           // length bytes run off
        {"C301009F", "C30100"},               // two-byte tag runs off
        {"DF818181810100", ""},               // tag wider than a key
        {"9F0102AABB", "9F0102AABB"},         // two-byte tag
        {"DF818101020102", "DF818101020102"}, // four-byte tag
        {"F20105", "F200"},                   // broken child inside
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.reencoded, reencoded(c.input)) << c.input;
}

TEST(BerTlvDecode, DeepNestingIsKeptRawBelowTheDepthLimit)
{
    std::vector<uint8_t> bytes = {0xC1, 0x01, 0x41};
    for (int level = 0; level < 1000; ++level) {
        const std::vector<uint8_t> header = BerTlv::pack(0xE1, nullptr, bytes.size());
        bytes.insert(bytes.begin(), header.begin(), header.end());
    }

    TagTree tree;
    BerTlv::deserialize(bytes.data(), bytes.size(), tree);
    EXPECT_EQ(static_cast<std::size_t>(BerTlv::maxDepth + 1), tree.size());
    EXPECT_EQ(BerTlv::getHexString(bytes.data(), bytes.size()), BerTlv::serialize(tree));
    EXPECT_TRUE(tree[0xC1].isEnd()); // inside the raw value
}

TEST(BerTlvHex, PairsAreReadAsFarAsTheyAreValid)
{
    const struct {
        const char* text;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"00aBFf", {0x00, 0xAB, 0xFF}},
        {"G1", {0x00}},
        {"1G", {0x01}},
        {"123", {0x12}},
        {"", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.bytes, BerTlv::getBytes(c.text)) << c.text;
}

TEST(BerTlvInt, BigEndianLow32Bits)
{
    const uint8_t bytes[] = {0x01, 0x02, 0x03, 0x04, 0x05};
    EXPECT_EQ(0x02030405, BerTlv::getInt(bytes, 0, 5));
    EXPECT_EQ(0x0203, BerTlv::getInt(bytes, 1, 2));
    EXPECT_EQ(0, BerTlv::getInt(bytes, 0, 0));
    const uint8_t minusThree[] = {0xFF, 0xFF, 0xFF, 0xFD};
    EXPECT_EQ(-3, BerTlv::getInt(minusThree, 0, 4));
}

TEST(TagTreeNavigation, UpDownAndErrors)
{
    TagTree tree;
    BerTlv::deserialize("F206810131820132C30100", tree);

    TagTree::Iterator it = tree.begin();
    TagTree::Iterator saved = it;
    it.up();
    EXPECT_EQ(0x81u, it.key());
    ++it;
    EXPECT_EQ(0x82u, it.key());
    EXPECT_EQ(0xF2u, saved.key()); // a copy keeps its own position

    expectTreeError([&] { it.up(); }, 2, "Can't up. It is end point");
    it.down();
    EXPECT_EQ(0xF2u, it.key());
    expectTreeError([&] { it.down(); }, 3, "Can't down. It is root level");

    ++it;
    ++it;
    expectTreeError([&] { it.up(); }, 2, "Can't up. It is end point");
    expectTreeError([&] { (void)it.key(); }, -1, "Element not found");
}

TEST(TagTreeSearch, IteratorSearchesOnlyDescendants)
{
    TagTree tree;
    BerTlv::deserialize("C10131F203810132C30133", tree);
    const TagTree::Iterator f2 = tree[0xF2];

    EXPECT_EQ("32", hexOf(f2[0x81].value()));
    EXPECT_TRUE(f2[0xC1].isEnd());  // a sibling, not a descendant
    EXPECT_FALSE(f2[0xC1].isRootLevel());
    EXPECT_EQ("31", hexOf(tree[0xC1].value()));

    TagTree::Iterator end = tree.end();
    EXPECT_TRUE(end[0x81].isEnd());
}

TEST(TagTreeBuild, PushBackAtEndAppendsToThatLevel)
{
    TagTree tree;
    TagTree::Iterator f2 = tree.pushBack(0xF2, ByteArray());
    TagTree::Iterator child = tree.pushBack(f2, 0x81, bytesOf("31"));
    ++child;
    tree.pushBack(child, 0x82, bytesOf("32"));
    tree.pushBack(tree.end(), 0xC3, bytesOf("00"));

    EXPECT_EQ(4u, tree.size());
    EXPECT_EQ("F206810131820132C30100", BerTlv::serialize(tree));
    tree.clear();
    EXPECT_TRUE(tree.empty());
    EXPECT_EQ("", BerTlv::serialize(tree));
}
