#include <QCoreApplication>

#include <gtest/gtest.h>

// Queued signals and single-shot timers of the receiver need an application object.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
