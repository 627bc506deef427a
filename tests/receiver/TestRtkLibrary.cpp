// Loading the receiver library by name, resolving its 19 functions,
// registering the callbacks in order and unloading it safely.
#include "ZOZRtkLibrary.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

using namespace ZOZ;

class RtkLibraryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_log = m_dir.filePath(QStringLiteral("calls.txt"));
        qputenv("FAKE_RTKDAB_LOG", m_log.toLocal8Bit());
    }

    void TearDown() override
    {
        while (!rtkUnloadLibrary()) {
        }
        qunsetenv("FAKE_RTKDAB_LOG");
    }

    QStringList calls() const
    {
        QFile file(m_log);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    QTemporaryDir m_dir;
    QString m_log;
};

void noFic(uint8_t *, int) {}
void noMsc(uint8_t *, int, uint8_t) {}
void noPacket(uint8_t *, int, uint32_t, uint8_t) {}
void noStreamData(uint8_t *, int) {}

TEST_F(RtkLibraryTest, LoadsResolvesAllAndRegistersCallbacksInOrder)
{
    ASSERT_TRUE(rtkLoadLibrary(QStringLiteral(FAKE_FULL_DIR)));
    EXPECT_TRUE(rtkIsLoaded());
    const RtkFunctions *functions = rtkFunctions();
    ASSERT_NE(functions, nullptr);
    const void *const *targets = reinterpret_cast<const void *const *>(functions);
    for (size_t i = 0; i < sizeof(RtkFunctions) / sizeof(void *); ++i)
        EXPECT_NE(targets[i], nullptr) << RtkFunctionNames[i];

    int32_t result = 0;
    EXPECT_EQ(rtkSetCallbacks(noFic, noMsc, noPacket, noStreamData, &result), 0);
    EXPECT_EQ(result, RTDAB_RESULT_SUCCESS);
    EXPECT_EQ(calls(), (QStringList{"SetFICCallBack", "SetMSCCallBack", "SetPacketCallBack", "SetStreamDataCallBack"}));
}

TEST_F(RtkLibraryTest, AMissingFunctionFailsTheLoad)
{
    EXPECT_FALSE(rtkLoadLibrary(QStringLiteral(FAKE_PARTIAL_DIR)));
    EXPECT_FALSE(rtkIsLoaded());
    EXPECT_EQ(rtkFunctions(), nullptr);
    int32_t result = 1;
    EXPECT_EQ(rtkSetCallbacks(noFic, noMsc, noPacket, noStreamData, &result), 1);
    EXPECT_EQ(result, RTDAB_RESULT_FAILED);
}

TEST_F(RtkLibraryTest, AMissingLibraryFailsTheLoad)
{
    EXPECT_FALSE(rtkLoadLibrary(m_dir.path()));
    EXPECT_FALSE(rtkIsLoaded());
}

TEST_F(RtkLibraryTest, ReferenceCountedAndNeverUnloadedWhileStarted)
{
    ASSERT_TRUE(rtkLoadLibrary(QStringLiteral(FAKE_FULL_DIR)));
    ASSERT_TRUE(rtkLoadLibrary(QStringLiteral(FAKE_FULL_DIR)));
    ASSERT_EQ(rtkFunctions()->openDevice(), RTDAB_RESULT_SUCCESS);
    ASSERT_EQ(rtkStart(), RTDAB_RESULT_SUCCESS);
    EXPECT_TRUE(rtkIsStarted());
    EXPECT_FALSE(rtkUnloadLibrary());  // one reference left
    EXPECT_TRUE(rtkIsLoaded());
    EXPECT_TRUE(rtkUnloadLibrary());
    EXPECT_FALSE(rtkIsLoaded());
    EXPECT_FALSE(rtkIsStarted());
    // The tuner was stopped before the library went.
    EXPECT_EQ(calls(), (QStringList{"OpenDevice", "Start", "Stop"}));
}

TEST_F(RtkLibraryTest, TheRealLibraryLoadsAndAnswersNoDeviceWithoutASource)
{
    qunsetenv("RTKDAB_SOURCE");
    ASSERT_TRUE(rtkLoadLibrary(QStringLiteral(REAL_RTKDAB_DIR)));
    EXPECT_EQ(rtkFunctions()->openDevice(), RTDAB_RESULT_NO_DEVICE);
}

TEST(RtkResultText, NamesEveryResult)
{
    EXPECT_EQ(rtkResultText(0), "failed");
    EXPECT_EQ(rtkResultText(1), "success");
    EXPECT_EQ(rtkResultText(2), "no device found");
    EXPECT_EQ(rtkResultText(3), "unknown");
    EXPECT_EQ(rtkResultText(4), "no such service component");
    EXPECT_EQ(rtkResultText(5), "already selected service component");
    EXPECT_EQ(rtkResultText(-1), "unknown");
}

} // namespace
