#include "TestEnvironment.h"

#include "base/ZOZLog.h"
#include "settings/ZOZSettings.h"
#include "base/ZOZVersion.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <thread>

#include <gtest/gtest.h>

using namespace ZOZ;

namespace {

void writeSwitchFile(const TemporaryHome &home, const QByteArray &content)
{
    QDir().mkpath(home.dataFolder());
    QFile file(home.dataFolder() + QStringLiteral("log.it"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QString fileText(const QString &name)
{
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

void logLine(Log &log, quint32 flags, const QString &text)
{
    const int line = 42;
    log.write("src/x/ZOZThing.cpp", &line, flags, text);
}

} // namespace

TEST(Log, WithoutSwitchFileNothingIsWrittenToDisk)
{
    TemporaryHome home;
    QDir().mkpath(home.dataFolder());
    testing::internal::CaptureStdout();
    {
        Log log(home.dataFolder());
        EXPECT_FALSE(log.isEnabled());
        EXPECT_FALSE(log.isWritingFile());
        logLine(log, 0, QStringLiteral("hello"));
        log.openNewFile();
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_FALSE(QDir(home.dataFolder() + QStringLiteral("logs")).exists());
}

TEST(Log, SwitchFileTagsSelectSourceIds)
{
    const struct
    {
        const char *content;
        QVector<int> ids;
    } rows[] = {
        {"", {}},
        {"nothing we know\n", {}},
        {" Receiver \n", {7, 8, 9, 10, 11}},
        {"gui\n", {29, 30}},
        {"app\r\nhttp", {0, 12, 27, 4, 5}},
        {"util\nutil\n", {2, 26, 28, 2, 26, 28}},
    };
    for (const auto &row : rows) {
        TemporaryHome home;
        writeSwitchFile(home, row.content);
        testing::internal::CaptureStdout();
        Log log(home.dataFolder());
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_TRUE(log.isEnabled());
        EXPECT_EQ(log.enabledIds(), row.ids) << row.content;
        EXPECT_NE(out.find("[LOG] log.it File exists"), std::string::npos);
        EXPECT_NE(out.find("[LOG] create new logfile"), std::string::npos);
    }
}

TEST(Log, FileLinesFollowFlagsAndFilter)
{
    TemporaryHome home;
    writeSwitchFile(home, "http\n");
    testing::internal::CaptureStdout();
    Log log(home.dataFolder());
    ASSERT_TRUE(log.isWritingFile());
    logLine(log, LogSource::HttpServer, QStringLiteral("plain http"));
    logLine(log, LogSource::Settings | LogFlag::Notice, QStringLiteral("settings are filtered out"));
    logLine(log, LogFlag::ConsoleLine | LogSource::HttpServer, QStringLiteral("console only"));
    logLine(log, LogFlag::ConsoleText | LogSource::HttpServer, QStringLiteral("console text only"));
    logLine(log, LogFlag::ConsoleLine | LogFlag::Notice | LogSource::HttpClient, QStringLiteral("both"));
    logLine(log, LogFlag::MessageBox | LogFlag::FatalBox | LogSource::HttpServer, QString());
    const std::string out = testing::internal::GetCapturedStdout();

    EXPECT_NE(out.find("console only\nconsole text onlyboth\n"), std::string::npos) << out;
    const QString text = fileText(log.currentFileName());
    EXPECT_TRUE(text.startsWith(QLatin1Char('/')));
    EXPECT_TRUE(text.contains(QStringLiteral("(src/x/ZOZThing.cpp:42): plain http\n\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("): both\n\n")));
    EXPECT_FALSE(text.contains(QStringLiteral("filtered out")));
    EXPECT_FALSE(text.contains(QStringLiteral("console")));
    static const QRegularExpression stamp(
        QStringLiteral("\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d,\\d{3}\\]\\(src/x/ZOZThing\\.cpp:42\\): plain http"));
    EXPECT_TRUE(stamp.match(text).hasMatch()) << text.toStdString();
}

TEST(Log, NewFileStartsWithBanner)
{
    TemporaryHome home;
    writeSwitchFile(home, "");
    testing::internal::CaptureStdout();
    Log log(home.dataFolder());
    testing::internal::GetCapturedStdout();
    const QByteArray banner = log.buildBanner();
    const QList<QByteArray> lines = banner.split('\n');
    ASSERT_EQ(lines.size(), 12); // ten lines and the empty rest after the last CR LF
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(lines[i].size(), 71) << lines[i].toStdString(); // 70 characters and the CR
    EXPECT_TRUE(lines[0].startsWith("/****"));
    EXPECT_TRUE(lines[10].startsWith("****") && lines[10].endsWith("*/\r"));
    EXPECT_TRUE(lines[4].startsWith(QByteArray("*  Version       : ") + versionString() + "  "));
    EXPECT_EQ(Log::bannerRow("  Receiver", "DAB"), QByteArray("*  Receiver      : DAB").leftJustified(69, ' ') + "*\r\n");
    EXPECT_TRUE(fileText(log.currentFileName()).toUtf8().startsWith(banner));
}

TEST(Log, BoxWithoutGuiBecomesPlainConsoleText)
{
    TemporaryHome home;
    Log log(home.dataFolder());
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    logLine(log, LogFlag::FatalBox, QStringLiteral("first<br/><b>second</b>"));
    logLine(log, LogFlag::MessageBox, QStringLiteral("just <i>info</i>"));
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "\nDAB Radarovaz v" + std::string(versionString()) + "\n\nfirst\nsecond\n");
    EXPECT_EQ(out, "\njust info\n");
}

TEST(Log, HelpTextNamesTheSwitchFile)
{
    TemporaryHome home;
    Log log(home.dataFolder());
    const QString help = log.helpText();
    EXPECT_TRUE(help.contains(QStringLiteral("('%1log.it')").arg(home.dataFolder())));
    EXPECT_TRUE(help.contains(QStringLiteral("\n  receiver    Receiver related log entries\n")));
    EXPECT_TRUE(help.endsWith(QStringLiteral("  gui-audio   Local audio playback related logs\n")));
}

TEST(Log, BoxFromWorkerThreadIsShownOnMainThread)
{
    TemporaryHome home;
    Settings *settings = Settings::create();
    ASSERT_NE(settings, nullptr);
    settings->setHasGraphicalUI(true);

    struct Shown
    {
        Log::BoxType type;
        QString title;
        QString text;
        QThread *thread;
    };
    QVector<Shown> shown;
    Log::setBoxPresenter([&shown](Log::BoxType type, const QString &title, const QString &text) {
        shown.append({type, title, text, QThread::currentThread()});
    });

    Log log(home.dataFolder());
    std::thread worker([&log] {
        logLine(log, LogFlag::FatalBox, QStringLiteral("from worker"));
        logLine(log, LogFlag::MessageBox | LogFlag::Warning, QStringLiteral("warned"));
    });
    worker.join();
    EXPECT_TRUE(shown.isEmpty()); // the worker did not show anything itself
    QCoreApplication::processEvents();
    logLine(log, LogFlag::MessageBox, QStringLiteral("main"));

    Log::setBoxPresenter({});
    Settings::destroy();

    ASSERT_EQ(shown.size(), 3);
    EXPECT_EQ(shown[0].type, Log::BoxType::Critical);
    EXPECT_EQ(shown[0].title.toStdString(), "DAB Radarovaz - Application Error");
    EXPECT_EQ(shown[0].text.toStdString(), "from worker");
    EXPECT_EQ(shown[1].type, Log::BoxType::Warning);
    EXPECT_EQ(shown[1].title.toStdString(), "DAB Radarovaz - Application Warning");
    EXPECT_EQ(shown[2].type, Log::BoxType::Information);
    for (const Shown &box : shown)
        EXPECT_EQ(box.thread, QCoreApplication::instance()->thread());
}
