#include "ZOZWebView.h"

#include "ZOZApp.h"
#include "ZOZPageHost.h"
#include "ZOZServiceManager.h"
#include "ZOZWebPage.h"
#include "base/ZOZLog.h"
#include "settings/ZOZSettings.h"
#include "web/ZOZResourcePath.h"
#include "web/ZOZWebText.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QUrlQuery>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWheelEvent>

#include <algorithm>

namespace ZOZ {

namespace {

constexpr quint32 LogGui = LogSource::WebView;
constexpr int DefaultWidth = 860;
constexpr int DefaultHeight = 720;
constexpr int MinimizeDelayMs = 250;
constexpr int TrayTimerExtraMs = 100;
constexpr int TrayHintTimeoutMs = 15000;
constexpr int TrayHintRepeatDays = 15;

const char GeometryKey[] = "MainWindow/geometry";
const char ZoomKey[] = "MainWindow/zoom";
const char TrayInfoShownKey[] = "MainWindow/trayInfoShown";
const char TrayInfoShownLastKey[] = "MainWindow/trayInfoShownLast";

WebView *s_instance = nullptr;

QSettings store()
{
    return QSettings(QLatin1String(Settings::Organisation), QLatin1String(Settings::Application));
}

QString noServiceToolTip()
{
    return QCoreApplication::translate("General", "No service selected");
}

} // namespace

WebView::WebView(const WebViewParts &parts)
    : QWebEngineView(static_cast<QWidget *>(nullptr))
    , m_parts(parts)
{
    ZOZ_LOG(LogGui, QStringLiteral("WebView::WebView()"));
    s_instance = this;
    if (m_parts.settings)
        m_serverRoot = QUrl(m_parts.settings->httpRootUrl());
    retranslate();
    setWindowIcon(QIcon(QString::fromLatin1(ApplicationIconResource)));
    setAttribute(Qt::WA_AcceptTouchEvents);
    setAcceptDrops(false);

    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        m_trayIcon = new QSystemTrayIcon(windowIcon(), this);
        m_trayIcon->setToolTip(noServiceToolTip());
        connect(m_trayIcon, &QSystemTrayIcon::activated, this, &WebView::onTrayIconActivated);
    }

    // A profile of its own keeps the pages' local storage on disk, in the
    // web engine's default place for it.
    m_profile = new QWebEngineProfile(QStringLiteral("zoz"), this);
    m_profile->settings()->setAttribute(QWebEngineSettings::LocalStorageEnabled, true);

    const bool borderless = m_parts.settings && m_parts.settings->isBorderless();
    if (borderless)
        setWindowFlags(Qt::FramelessWindowHint);
    else
        setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint
                       | Qt::WindowCloseButtonHint);

    const QRect fixed = m_parts.settings ? m_parts.settings->fixedGeometry() : QRect();
    if (fixed.isValid()) {
        ZOZ_LOG(LogGui, QStringLiteral("WebView::WebView() -> using fixed Geometry"));
        m_fixedGeometry = true;
        setGeometry(fixed);
        setFixedSize(fixed.size());
    }
    readSettings();
    if (m_parts.settings && m_parts.settings->isFullscreen())
        setWindowState(windowState() | Qt::WindowFullScreen);

    m_trayTimer.setSingleShot(true);
    connect(&m_trayTimer, &QTimer::timeout, this, &WebView::checkTrayIcon);
    if (m_parts.app)
        connect(m_parts.app, &App::retranslate, this, &WebView::retranslate);
    if (m_parts.manager) {
        connect(m_parts.manager, &ServiceManager::requestUrl, this, &WebView::loadUrl);
        connect(m_parts.manager, &ServiceManager::announceTrayToolTip, this, &WebView::setTrayToolTip);
    }
    connect(this, &QWebEngineView::loadFinished, this, &WebView::applyZoom);
    clearCache();
    createShortcuts();
}

WebView::~WebView()
{
    ZOZ_LOG(LogGui, QStringLiteral("WebView::~WebView()"));
    s_instance = nullptr;
    if (m_trayIcon)
        m_trayIcon->hide();
    delete m_contextMenu;
    // The page goes before the profile it was made with.
    delete m_page;
    m_page = nullptr;
}

WebView *WebView::instance()
{
    return s_instance;
}

