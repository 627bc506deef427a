#include "DabCrc16.h"
#include "EtiTestReader.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Bit by bit, straight from the polynomial: independent of the table.
uint16_t bitwiseRegister(uint16_t polynomial, uint16_t reg, const uint8_t *data, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        for (int bit = 7; bit >= 0; --bit) {
            const bool in = ((data[i] >> bit) & 1) != ((reg >> 15) & 1);
            reg = static_cast<uint16_t>(reg << 1);
            if (in)
                reg ^= polynomial;
        }
    }
    return reg;
}

} // namespace

TEST(DabCrc16, CheckValues)
{
    const char *digits = "123456789";
    const auto *bytes = reinterpret_cast<const uint8_t *>(digits);
    // CRC-16 with polynomial 0x1021, preset 0xFFFF, complemented: 0xD64E.
    EXPECT_EQ(0xD64E, DAB_Bb_Ruz_Crc16(bytes, 9));
    EXPECT_EQ(1, DAB_Bb_Ruz_Crc16Check(bytes, 9, 0xD64E));
    EXPECT_EQ(0, DAB_Bb_Ruz_Crc16Check(bytes, 9, 0xD64F));
    EXPECT_EQ(0, DAB_Bb_Ruz_Crc16(bytes, 0));
    EXPECT_EQ(0, DAB_Bb_Ruz_Crc16(nullptr, 5));
}

TEST(DabCrc16, TableMatchesBitwiseForAnyPolynomial)
{
    uint8_t data[61];
    for (size_t i = 0; i < sizeof data; ++i)
        data[i] = static_cast<uint8_t>(i * 37 + 11);
    for (uint16_t polynomial : {0x1021, 0x8005, 0x3D65}) {
        SCOPED_TRACE(polynomial);
        EXPECT_EQ(bitwiseRegister(polynomial, 0xFFFF, data, sizeof data),
                  DAB_Bb_Ruz_Crc16Register(polynomial, 0xFFFF, data, sizeof data));
        EXPECT_EQ(bitwiseRegister(polynomial, 0x0000, data, 7), DAB_Bb_Ruz_Crc16Register(polynomial, 0, data, 7));
    }
}

TEST(DabCrc16, RecordedSubChannelCheckValue)
{
    const auto data = ZOZ::Test::readFile(ZOZ::Test::testDataPath("dabplus-au-428.bin"));
    if (data.empty())
        GTEST_SKIP() << "dabplus-au-428.bin not found in " << ZOZ_TESTDATA_DIR;
    ASSERT_EQ(428u, data.size());
    EXPECT_EQ(26751, DAB_Bb_Ruz_Crc16(data.data(), data.size()));
}
