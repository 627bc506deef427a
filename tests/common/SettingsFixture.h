#pragma once

#include "TestEnvironment.h"

#include "base/ZOZLog.h"
#include "settings/ZOZSettings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

namespace ZOZTest {

// Starts a log in `home` whose switch file turns every source id on, and
// installs it as the instance. Call it inside ASSERT_NO_FATAL_FAILURE.
inline void startFullLog(const TemporaryHome &home, std::unique_ptr<ZOZ::Log> &log)
{
    QDir().mkpath(home.dataFolder());
    QFile switchFile(home.dataFolder() + QStringLiteral("log.it"));
    ASSERT_TRUE(switchFile.open(QIODevice::WriteOnly));
    switchFile.close();
    ::testing::internal::CaptureStdout();
    log = std::make_unique<ZOZ::Log>(home.dataFolder());
    ::testing::internal::GetCapturedStdout();
    ZOZ::Log::setInstance(log.get());
}

// Settings in a temporary home, headless, with a log file of every source id
// and a working folder of its own for configuration files.
class SettingsFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(startFullLog(home, log));
        m_previous = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(work.path()));
        settings = ZOZ::Settings::create();
        settings->setHasGraphicalUI(false);
    }

    void TearDown() override
    {
        ZOZ::Settings::destroy();
        ZOZ::Log::setInstance(nullptr);
        log.reset();
        QDir::setCurrent(m_previous);
    }

    QString logText() const
    {
        QFile file(log->currentFileName());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    // Writes the configuration file with the given modification time offset
    // (seconds from a fixed point), so that a re-parse sees a change.
    QString writeConfig(const QByteArray &content, int stamp = 0, const QString &name = QStringLiteral("zoz.cfg"))
    {
        const QString path = work.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        file.flush();
        file.setFileTime(QDateTime::fromSecsSinceEpoch(1700000000 + stamp), QFileDevice::FileModificationTime);
        file.close();
        return path;
    }

    TemporaryHome home;
    QTemporaryDir work;
    std::unique_ptr<ZOZ::Log> log;
    ZOZ::Settings *settings = nullptr;

private:
    QString m_previous;
};

} // namespace ZOZTest