QString WebView::closeQuestion(bool recording, int scheduledRecordings)
{
    if (recording)
        return QCoreApplication::translate("Confirmation",
                                           "<b>Recording in progress!</b><br/>Closing the application will stop the "
                                           "recording.<br/>Really quit the application?");
    if (scheduledRecordings > 0)
        return QCoreApplication::translate("Confirmation",
                                           "<b>There are still scheduled recordings!</b><br/>Scheduled recordings can "
                                           "only be started when application is running.<br/>Really quit the "
                                           "application?");
    return QString();
}

int WebView::wheelZoom(int zoom, int delta)
{
    return std::clamp(zoom + (delta / WheelStep) * ZoomStep, MinimumZoom, MaximumZoom);
}

bool WebView::isTrayHintDue(bool shown, const QDateTime &lastShown, const QDateTime &now)
{
    return !shown || !lastShown.isValid() || lastShown.daysTo(now) >= TrayHintRepeatDays;
}

void WebView::readSettings()
{
    ZOZ_LOG(LogGui, QStringLiteral("WebView::readSettings()"));
    if (m_fixedGeometry)
        return;
    QSettings settings = store();
    const QByteArray geometry = settings.value(QLatin1String(GeometryKey)).toByteArray();
    if (geometry.isEmpty() || !restoreGeometry(geometry)) {
        const QScreen *screen = QGuiApplication::primaryScreen();
        const QRect free = screen ? screen->availableGeometry() : QRect(0, 0, DefaultWidth, DefaultHeight);
        const int left = std::max(0, free.left() + (free.width() - DefaultWidth) / 2);
        const int top = std::max(0, free.top() + (free.height() - DefaultHeight) / 2);
        setGeometry(left, top, DefaultWidth, DefaultHeight);
    }
    bool isNumber = false;
    const int zoom = settings.value(QLatin1String(ZoomKey)).toInt(&isNumber);
    if (isNumber)
        m_zoom = std::clamp(zoom, MinimumZoom, MaximumZoom);
}

void WebView::writeSettings()
{
    ZOZ_LOG(LogGui, QStringLiteral("WebView::writeSettings()"));
    if (m_fixedGeometry)
        return;
    store().setValue(QLatin1String(GeometryKey), saveGeometry());
}

void WebView::clearCache()
{
    // Before the first page the view has none: asking it for its URL would make one.
    const QUrl current = m_page ? m_page->url() : QUrl();
    WebPage *previous = m_page;
    PageHost *host = m_parts.host;
    m_page = new WebPage(m_profile, m_serverRoot, [host](const QUrl &target) {
        if (host)
            host->openUrl(target);
    }, this);
    m_page->settings()->setAttribute(QWebEngineSettings::ShowScrollBars, false);
    setPage(m_page);
    delete previous;
    m_profile->clearHttpCache();

    QUrl target = current;
    QUrlQuery query(target);
    if (!target.isValid() || target.isEmpty()) {
        // The first load: the start page, with the password that tells the
        // server this is the program's own window.
        target = m_serverRoot;
        if (target.path().isEmpty())
            target.setPath(QStringLiteral("/"));
        query = QUrlQuery(target);
        query.removeAllQueryItems(QStringLiteral("isZOZ"));
        const QString password = m_parts.settings ? m_parts.settings->remoteAccessPassword() : QString();
        query.addQueryItem(QStringLiteral("isZOZ"), QString::fromLatin1(QUrl::toPercentEncoding(password)));
    }
    query.removeAllQueryItems(QString());
    target.setQuery(query);
    ZOZ_LOG(LogGui, QStringLiteral("WebView::clearCache() -> loading (url: '%1')").arg(target.toString()));
    load(target);
}

void WebView::loadUrl(const QString &url)
{
    ZOZ_LOG(LogGui, QStringLiteral("MainWindow::loadUrl() -> '%1'").arg(url));
    doFocus();
    runPageFunction(QStringLiteral("redirectTo"), url);
}

void WebView::reload()
{
    ZOZ_LOG(LogGui, QStringLiteral("WebView::reload()"));
    clearCache();
    if (m_parts.manager)
        m_parts.manager->updateTrayToolTip();
}

// The pages' script framework is a global "zoz"; an argument goes in as a
// JSON string, so no text can break out of it.
void WebView::runPageFunction(const QString &name, const QString &argument)
{
    const QString call = argument.isNull() ? QStringLiteral("zoz.%1();").arg(name)
                                           : QStringLiteral("zoz.%1(\"%2\");").arg(name, escapeJsonName(argument));
    page()->runJavaScript(
        QStringLiteral("if (typeof zoz !== 'undefined' && typeof zoz.%1 === 'function') { %2 }").arg(name, call));
}

