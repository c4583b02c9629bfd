#include "LibMisc/CCode/Memory.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

// Under AddressSanitizer an impossible allocation must fail like malloc does.
extern "C" const char* __asan_default_options()
{
    return "allocator_may_return_null=1";
}

TEST(Xmalloc, NeverReturnsNull)
{
    for (size_t size : {size_t(0), size_t(1), size_t(4096)}) {
        void* block = xmalloc(size);
        ASSERT_NE(block, nullptr) << size;
        memset(block, 0xAB, size);
        free(block);
    }
}

TEST(XmallocDeathTest, ExhaustionEndsTheProcessWithTheErrorNumber)
{
    EXPECT_EXIT(xmalloc(SIZE_MAX / 2), ::testing::ExitedWithCode(ENOMEM),
                "xmalloc\\(\\): Not enough memory !!!: Cannot allocate memory");
}
