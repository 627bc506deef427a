#include "base/ZOZMd5.h"
#include "base/ZOZMd5_tables.h"
#include "base/ZOZStopwatch.h"

#include <cmath>
#include <cstring>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

namespace {

std::string hex(const ZOZ::Md5Digest &digest)
{
    std::string text;
    char pair[3];
    for (uint8_t byte : digest) {
        std::snprintf(pair, sizeof(pair), "%02x", byte);
        text += pair;
    }
    return text;
}

struct Md5Case
{
    const char *input;
    const char *digest;
};

// The test suite of RFC 1321, appendix A.5.
const Md5Case Rfc1321Cases[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

} // namespace

TEST(Md5, Rfc1321VectorsInOneCallAndByteByByte)
{
    for (const Md5Case &row : Rfc1321Cases) {
        const std::string input = row.input;
        ZOZ::Md5Context whole;
        ZOZ::md5Init(&whole);
        ZOZ::md5Update(&whole, reinterpret_cast<const uint8_t *>(input.data()), input.size());
        EXPECT_EQ(hex(ZOZ::md5Final(&whole)), row.digest) << "one call: \"" << input << '"';

        ZOZ::Md5Context bytewise;
        ZOZ::md5Init(&bytewise);
        for (char c : input)
            ZOZ::md5Update(&bytewise, reinterpret_cast<const uint8_t *>(&c), 1);
        const ZOZ::Md5Digest digest = ZOZ::md5Final(&bytewise);
        EXPECT_EQ(hex(digest), row.digest) << "byte by byte: \"" << input << '"';
        EXPECT_EQ(0, std::memcmp(bytewise.digest, digest.data(), 16)) << "kept in the context";
    }
}

TEST(Md5, PaddingAroundTheBlockBorder)
{
    // 55, 56 and 64 bytes put the length field in the same block, the next block, or after a full one.
    const struct
    {
        size_t length;
        const char *digest;
    } rows[] = {
        {55, "ef1772b6dff9a122358552954ad0df65"},
        {56, "3b0c8ac703f828b04c6c197006d17218"},
        {64, "014842d480b571495a4a0363793f7367"},
    };
    for (const auto &row : rows) {
        const std::string input(row.length, 'a');
        ZOZ::Md5Context context;
        ZOZ::md5Init(&context);
        ZOZ::md5Update(&context, reinterpret_cast<const uint8_t *>(input.data()), input.size());
        EXPECT_EQ(hex(ZOZ::md5Final(&context)), row.digest) << row.length << " bytes";
    }
}

TEST(Md5, SineTableFollowsItsFormula)
{
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ(ZOZ::Md5SineTable[i], uint32_t(std::floor(std::fabs(std::sin(i + 1.0)) * 4294967296.0))) << i;
}

TEST(Stopwatch, StoppedWatchReportsZero)
{
    ZOZ::Stopwatch watch;
    EXPECT_TRUE(watch.isNull());
    EXPECT_EQ(watch.elapsedMs(), 0);
    watch.start();
    EXPECT_FALSE(watch.isNull());
    EXPECT_GE(watch.elapsedMs(), 0);
    watch.invalidate();
    EXPECT_TRUE(watch.isNull());
    EXPECT_EQ(watch.elapsedMs(), 0);
}