void WebView::showPage(const char *slotName, const QString &path)
{
    ZOZ_LOG(LogGui, QStringLiteral("WebView::%1()").arg(QLatin1String(slotName)));
    loadUrl(path);
}

void WebView::showDialog(const char *slotName, const char *function)
{
    ZOZ_LOG(LogGui, QStringLiteral("WebView::%1()").arg(QLatin1String(slotName)));
    doFocus();
    runPageFunction(QLatin1String(function));
}

void WebView::switchMuter()
{
    ZOZ_LOG(LogGui, QStringLiteral("WebView::switchMuted()"));
    runPageFunction(QStringLiteral("switchMuter"));
}

void WebView::showServiceSelection() { showPage("showServiceSelection", QStringLiteral("/?selection")); }
void WebView::showSettings() { showPage("showSettings", QStringLiteral("/?settings")); }
void WebView::showAbout() { showPage("showAbout", QStringLiteral("/?about")); }
void WebView::showCopyright() { showPage("showCopyright", QStringLiteral("/?copyright")); }
void WebView::showInfo() { showPage("showInfo", QStringLiteral("/?info")); }
void WebView::showFrontendConfig() { showPage("showFrontendConfig", QStringLiteral("/?frontend=ADVANCED")); }
void WebView::showTune() { showPage("showTune", QStringLiteral("/?frontend=TUNING")); }
void WebView::showScheduler() { showDialog("showScheduler", "showScheduler"); }
void WebView::showScanDialog() { showDialog("showScanDialog", "showScanDialog"); }
void WebView::showSpiDialog() { showDialog("showSpiDialog", "showSpiDialog"); }
void WebView::spiScan() { showDialog("spiScan", "spiScan"); }
void WebView::showFeedback() { showDialog("showFeedback", "showFeedbackDialog"); }

void WebView::doFocus()
{
    if (m_trayIcon)
        m_trayIcon->hide();
    if (isMinimized() || isHidden()) {
        show();
        showNormal();
    }
    raise();
    activateWindow();
    clearFocus();
    setFocus(Qt::OtherFocusReason);
}

void WebView::retranslate()
{
    QString title = m_parts.settings ? m_parts.settings->windowTitle() : QString();
    if (title.isEmpty() && m_parts.app)
        title = m_parts.app->fullTitle();
    setWindowTitle(title);
}

void WebView::reallyClose()
{
    m_reallyClose = true;
    close();
}

void WebView::closeEvent(QCloseEvent *event)
{
    ZOZ_LOG(LogGui, QStringLiteral("WebView::closeEvent()"));
    QString question;
    if (!m_reallyClose) {
        const bool recording = m_parts.settings && m_parts.settings->isAudioRecording();
        question = closeQuestion(recording, m_parts.scheduledRecordings ? m_parts.scheduledRecordings() : 0);
    }
    if (!question.isEmpty() && m_parts.manager) {
        event->ignore();
        m_parts.manager->setMessage(question, this, QByteArray(SLOT(reallyClose())), nullptr, QByteArray());
        // The question is asked in the page: a window hidden in the tray comes back for it.
        doFocus();
        return;
    }
    writeSettings();
    event->accept();
    emit closing();
}

void WebView::switchFullscreen()
{
    const QString keys = QStringLiteral("<div class='button'>Alt</div> + <div class='button'>&crarr;</div>");
    QString text;
    if (isFullScreen()) {
        showNormal();
        text = QCoreApplication::translate("Notifications", "<b>Window mode</b><br/>Hit %1 to switch to Fullscreen mode");
    } else {
        showFullScreen();
        text = QCoreApplication::translate("Notifications", "<b>Fullscreen mode</b><br/>Hit %1 to switch to Window mode");
    }
    if (m_parts.manager)
        m_parts.manager->addNotification(text.arg(keys), QStringLiteral("info"), -1, false, QString(), false, false);
}

void WebView::setZoom(int zoom)
{
    m_zoom = std::clamp(zoom, MinimumZoom, MaximumZoom);
    applyZoom();
}

void WebView::applyZoom()
{
    setZoomFactor(m_zoom / 100.0);
    store().setValue(QLatin1String(ZoomKey), m_zoom);
}

void WebView::zoomIn() { setZoom(m_zoom + ZoomStep); }
void WebView::zoomOut() { setZoom(m_zoom - ZoomStep); }
void WebView::zoomReset() { setZoom(DefaultZoom); }

