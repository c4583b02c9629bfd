#include "LibMisc/Exceptions.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {
class ParseError : public ErrorCodeException {
public:
    ParseError() : ErrorCodeException(7, "bad tag") {}
};
} // namespace

TEST(ErrorCodeException, TextAndCodeReachEveryBase)
{
    try {
        throw ParseError();
    } catch (const IErrorCodeException& e) {
        EXPECT_EQ(e.getCode(), 7);
        EXPECT_STREQ(e.description(), "bad tag");
        EXPECT_STREQ(e.whatTranslated("de"), "bad tag");
        const IBaseException& base = e;
        const std::exception& standard = base;
        EXPECT_STREQ(standard.what(), "bad tag");
    }
}

TEST(IBaseException, CaughtAsStandardException)
{
    struct Expired : IBaseException {
        const char* what() const noexcept override { return "expired"; }
    };
    try {
        throw Expired();
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "expired");
        EXPECT_STREQ(dynamic_cast<const IBaseException&>(e).whatTranslated("en"), "expired");
    }
}
