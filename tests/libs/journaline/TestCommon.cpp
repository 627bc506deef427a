// The mutex, clock and text helpers of the Journaline library.
#include "CommonText.h"
#include "CommonThreads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <set>
#include <string>
#include <thread>

using namespace Common;
using Common::Threads::Mutex;
using Common::Threads::MutexLocker;

TEST(CommonThreads, RecursiveMutexNeedsAsManyUnlocks)
{
    Mutex mutex;
    mutex.lock();
    mutex.lock();
    std::atomic<bool> taken{false};
    std::thread other([&] {
        mutex.lock();
        taken = true;
        mutex.unlock();
    });
    mutex.unlock();
    EXPECT_FALSE(taken.load()) << "still held once";
    mutex.unlock();
    other.join();
    EXPECT_TRUE(taken.load());
    {
        MutexLocker locker(&mutex);
        MutexLocker again(&mutex);
    }
    MutexLocker none(nullptr);
    EXPECT_TRUE(mutex.tryLock(Threads::Wait::DontBlock));
    mutex.unlock();
}

TEST(CommonThreadsDeathTest, UnlockFromAnotherThreadEndsTheProcess)
{
    EXPECT_EXIT(
        {
            Mutex mutex;
            mutex.lock();
            std::thread([&] { mutex.unlock(); }).join();
        },
        testing::ExitedWithCode(1), "trying to unlock a mutex which is locked in another thread!");
}

TEST(CommonText, Clock)
{
    const double now = currentTime();
    EXPECT_NEAR(static_cast<double>(std::time(nullptr)), now, 2.0);
}

TEST(CommonText, DateAndTime)
{
    // 2020-04-16 16:38:01 UTC
    EXPECT_EQ("2020-04-16T16:38:01", dateTimeText(DateTimeParts::DateAndTime, 1587055081, TimeZone::Utc));
    EXPECT_EQ("20200416T163801",
              dateTimeText(DateTimeParts::DateAndTime, 1587055081, TimeZone::Utc, Separators::Without));
    EXPECT_EQ("2020-04-16", dateTimeText(DateTimeParts::DateOnly, 1587055081, TimeZone::Utc));
    EXPECT_EQ("16:38:01", dateTimeText(DateTimeParts::TimeOnly, 1587055081, TimeZone::Utc));
    EXPECT_EQ(19u, dateTimeText().size());
}

TEST(CommonText, Numbers)
{
    EXPECT_EQ("-0042", signedToText(-42, 5, '0'));
    EXPECT_EQ("   42", signedToText(42, 5));
    EXPECT_EQ("-42", signedToText(-42, 2, '0'));
    EXPECT_EQ("007", unsignedToText(7, 3, '0'));
    EXPECT_EQ("  3,14", realToText(3.14159, 2, ",", 6));
    EXPECT_EQ("-50.000000", realToText(-50.0, 6));

    HexFormat lowerWithPrefix;
    lowerWithPrefix.prefix = "0x";
    lowerWithPrefix.lowerCase = true;
    HexFormat zeroFilled;
    zeroFilled.minimumDigits = 4;
    HexFormat even;
    even.padToEven = true;
    HexFormat grouped;
    grouped.suffix = "h";
    grouped.separator = " ";
    grouped.grouped = true;
    struct Row {
        const char *name;
        uint64_t value;
        HexFormat format;
        const char *text;
    } rows[] = {
        {"plain", 0xABC, HexFormat(), "ABC"},
        {"lower with prefix", 0xABC, lowerWithPrefix, "0xabc"},
        {"zero filled", 0x1F, zeroFilled, "001F"},
        {"pad to even", 0xABC, even, "0ABC"},
        {"grouped", 0x12345, grouped, "1 23 45h"},
    };
    for (const Row &row : rows)
        EXPECT_EQ(row.text, hexText(row.value, row.format)) << row.name;

    EXPECT_EQ(31u, textToUnsigned("x1F"));
    EXPECT_EQ(31u, textToUnsigned("0X1f"));
    EXPECT_EQ(31u, textToUnsigned("31"));
    EXPECT_EQ(0u, textToUnsigned(""));
    EXPECT_TRUE(isDigitsOnly(""));
    EXPECT_TRUE(isDigitsOnly("0123"));
    EXPECT_FALSE(isDigitsOnly("12a"));
    EXPECT_EQ(0x6D703461u, fourCharacterCode("mp4a"));
    EXPECT_EQ(0x6162u, fourCharacterCode("ab"));
    EXPECT_EQ("ab", concatenate("a", "b"));
}

TEST(CommonText, LanguageNames)
{
    struct Row {
        const char *code;
        const char *name;
    } rows[] = {
        {"ger", "German"}, {"GER", "German"}, {"deu", "German"}, {"eng", "English"},
        {"slv", "Slovenian"}, {"fre", "French"}, {"fra", "French"}, {"de", ""}, {"germ", ""}, {"", ""},
    };
    for (const Row &row : rows)
        EXPECT_EQ(row.name, languageName(row.code)) << row.code;
    // The published list: 487 records, ordered by their first code, each three letters.
    ASSERT_EQ(487u, languageRecordCount());
    std::set<std::string> firsts;
    for (size_t n = 1; n < languageRecordCount(); ++n)
        EXPECT_LT(std::string(languageRecord(n - 1).first), std::string(languageRecord(n).first)) << n;
}

TEST(CommonText, Coordinates)
{
    std::string out;
    EXPECT_TRUE(coordinateText(-50 * 92000, 15 * 46000 + 23000, out, " ", CoordinateStyle::DegreesMinutesSeconds));
    EXPECT_EQ("50&#176; 00' 0.000\" S, 15&#176; 30' 0.000\" E", out);
    EXPECT_TRUE(coordinateText(-50 * 92000, -46000 / 4, out, "", CoordinateStyle::Decimal));
    EXPECT_EQ("-50.000000,-0.250000", out);
}
