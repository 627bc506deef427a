// The main window: the navigation decision and the window's small rules as
// tables, then the real window on an X server (Xvfb) over the real program.
#include "ZOZApp.h"
#include "ZOZReceiver.h"
#include "ZOZServiceManager.h"
#include "ZOZWebPage.h"
#include "ZOZWebView.h"
#include "base/ZOZPaths.h"
#include "settings/ZOZSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QPointer>
#include <QImage>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWheelEvent>

#include <unistd.h>

#include <gtest/gtest.h>

namespace {

using ZOZ::LinkDecision;
using Action = LinkDecision::Action;

const QUrl ServerRoot(QStringLiteral("http://127.0.0.1:4242"));

TEST(WebPageLinks, DecisionTable)
{
    const struct
    {
        const char *name;
        const char *url;
        Action action;
        const char *target; // what reaches the desktop
    } rows[] = {
        {"local page", "http://127.0.0.1:4242/?selection", Action::Follow, ""},
        {"local root without path", "http://127.0.0.1:4242", Action::Follow, ""},
        {"local service page", "http://127.0.0.1:4242/1-2-3-/index.html?x=1", Action::Follow, ""},
        {"same host, other port", "http://127.0.0.1:4243/", Action::Hand, "http://127.0.0.1:4243/"},
        {"same host, default port", "http://127.0.0.1/", Action::Hand, "http://127.0.0.1/"},
        {"local server named localhost", "http://localhost:4242/", Action::Hand, "http://localhost:4242/"},
        {"other host", "https://example.org/news?a=b", Action::Hand, "https://example.org/news?a=b"},
        {"https on the server's port", "https://127.0.0.1:4242/", Action::Hand, "https://127.0.0.1:4242/"},
        {"local PDF in capitals", "http://127.0.0.1:4242/doc.PDF", Action::Hand, "http://127.0.0.1:4242/doc.PDF"},
        {"local GRIB file", "http://127.0.0.1:4242/wx.grb?t=1", Action::Hand, "http://127.0.0.1:4242/wx.grb?t=1"},
        {"local map file", "http://127.0.0.1:4242/map.kmz", Action::Hand, "http://127.0.0.1:4242/map.kmz"},
        {"quote in a foreign link", "https://example.org/a\"b", Action::Hand, "https://example.org/a%22b"},
        {"tel with two leading zeros", "tel:0049301234", Action::Hand, "tel:+49301234"},
        {"tel starting with another digit", "tel:49301234", Action::Hand, "tel:+49301234"},
        {"callto with plus", "callto:+49301234", Action::Hand, "tel:+49301234"},
        {"tel with blanks around", "tel:%20030%20", Action::Hand, "tel:+30"},
        {"tel without number", "tel:", Action::Drop, ""},
        {"mail", "mailto:someone@example.org", Action::Hand, "mailto:someone@example.org"},
        {"about:blank", "about:blank", Action::Drop, ""},
        {"local file", "file:///etc/passwd", Action::Drop, ""},
        {"local PDF file", "file:///tmp/doc.pdf", Action::Drop, ""},
        {"script", "javascript:alert(1)", Action::Drop, ""},
        {"data", "data:text/html,<b>x</b>", Action::Drop, ""},
        {"ftp to the server", "ftp://127.0.0.1:4242/x", Action::Drop, ""},
    };
    for (const auto &row : rows) {
        const LinkDecision decision = ZOZ::decideLink(QUrl(QString::fromUtf8(row.url)), ServerRoot);
        EXPECT_EQ(int(decision.action), int(row.action)) << row.name;
        EXPECT_EQ(QString::fromLatin1(decision.target.toEncoded()), QString::fromUtf8(row.target)) << row.name;
    }
}

TEST(WebPageLinks, InternationalNumbers)
{
    const struct
    {
        const char *number;
        const char *expected;
    } rows[] = {
        {"0049301234", "+49301234"}, {"049301234", "+49301234"}, {"49301234", "+49301234"},
        {"+49301234", "+49301234"},  {"030 1234", "+30 1234"},    {"5", "5"},
        {"abc", "abc"},              {"a12", "+a12"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(ZOZ::internationalNumber(QString::fromLatin1(row.number)), QString::fromLatin1(row.expected))
            << row.number;
}

TEST(WebViewRules, CloseQuestion)
{
    EXPECT_TRUE(ZOZ::WebView::closeQuestion(false, 0).isEmpty());
    EXPECT_TRUE(ZOZ::WebView::closeQuestion(true, 0).startsWith(QStringLiteral("<b>Recording in progress!</b>")));
    EXPECT_TRUE(ZOZ::WebView::closeQuestion(true, 3).startsWith(QStringLiteral("<b>Recording in progress!</b>")));
    EXPECT_TRUE(
        ZOZ::WebView::closeQuestion(false, 1).startsWith(QStringLiteral("<b>There are still scheduled recordings!</b>")));
}

TEST(WebViewRules, WheelZoom)
{
    const struct
    {
        int zoom, delta, expected;
    } rows[] = {
        {100, 240, 120}, {100, 60, 100},  {100, 119, 100}, {100, 120, 110}, {100, -120, 90},
        {100, -60, 100}, {40, -240, 30},  {490, 360, 500}, {100, 0, 100},
    };
    for (const auto &row : rows)
        EXPECT_EQ(ZOZ::WebView::wheelZoom(row.zoom, row.delta), row.expected) << row.zoom << " " << row.delta;
}

TEST(WebViewRules, TrayHintShownOnceInFifteenDays)
{
    const QDateTime now = QDateTime::fromString(QStringLiteral("2026-12-11T10:00:00"), Qt::ISODate);
    EXPECT_TRUE(ZOZ::WebView::isTrayHintDue(false, now, now));
    EXPECT_FALSE(ZOZ::WebView::isTrayHintDue(true, now, now));
    EXPECT_FALSE(ZOZ::WebView::isTrayHintDue(true, now.addDays(-14), now));
    EXPECT_TRUE(ZOZ::WebView::isTrayHintDue(true, now.addDays(-15), now));
    EXPECT_TRUE(ZOZ::WebView::isTrayHintDue(true, QDateTime(), now));
}

// An X server of the test's own, when Xvfb is installed.
class XServer
{
public:
    XServer()
    {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (program.isEmpty())
            return;
        m_process.start(program, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                  QStringLiteral("0"), QStringLiteral("1280x900x24"), QStringLiteral("-nolisten"),
                                  QStringLiteral("tcp")});
        QByteArray number;
        while (!number.endsWith('\n') && m_process.waitForReadyRead(30000))
            number += m_process.readAllStandardOutput();
        if (!number.trimmed().isEmpty())
            m_display = QStringLiteral(":") + QString::fromLatin1(number.trimmed());
    }
    ~XServer()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            m_process.waitForFinished(10000);
        }
    }
    QString display() const { return m_display; }

private:
    QProcess m_process;
    QString m_display;
};