void WebView::onTrayIconActivated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Context:
        buildContextMenu();
        m_contextMenu->popup(QCursor::pos());
        break;
    case QSystemTrayIcon::DoubleClick:
    case QSystemTrayIcon::Trigger:
    case QSystemTrayIcon::MiddleClick:
        doFocus();
        break;
    default:
        break;
    }
}

void WebView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::WindowStateChange && isMinimized()) {
        event->accept();
        QCoreApplication::processEvents();
        QTimer::singleShot(MinimizeDelayMs, this, &WebView::minimizeToTray);
        return;
    }
    QWebEngineView::changeEvent(event);
}

void WebView::minimizeToTray()
{
    if (!m_trayIcon)
        return;
    hide();
    m_trayIcon->show();
    QSettings settings = store();
    const bool shown = settings.value(QLatin1String(TrayInfoShownKey), false).toBool();
    const QDateTime last = settings.value(QLatin1String(TrayInfoShownLastKey),
                                          QDateTime::fromString(QStringLiteral("1999-01-01T00:00:00"), Qt::ISODate))
                               .toDateTime();
    const QDateTime now = QDateTime::currentDateTime();
    if (!isTrayHintDue(shown, last, now))
        return;
    m_trayIcon->showMessage(m_parts.app ? m_parts.app->fullTitle() : windowTitle(),
                            QCoreApplication::translate("General", "The application got minimized to the tray. To show "
                                                                   "it again, simply click on the tray icon!"),
                            QSystemTrayIcon::Information, TrayHintTimeoutMs);
    settings.setValue(QLatin1String(TrayInfoShownKey), true);
    settings.setValue(QLatin1String(TrayInfoShownLastKey), now);
}

void WebView::showTrayMessage(const QString &message, int icon, int timeout)
{
    if (!m_trayIcon)
        return;
    m_trayIcon->show();
    m_trayIcon->showMessage(m_parts.app ? m_parts.app->fullTitle() : windowTitle(), htmlToPlainText(message),
                            QSystemTrayIcon::MessageIcon(icon), timeout);
    m_trayTimer.start(timeout + TrayTimerExtraMs);
}

void WebView::checkTrayIcon()
{
    m_trayTimer.stop();
    if (m_trayIcon && !isMinimized() && isVisible())
        m_trayIcon->hide();
}

void WebView::setTrayToolTip(const QString &toolTip)
{
    if (m_trayIcon)
        m_trayIcon->setToolTip(toolTip.isEmpty() ? noServiceToolTip() : toolTip);
}

void WebView::contextMenuEvent(QContextMenuEvent *event)
{
    // The page has menus of its own; the web engine's menu only serves copying selected text.
    if (hasSelection())
        QWebEngineView::contextMenuEvent(event);
    else
        event->accept();
}

void WebView::createShortcuts()
{
    const auto add = [this](const QKeySequence &keys, auto receiver, auto slot) {
        auto *shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, receiver, slot);
    };
    if (m_parts.app)
        add(QKeySequence(Qt::Key_F9), m_parts.app, &App::openBrowser);
    if (m_parts.manager) {
        // Writes the service list into its two export files.
        add(QKeySequence(Qt::ALT | Qt::Key_F5), m_parts.manager, &ServiceManager::prettyPrintServiceList);
        add(QKeySequence(Qt::Key_MediaNext), m_parts.manager, &ServiceManager::selectNextService);
        add(QKeySequence(Qt::Key_MediaPrevious), m_parts.manager, &ServiceManager::selectPreviousService);
    }
    add(QKeySequence(Qt::Key_MediaTogglePlayPause), this, &WebView::switchMediaMute);
    add(QKeySequence(Qt::Key_MediaPlay), this, &WebView::switchMediaMute);
    add(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R), this, &WebView::reload);
    add(QKeySequence(Qt::SHIFT | Qt::Key_F5), this, &WebView::reload);
    add(QKeySequence(Qt::SHIFT | Qt::Key_C), this, &WebView::clearCache);
    add(QKeySequence(Qt::ALT | Qt::Key_Left), this, &QWebEngineView::back);
    add(QKeySequence(Qt::ALT | Qt::Key_Right), this, &QWebEngineView::forward);
    add(QKeySequence(Qt::ALT | Qt::Key_Return), this, &WebView::switchFullscreen);
    add(QKeySequence(QKeyCombination(Qt::AltModifier | Qt::KeypadModifier, Qt::Key_Enter)), this, &WebView::switchFullscreen);
    add(QKeySequence(Qt::CTRL | Qt::Key_W), this, &QWidget::close);
    add(QKeySequence(Qt::CTRL | Qt::Key_Q), this, &QWidget::close);
    add(QKeySequence(Qt::Key_ZoomIn), this, &WebView::zoomIn);
    add(QKeySequence(Qt::Key_ZoomOut), this, &WebView::zoomOut);
    add(QKeySequence(Qt::CTRL | Qt::Key_0), this, &WebView::zoomReset);
    add(QKeySequence(Qt::Key_J), this, &WebView::zoomIn);
    add(QKeySequence(Qt::Key_K), this, &WebView::zoomOut);
    add(QKeySequence(Qt::Key_L), this, &WebView::zoomReset);
}

