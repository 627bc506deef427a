#include "base/ZOZThreadName.h"

#include <pthread.h>

#include <string>
#include <thread>

#include <gtest/gtest.h>

static std::string currentName()
{
    char name[32] = {};
    pthread_getname_np(pthread_self(), name, sizeof(name));
    return name;
}

TEST(ThreadName, NamesTheCallingThreadAndCutsLongNames)
{
    std::string first, second;
    std::thread worker([&] {
        ZOZ::setThreadName("ServiceManager");
        first = currentName();
        ZOZ::setThreadName("AVeryLongThreadNameIndeed");
        second = currentName();
    });
    worker.join();
    EXPECT_EQ(first, "ServiceManager");
    EXPECT_EQ(second, "AVeryLongThread");
}
