// The application object in this process, headless, in a temporary home.
#include "TestObjects.h"
#include "ZOZApp.h"
#include "base/ZOZLog.h"
#include "base/ZOZPointer.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <thread>

#include <gtest/gtest.h>

TEST(App, TimersRunDeferredCallsAndCloseApp)
{
    QTemporaryDir home;
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, home.path() + QStringLiteral("/.config"));

    PingTarget target;
    bool deleted = false;
    int exitCode = -1;
    {
        bool gui = false;
        char name[] = "zoz";
        // The page templates the service manager loads at start-up.
        char styleOption[] = "-sr";
        QByteArray styleRoot = QByteArray(ZOZ_SOURCE_DIR "/tests/services/style/");
        char *argv[] = {name, styleOption, styleRoot.data(), nullptr};
        ZOZ::App app(gui, 3, argv);
        ASSERT_EQ(app.init(), ZOZ::App::InitResult::Running);
        EXPECT_EQ(app.processArguments(),
                  (QStringList{QStringLiteral("zoz"), QStringLiteral("-sr"), QString::fromUtf8(styleRoot)}));
        ASSERT_NE(ZOZ::Settings::instance(), nullptr);
        EXPECT_FALSE(ZOZ::Settings::instance()->hasGraphicalUI());
        EXPECT_EQ(ZOZ::Settings::instance()->frontEndMode(), ZOZ::Settings::ModeDab);

        std::thread worker([&] {
            ZOZ::App::queueInvoke({&target, QByteArray(SLOT(ping())), 0});
            ZOZ::App::addDisposable(new TrackedObject(&deleted));
        });
        worker.join();
        // The flush timer runs the call; closeApp() ends the loop afterwards.
        QTimer::singleShot(400, &app, [] { ZOZ::App::queueInvoke({ZOZ::App::instance(), QByteArray(SLOT(closeApp())), 0}); });
        exitCode = app.exec();
        EXPECT_FALSE(deleted); // the 3 s disposables check did not run yet
    }
    EXPECT_EQ(exitCode, 0);
    ASSERT_EQ(target.threads.size(), 1);
    EXPECT_EQ(target.threads[0], QThread::currentThread());
    EXPECT_TRUE(deleted); // released at shutdown
    EXPECT_EQ(ZOZ::Settings::instance(), nullptr);
    EXPECT_EQ(ZOZ::Log::instance(), nullptr);
    EXPECT_EQ(ZOZ::App::instance(), nullptr);
    qputenv("HOME", oldHome);
}