// The media keys: next and previous service, and play/pause as mute.
void WebView::switchMediaMute()
{
    if (m_parts.audio)
        m_parts.audio->setMuted(!m_parts.audio->isMuted());
}

bool WebView::event(QEvent *event)
{
    if (event->type() == QEvent::ChildAdded)
        watchInputWidget(static_cast<QChildEvent *>(event)->child());
    return QWebEngineView::event(event);
}

void WebView::watchInputWidget(QObject *child)
{
    if (child && child->isWidgetType())
        child->installEventFilter(this);
}

bool WebView::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // While a text field of the page has the focus, typed characters go
        // to it, not to the single-key shortcuts (J, K, L, Shift+C).
        if (isTyping(watched, static_cast<QKeyEvent *>(event))) {
            event->accept();
            return true;
        }
        break;
    case QEvent::Wheel:
        if (handleWheel(static_cast<QWheelEvent *>(event)))
            return true;
        break;
    case QEvent::MouseButtonRelease:
        if (handleMouseRelease(static_cast<QMouseEvent *>(event)))
            return true;
        break;
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
        if (handleTouch(static_cast<QTouchEvent *>(event)))
            return true;
        break;
    default:
        break;
    }
    return QWebEngineView::eventFilter(watched, event);
}

bool WebView::isTyping(QObject *input, const QKeyEvent *event)
{
    const auto *widget = qobject_cast<QWidget *>(input);
    const Qt::KeyboardModifiers commandKeys = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    return widget && widget->testAttribute(Qt::WA_InputMethodEnabled) && !(event->modifiers() & commandKeys)
           && !event->text().isEmpty() && event->text().at(0).isPrint();
}

bool WebView::handleWheel(QWheelEvent *event)
{
    if (!(event->modifiers() & Qt::ControlModifier))
        return false;
    event->accept();
    m_zoom = wheelZoom(m_zoom, event->angleDelta().y());
    QTimer::singleShot(0, this, &WebView::applyZoom);
    return true;
}

bool WebView::handleMouseRelease(QMouseEvent *event)
{
    if (event->button() == Qt::BackButton) {
        back();
    } else if (event->button() == Qt::ForwardButton) {
        forward();
    } else {
        return false;
    }
    event->accept();
    return true;
}

// One finger drags the page: its vertical movement becomes wheel turns.
bool WebView::handleTouch(QTouchEvent *event)
{
    const QList<QEventPoint> &points = event->points();
    const bool oneMoving = points.size() == 1 && points.first().state() != QEventPoint::Stationary;
    const bool tracking = m_lastTouchX != 0 || m_lastTouchY != 0;
    switch (event->type()) {
    case QEvent::TouchBegin:
        if (!oneMoving)
            return false;
        m_lastTouchX = int(points.first().position().x());
        m_lastTouchY = int(points.first().position().y());
        break;
    case QEvent::TouchUpdate: {
        if (!tracking || !oneMoving)
            return false;
        const QPointF at = points.first().position();
        const int dy = int(at.y()) - m_lastTouchY;
        m_lastTouchX = int(at.x());
        m_lastTouchY = int(at.y());
        if (dy != 0 && focusProxy()) {
            QCoreApplication::postEvent(focusProxy(),
                                        new QWheelEvent(at, points.first().globalPosition(), QPoint(), QPoint(0, dy),
                                                        Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false));
            QCoreApplication::processEvents();
        }
        break;
    }
    case QEvent::TouchEnd:
        if (!tracking)
            return false;
        m_lastTouchX = 0;
        m_lastTouchY = 0;
        break;
    default:
        return false;
    }
    event->accept();
    return true;
}

void WebView::openRecordingDirectory()
{
    const QString folder = m_parts.settings ? m_parts.settings->audioRecordingDirectory() : QString();
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

} // namespace ZOZ
