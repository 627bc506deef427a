#include "base/ZOZDurationText.h"

#include <gtest/gtest.h>

TEST(DurationText, FormatsHoursMinutesAndSeconds)
{
    const struct
    {
        int seconds;
        const char *expected;
    } rows[] = {
        {0, "0s"},          {59, "59s"},         {60, "1m"},   {90, "1m 30s"},
        {3600, "1h"},       {3661, "1h 1m 1s"},  {7260, "2h 1m"}, {3601, "1h 1s"},
        {-5, "-5s"},        {-3600, "0s"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(ZOZ::durationText(row.seconds).toStdString(), row.expected) << "seconds " << row.seconds;
}
