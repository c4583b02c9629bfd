#include "filetransfer/MD5.h"

#include <fstream>
#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

namespace {

struct Vector {
    const char* text;
    const char* digest;
};

// The test suite of RFC 1321, appendix A.5.
const Vector kRfc1321[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

TEST(MD5, AgreesWithTheRfc1321Suite)
{
    hashlib::MD5 md5;
    for (const auto& v : kRfc1321)
        EXPECT_EQ(md5(std::string(v.text)), v.digest) << '"' << v.text << '"';
}

TEST(MD5, FeedingInPiecesAcrossBlockBordersGivesTheSameDigest)
{
    const std::string text = std::string(kRfc1321[6].text) + kRfc1321[5].text; // 142 bytes, three blocks
    const std::string whole = hashlib::MD5()(text);
    for (size_t piece : {1, 3, 63, 64, 65}) {
        hashlib::MD5 md5;
        for (size_t i = 0; i < text.size(); i += piece)
            md5.add(text.data() + i, std::min(piece, text.size() - i));
        EXPECT_EQ(md5.getHash(), whole) << "pieces of " << piece;
    }
}

TEST(MD5, ReadingTheDigestLeavesTheRunningStateAlone)
{
    hashlib::MD5 md5;
    md5.add("message ", 8);
    EXPECT_EQ(md5.getHash(), hashlib::MD5()(std::string("message ")));
    md5.add("digest", 6);
    EXPECT_EQ(md5.getHash(), "f96b697d7cb7938d525a2f31aaf161d0");

    unsigned char raw[hashlib::MD5::kDigestBytes];
    md5.getHash(raw);
    EXPECT_EQ(raw[0], 0xf9);
    EXPECT_EQ(raw[15], 0xd0);
}

TEST(MD5, DigestFileGivesTheEmptyTextForAnEmptyOrMissingFile)
{
    TempDir dir;
    std::ofstream(dir / "empty");
    std::ofstream(dir / "abc") << "abc";
    EXPECT_EQ(hashlib::MD5::digestFile(dir / "empty"), "");
    EXPECT_EQ(hashlib::MD5::digestFile(dir / "missing"), "");
    EXPECT_EQ(hashlib::MD5::digestFile(dir / "abc"), "900150983cd24fb0d6963f7d28e17f72");
}

} // namespace