bool runScript(ZOZ::WebView *window, const QString &script, QVariant &result)
{
    bool done = false;
    window->page()->runJavaScript(script, [&](const QVariant &value) {
        result = value;
        done = true;
    });
    return QTest::qWaitFor([&] { return done; }, 30000);
}

QString frameSource(ZOZ::WebView *window)
{
    QVariant result;
    runScript(window,
              QStringLiteral("(function () { const f = document.querySelector('iframe');"
                             " return f ? f.contentWindow.location.href : ''; })()"),
              result);
    return result.toString();
}

// One test: the web engine starts once per process.
TEST(WebViewWindow, LoadsZoomsAndAsksBeforeClosing)
{
    XServer server;
    if (server.display().isEmpty())
        GTEST_SKIP() << "Xvfb is not installed (apt-get install xvfb): the window needs an X server";

    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("DISPLAY", server.display().toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "xcb");
    // Chromium refuses its sandbox to root.
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.path() + QStringLiteral("/.config"));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, home.path() + QStringLiteral("/.config"));
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);

    // The receiver library is built beside the program, not beside the test.
    ZOZ::Receiver::instance()->setLibraryDirectory(QStringLiteral(RTKDAB_DIRECTORY));
    bool gui = true;
    char name[] = "zoz";
    char *argv[] = {name, nullptr};
    ZOZ::App app(gui, 1, argv);
    ASSERT_EQ(app.init(), ZOZ::App::InitResult::Running);
    ZOZ::WebView *window = app.mainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(ZOZ::WebView::instance(), window);

    // The index page of the local server, with the password of the window.
    bool loaded = false;
    QObject::connect(window, &QWebEngineView::loadFinished, [&loaded](bool ok) { loaded = loaded || ok; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return loaded; }, 60000)) << "the index page did not load";
    const QUrl root(ZOZ::Settings::instance()->httpRootUrl());
    EXPECT_EQ(window->url().host(), root.host());
    EXPECT_EQ(window->url().port(), root.port());
    EXPECT_EQ(window->url().query(), QStringLiteral("isZOZ=") + ZOZ::Settings::instance()->remoteAccessPassword());
    QVariant hasFrame;
    ASSERT_TRUE(runScript(window, QStringLiteral("document.querySelector('iframe') !== null && typeof zoz"), hasFrame));
    EXPECT_EQ(hasFrame.toString(), QStringLiteral("object"));

    // A page request goes through the page's script; the URL stays a string.
    window->loadUrl(QStringLiteral("/?info"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return frameSource(window).endsWith(QStringLiteral("/?info")); }, 30000))
        << frameSource(window).toStdString();
    window->loadUrl(QStringLiteral("/?x'); window.injected = 1; ('\"); window.injected = 1; (\""));
    QVariant injected;
    ASSERT_TRUE(runScript(window, QStringLiteral("typeof window.injected"), injected));
    EXPECT_EQ(injected.toString(), QStringLiteral("undefined"));

    // Ctrl+wheel on the widget that takes the input: a notch is 10 %, less is nothing.
    QWidget *input = window->focusProxy();
    ASSERT_NE(input, nullptr);
    const auto turn = [&](int delta, Qt::KeyboardModifiers modifiers) {
        QWheelEvent wheel(QPointF(100, 100), window->mapToGlobal(QPointF(100, 100)), QPoint(), QPoint(0, delta),
                          Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(input, &wheel);
    };
    ASSERT_EQ(window->zoom(), 100);
    turn(240, Qt::ControlModifier);
    EXPECT_EQ(window->zoom(), 120);
    EXPECT_TRUE(QTest::qWaitFor([&] { return qFuzzyCompare(window->zoomFactor(), 1.2); }, 10000));
    turn(60, Qt::ControlModifier);
    turn(-240, Qt::NoModifier);
    EXPECT_EQ(window->zoom(), 120);
    EXPECT_EQ(QSettings(QLatin1String(ZOZ::Settings::Organisation), QLatin1String(ZOZ::Settings::Application))
                  .value(QStringLiteral("MainWindow/zoom"))
                  .toInt(),
              120);

    // What the window shows, kept for a look.
    window->loadUrl(QStringLiteral("/?selection"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return frameSource(window).endsWith(QStringLiteral("/?selection")); }, 30000));
    const QImage shot = window->grab().toImage();
    const QString shotPath = QStringLiteral(ZOZ_BINARY_DIR "/tests/gui/webview-window.png");
    EXPECT_TRUE(shot.save(shotPath)) << shotPath.toStdString();
    EXPECT_GT(shot.width(), 0);

    // The tray menu: one at a time, current choices marked, values in the status tips.
    window->buildContextMenu();
    QPointer<QMenu> first = window->contextMenu();
    window->buildContextMenu();
    EXPECT_TRUE(first.isNull());
    ASSERT_NE(window->contextMenu(), nullptr);
    const auto entry = [&](const QString &text) -> QAction * {
        const QList<QAction *> actions = window->contextMenu()->findChildren<QAction *>();
        for (QAction *action : actions) {
            if (action->text() == text)
                return action;
        }
        return nullptr;
    };
    QAction *favourites = entry(QStringLiteral("Favourites Only"));
    ASSERT_NE(favourites, nullptr);
    EXPECT_FALSE(favourites->isEnabled());
    EXPECT_EQ(favourites->toolTip(), QStringLiteral("You currently have no favourites"));
    ASSERT_NE(entry(QStringLiteral("Country")), nullptr);
    EXPECT_EQ(entry(QStringLiteral("Country"))->statusTip(), QStringLiteral("4"));
    ZOZ::Settings *settings = ZOZ::Settings::instance();
    settings->setAudioDecoderMode(2);
    ASSERT_NE(entry(QStringLiteral("Cinema")), nullptr);
    entry(QStringLiteral("Cinema"))->trigger();
    EXPECT_EQ(settings->audioDecoderMode(), 1);
    EXPECT_EQ(settings->audioBinauralPreset(), 3);
    window->buildContextMenu();
    entry(QStringLiteral("Off"))->trigger();
    EXPECT_EQ(settings->audioDecoderMode(), 2);
    settings->setHasAudioService(false);
    window->buildContextMenu();
    EXPECT_EQ(entry(QStringLiteral("Off")), nullptr);
    EXPECT_EQ(entry(QStringLiteral("Mute")), nullptr);
    ASSERT_NE(entry(QStringLiteral("Quit Application")), nullptr);
    EXPECT_FALSE(entry(QStringLiteral("Quit Application"))->icon().pixmap(16).isNull());
    settings->setHasAudioService(true);

    // Window shortcuts: Alt+F5 exports the service list, L resets the zoom.
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window, Qt::Key_F5, Qt::AltModifier);
    EXPECT_TRUE(QFileInfo::exists(ZOZ::dataFolder() + QStringLiteral("zoz.ServiceList.csv")));
    QTest::keyClick(window, Qt::Key_L);
    EXPECT_EQ(window->zoom(), 100);
    // In a text field the same key is typed, not taken as a shortcut. The
    // page's open question is modal: the field goes into it.
    input->setFocus();
    QVariant typed;
    ASSERT_TRUE(runScript(window, QStringLiteral("(function () { const i = document.createElement('input');"
                                                 " i.id = 'typing'; (document.querySelector('dialog[open]') || document.body).appendChild(i);"
                                                 " i.focus(); return document.activeElement.id; })()"),
                          typed));
    ASSERT_EQ(typed.toString(), QStringLiteral("typing"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return input->testAttribute(Qt::WA_InputMethodEnabled); }, 30000));
    QTest::keyClick(input, Qt::Key_J);
    EXPECT_TRUE(QTest::qWaitFor([&] {
        runScript(window, QStringLiteral("document.getElementById('typing').value"), typed);
        return typed.toString() == QStringLiteral("j");
    }, 30000)) << typed.toString().toStdString();
    EXPECT_EQ(window->zoom(), 100);
    runScript(window, QStringLiteral("document.getElementById('typing').remove(); 1"), typed);

    // A new page loads the page shown before, the password included.
    const QUrl shown = window->url();
    loaded = false;
    window->clearCache();
    ASSERT_TRUE(QTest::qWaitFor([&] { return loaded; }, 60000)) << "the page did not load again";
    EXPECT_EQ(window->url(), shown);

    // Full screen and back, each time telling how to switch again.
    const auto lastNotice = [&] {
        const QVector<ZOZ::Notification> notes = ZOZ::ServiceManager::existingInstance()->notifications();
        return notes.isEmpty() ? QString() : notes.last().message;
    };
    window->switchFullscreen();
    EXPECT_TRUE(window->isFullScreen());
    EXPECT_TRUE(lastNotice().startsWith(QStringLiteral("<b>Fullscreen mode</b>"))) << lastNotice().toStdString();
    window->switchFullscreen();
    EXPECT_FALSE(window->isFullScreen());
    EXPECT_TRUE(lastNotice().startsWith(QStringLiteral("<b>Window mode</b>"))) << lastNotice().toStdString();

    // Closing while recording asks first; the answer closes without asking again.
    ZOZ::ServiceManager *manager = ZOZ::ServiceManager::existingInstance();
    ASSERT_NE(manager, nullptr);
    bool closing = false;
    QObject::connect(window, &ZOZ::WebView::closing, [&closing] { closing = true; });
    ZOZ::Settings::instance()->setIsAudioRecording(true);
    app.closeApp();
    const QString question = ZOZ::WebView::closeQuestion(true, 0);
    EXPECT_EQ(manager->pendingMessage(), question);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(closing);
    manager->notes().answer(question, true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return closing; }, 30000));
    EXPECT_FALSE(window->isVisible());
    ZOZ::Settings::instance()->setIsAudioRecording(false);
}

} // namespace
