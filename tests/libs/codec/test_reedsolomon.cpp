// RS(120,110): corrections up to the code's limits, failures beyond, real data.
#include "RsCodec.h"
#include "RsReference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>

namespace {

class ReedSolomon : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(RsCodec_Init(&rs, 8, 0x11D, 0, 1, 10, 135), 0); }

    std::vector<uint8_t> randomCodeword()
    {
        std::vector<uint8_t> data(110);
        for (auto &b : data)
            b = static_cast<uint8_t>(rng());
        return RsReference::encode(data);
    }
    std::vector<int> distinctPositions(int count)
    {
        std::vector<int> all(120);
        for (int i = 0; i < 120; ++i)
            all[i] = i;
        std::shuffle(all.begin(), all.end(), rng);
        return {all.begin(), all.begin() + count};
    }
    void corrupt(std::vector<uint8_t> &word, const std::vector<int> &positions)
    {
        for (int p : positions)
            word[p] ^= static_cast<uint8_t>(1 + rng() % 255);
    }

    RsCodecContext rs;
    std::mt19937 rng{2024};
};

TEST_F(ReedSolomon, ParametersOfTheDabPlusCode)
{
    EXPECT_EQ(rs.codewordLength, 120u);
    EXPECT_EQ(rs.dataSymbols, 110u);
    EXPECT_EQ(rs.correctable, 5u);
    EXPECT_EQ(rs.fieldPolynomial, 0x1Du);
    for (int i = 0; i + 1 < 255; ++i)
        ASSERT_EQ(rs.antilog[i + 1], RsReference::multiply(rs.antilog[i], 2));
    RsCodecContext bad;
    EXPECT_EQ(RsCodec_Init(&bad, 9, 0x211, 0, 1, 10, 0), -1);
    EXPECT_EQ(RsCodec_Init(&bad, 8, 0x11D, 0, 1, 257, 0), -1);
    EXPECT_EQ(RsCodec_Init(&bad, 8, 0x11D, 0, 1, 10, 245), -1) << "no data symbol left";
}

TEST_F(ReedSolomon, ErrorFreeWordIsLeftAlone)
{
    std::vector<uint8_t> word = randomCodeword();
    const std::vector<uint8_t> original = word;
    EXPECT_EQ(RsCodec_Decode(&rs, word.data(), nullptr, 0), 0);
    EXPECT_EQ(word, original);
    // With fcr 0 the first syndrome is the XOR of all symbols: one flipped byte breaks it.
    word[60] ^= 0x40;
    EXPECT_EQ(RsCodec_Decode(&rs, word.data(), nullptr, 0), 1);
    EXPECT_EQ(word, original);
}

TEST_F(ReedSolomon, CorrectsUpToFiveErrorsAnywhere)
{
    for (int errors = 1; errors <= 5; ++errors) {
        for (int round = 0; round < 300; ++round) {
            std::vector<uint8_t> word = randomCodeword();
            const std::vector<uint8_t> original = word;
            corrupt(word, distinctPositions(errors));
            ASSERT_EQ(RsCodec_Decode(&rs, word.data(), nullptr, 0), errors) << "round " << round;
            ASSERT_EQ(word, original);
        }
    }
    // The ends of the word: first data byte, last data byte, parity.
    std::vector<uint8_t> word = randomCodeword();
    const std::vector<uint8_t> original = word;
    corrupt(word, {0, 1, 109, 110, 119});
    EXPECT_EQ(RsCodec_Decode(&rs, word.data(), nullptr, 0), 5);
    EXPECT_EQ(word, original);
}

TEST_F(ReedSolomon, CorrectsErasuresAndMixes)
{
    struct Mix {
        int errors, erasures;
    };
    for (const Mix mix : {Mix{0, 10}, Mix{0, 1}, Mix{1, 8}, Mix{2, 6}, Mix{4, 2}, Mix{3, 4}}) {
        for (int round = 0; round < 200; ++round) {
            std::vector<uint8_t> word = randomCodeword();
            const std::vector<uint8_t> original = word;
            const std::vector<int> positions = distinctPositions(mix.errors + mix.erasures);
            corrupt(word, positions);
            const std::vector<int> erasures(positions.begin() + mix.errors, positions.end());
            const int result = RsCodec_Decode(&rs, word.data(), erasures.data(), static_cast<int>(erasures.size()));
            ASSERT_EQ(result, mix.errors + mix.erasures) << mix.errors << " errors, " << mix.erasures << " erasures";
            ASSERT_EQ(word, original);
        }
    }
    std::vector<uint8_t> word = randomCodeword();
    const int outside[1] = {120};
    word[3] ^= 1;
    EXPECT_EQ(RsCodec_Decode(&rs, word.data(), outside, 1), -1);
    int eleven[11] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    EXPECT_EQ(RsCodec_Decode(&rs, word.data(), eleven, 11), -1);
}

TEST_F(ReedSolomon, BeyondTheLimitIsReportedOrYieldsAnotherCodeword)
{
    int reported = 0;
    const int rounds = 500;
    for (int errors : {6, 8, 20}) {
        for (int round = 0; round < rounds; ++round) {
            std::vector<uint8_t> word = randomCodeword();
            corrupt(word, distinctPositions(errors));
            const std::vector<uint8_t> received = word;
            const int result = RsCodec_Decode(&rs, word.data(), nullptr, 0);
            if (result < 0) {
                ASSERT_EQ(word, received) << "an uncorrectable word stays as received";
                ++reported;
            } else {
                // A bounded-distance decoder may land on another codeword, never on a non-codeword.
                ASSERT_TRUE(RsReference::isCodeword(word));
                ASSERT_LE(result, 5);
            }
        }
    }
    EXPECT_GT(reported, 3 * rounds * 95 / 100);
    // Six errors plus erasures past the parity budget.
    std::vector<uint8_t> word = randomCodeword();
    const std::vector<int> positions = distinctPositions(8);
    corrupt(word, positions);
    const std::vector<uint8_t> received = word;
    const std::vector<int> erasures(positions.begin() + 5, positions.end());
    const int result = RsCodec_Decode(&rs, word.data(), erasures.data(), 3);
    EXPECT_TRUE(result == -1 || RsReference::isCodeword(word));
}

// The recorded word is said to hold 5 byte errors. Its error locator does have degree
// 5 with 5 roots, but two of them (polynomial positions 147 and 160) lie in the zero
// padding of the shortened code: no RS(120,110) codeword is within 5 symbols of it.
// A decoder that ignored those two roots would "correct" 3 bytes into a word that is
// still no codeword, so it must be refused and left as received.
TEST_F(ReedSolomon, RecordedCodewordWithErrorsInThePaddingIsRefused)
{
    FILE *file = std::fopen(ZOZ_TESTDATA_DIR "/rs-120-110-codeword.bin", "rb");
    if (!file)
        GTEST_SKIP() << "test recordings not found in " ZOZ_TESTDATA_DIR;
    std::vector<uint8_t> word(120);
    ASSERT_EQ(std::fread(word.data(), 1, 120, file), 120u);
    std::fclose(file);
    EXPECT_FALSE(RsReference::isCodeword(word));
    const std::vector<uint8_t> received = word;
    EXPECT_EQ(RsCodec_Decode(&rs, word.data(), nullptr, 0), -1);
    EXPECT_EQ(word, received);
}

} // namespace
