// Runs the real program as a child process in a temporary home.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>

#include <gtest/gtest.h>

namespace {

const QString Program = QStringLiteral(ZOZ_BINARY_DIR "/src/zoz");

class ChildProcess
{
public:
    explicit ChildProcess(bool withLogSwitch)
    {
        QDir().mkpath(dataFolder());
        if (withLogSwitch) {
            QFile switchFile(dataFolder() + QStringLiteral("log.it"));
            switchFile.open(QIODevice::WriteOnly);
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("XDG_CONFIG_HOME"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        process.setProcessEnvironment(env);
        process.setProgram(Program);
        // The page templates the service manager loads at start-up.
        process.setArguments({QStringLiteral("-sr"), QStringLiteral(ZOZ_SOURCE_DIR "/tests/services/style/")});
    }

    ~ChildProcess()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(2000);
        }
    }

    QString dataFolder() const { return home.path() + QStringLiteral("/.zoz/"); }
    QString storeFile() const { return home.path() + QStringLiteral("/.config/Dadidozor DAZ/Radarovaz.ini"); }

    QString logText() const
    {
        const QStringList files = QDir(dataFolder() + QStringLiteral("logs")).entryList({QStringLiteral("log-*.txt")});
        if (files.isEmpty())
            return QString();
        QFile file(dataFolder() + QStringLiteral("logs/") + files.first());
        file.open(QIODevice::ReadOnly);
        return QString::fromUtf8(file.readAll());
    }

    // Polls until the condition holds or the time is up.
    template <typename Condition>
    bool waitFor(Condition condition, int timeoutMs = 10000)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            if (condition())
                return true;
            if (process.state() == QProcess::NotRunning)
                return condition();
            QThread::msleep(20);
        }
        return false;
    }

    void sendSignal(int signalNumber) { ::kill(pid_t(process.processId()), signalNumber); }

    QTemporaryDir home;
    QProcess process;
};

// Each needle must appear after the one before it.
void expectInOrder(const QString &text, const QStringList &needles)
{
    qsizetype from = 0;
    for (const QString &needle : needles) {
        const qsizetype at = text.indexOf(needle, from);
        EXPECT_GE(at, 0) << "missing or out of order: " << needle.toStdString() << "\n" << text.toStdString();
        if (at < 0)
            return;
        from = at + needle.size();
    }
}

} // namespace

TEST(Process, SigtermShutsDownInOrderAndExitsZero)
{
    ChildProcess child(true);
    child.process.start();
    ASSERT_TRUE(child.process.waitForStarted(5000));
    ASSERT_TRUE(child.waitFor([&] { return child.logText().contains(QStringLiteral("finished initialising process.")); }))
        << child.logText().toStdString();

    child.sendSignal(SIGTERM);
    ASSERT_TRUE(child.process.waitForFinished(5000));
    EXPECT_EQ(child.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.process.exitCode(), 0);
    const QByteArray output = child.process.readAllStandardOutput();
    EXPECT_TRUE(output.contains("\nterminate ZOZ\n"));
    // The user learns where the pages are.
    EXPECT_TRUE(output.contains("ZOZ is serving its pages at http://127.0.0.1:")) << output.toStdString();

    expectInOrder(child.logText(), {
                                       QStringLiteral("App::init()"),
                                       QStringLiteral("Settings::Settings()"),
                                       QStringLiteral("version: 5.1.2 for DAB with Audio ("),
                                       QStringLiteral("defaulting to DAB frontend device"),
                                       QStringLiteral("creating ServiceManager.."),
                                       QStringLiteral("ServiceManager::ServiceManager()"),
                                       QStringLiteral("ServiceManager::init()"),
                                       QStringLiteral("starting receiver.."),
                                       QStringLiteral("Receiver::init()"),
                                       QStringLiteral("finished initialising process."),
                                       QStringLiteral("App::~App()"),
                                       QStringLiteral("stopping service manager.."),
                                       QStringLiteral("ServiceManager::~ServiceManager()"),
                                       QStringLiteral("ServiceManagerPrivate::run() -> leaving thread"),
                                       QStringLiteral("cleaning up service list"),
                                       QStringLiteral("shutting down HTTP server.."),
                                       QStringLiteral("shutting down receiver.."),
                                       QStringLiteral("Receiver::~Receiver()"),
                                       QStringLiteral("clearing disposables list.."),
                                       QStringLiteral("removing settings instance.."),
                                       QStringLiteral("Settings::~Settings()"),
                                       QStringLiteral("finished shutdown process."),
                                   });
}

TEST(Process, SigintWithoutLogSwitchLeavesNoLogFiles)
{
    ChildProcess child(false);
    child.process.start();
    ASSERT_TRUE(child.process.waitForStarted(5000));
    // The front-end mode is stored during start-up.
    ASSERT_TRUE(child.waitFor([&] { return QFileInfo::exists(child.storeFile()); }));
    QThread::msleep(200);

    child.sendSignal(SIGINT);
    ASSERT_TRUE(child.process.waitForFinished(5000));
    EXPECT_EQ(child.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.process.exitCode(), 0);
    EXPECT_FALSE(QDir(child.dataFolder() + QStringLiteral("logs")).exists());
    EXPECT_FALSE(child.process.readAllStandardOutput().contains("[LOG]"));
}

// Help and version end the start-up before anything else starts; a rejected
// command line is a failed start.
TEST(Process, CommandLineExitCodes)
{
    struct Case
    {
        const char *name;
        QStringList arguments;
        int exitCode;
        QByteArray output;
    };
    const Case cases[] = {
        {"help", {QStringLiteral("-h")}, 0, "--http-port"},
        {"version", {QStringLiteral("--version")}, 0, "5.1.2"},
        {"port not a number", {QStringLiteral("--http-port"), QStringLiteral("0x10")}, 1, ""},
    };
    for (const Case &c : cases) {
        ChildProcess child(false);
        child.process.setArguments(c.arguments);
        child.process.start();
        ASSERT_TRUE(child.process.waitForFinished(10000)) << c.name;
        EXPECT_EQ(child.process.exitCode(), c.exitCode) << c.name;
        EXPECT_TRUE(child.process.readAllStandardOutput().contains(c.output)) << c.name;
        EXPECT_FALSE(QFileInfo::exists(child.storeFile() + QStringLiteral(".lock"))) << c.name;
    }
}
