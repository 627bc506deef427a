// The pause of a thread that works in rounds: rounds go on until stop, and
// stop ends a long wait at once.
#include "base/ZOZThreadRounds.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using ZOZ::ThreadRounds;

TEST(ThreadRounds, RoundsGoOnUntilStopped)
{
    ThreadRounds rounds;
    EXPECT_TRUE(rounds.waitNextRound(1));
    EXPECT_TRUE(rounds.waitNextRound(0));
    rounds.stop();
    EXPECT_FALSE(rounds.waitNextRound(1));
}

TEST(ThreadRounds, StopEndsAWaitOfAnyLength)
{
    ThreadRounds rounds;
    std::atomic<int> completed {0};
    std::thread worker([&] {
        // A period far longer than any test: only stop() ends it.
        while (rounds.waitNextRound(24ul * 3600 * 1000))
            ++completed;
    });
    rounds.stop();
    worker.join();
    EXPECT_EQ(completed.load(), 0);
}
