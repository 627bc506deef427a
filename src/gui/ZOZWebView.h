#pragma once

#include <QDateTime>
#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>
#include <QWebEngineView>

#include <functional>

class QKeyEvent;
class QMouseEvent;
class QTouchEvent;
class QWebEngineProfile;
class QWheelEvent;

namespace ZOZ {

class App;
class AudioControl;
class PageHost;
class ServiceManager;
class Settings;
class WebPage;

// What the window works with; taken at construction.
struct WebViewParts
{
    App *app = nullptr;
    Settings *settings = nullptr;
    ServiceManager *manager = nullptr;
    // The desktop (links handed out, language changes).
    PageHost *host = nullptr;
    // The audio output; null without one.
    AudioControl *audio = nullptr;
    // How many recordings the scheduler holds; empty while there is no scheduler.
    std::function<int()> scheduledRecordings;
};

// The program's window: the local server's pages in a web view, with the
// tray icon and its menu, window shortcuts, zoom, full screen, minimising to
// the tray and the questions asked before closing. Page logic lives in the
// pages; the window loads them or calls their script.
class WebView : public QWebEngineView
{
    Q_OBJECT
public:
    static constexpr int DefaultZoom = 100;
    static constexpr int ZoomStep = 10;
    // The web engine takes zoom factors from 0.25 to 5.
    static constexpr int MinimumZoom = 30;
    static constexpr int MaximumZoom = 500;
    static constexpr int WheelStep = 120;

    explicit WebView(const WebViewParts &parts);
    ~WebView() override;

    static WebView *instance();

    // The question asked before closing, empty when the window may close.
    static QString closeQuestion(bool recording, int scheduledRecordings);
    // The zoom after a Ctrl+wheel turn of `delta`: a step per full notch.
    static int wheelZoom(int zoom, int delta);
    // Whether minimising shows the hint where the window went: the first
    // time, and again after a while.
    static bool isTrayHintDue(bool shown, const QDateTime &lastShown, const QDateTime &now);

    int zoom() const { return m_zoom; }
    QMenu *contextMenu() const { return m_contextMenu; }
    QSystemTrayIcon *trayIcon() const { return m_trayIcon; }
    // Builds the tray menu anew, replacing the one before.
    void buildContextMenu();
    void readSettings();
    void writeSettings();

signals:
    // The window closes for good: the program ends.
    void closing();

public slots:
    void clearCache();
    void loadUrl(const QString &url);
    void reload();
    void switchMuter();
    void showServiceSelection();
    void showScheduler();
    void spiScan();
    void showSpiDialog();
    void showScanDialog();
    void showFrontendConfig();
    void showTune();
    void showSettings();
    void showFeedback();
    void showAbout();
    void showCopyright();
    void showInfo();
    void switchFullscreen();
    void switchSortType();
    void switchSortFavouritesOnly();
    void switchBinauralType();
    void switchLanguage();
    void doFocus();
    void retranslate();
    void reallyClose();
    void onTrayIconActivated(QSystemTrayIcon::ActivationReason reason);
    void minimizeToTray();
    void showTrayMessage(const QString &message, int icon = QSystemTrayIcon::Information, int timeout = 5000);
    void setTrayToolTip(const QString &toolTip);

protected slots:
    void checkTrayIcon();
    void applyZoom();
    void zoomIn();
    void zoomOut();
    void zoomReset();

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void createShortcuts();
    void runPageFunction(const QString &name, const QString &argument = QString());
    void showPage(const char *slotName, const QString &path);
    void showDialog(const char *slotName, const char *function);
    void setZoom(int zoom);
    // The web engine puts its own widget in the view, which receives the input.
    void watchInputWidget(QObject *child);
    // A key that the page's focused text field takes.
    static bool isTyping(QObject *input, const QKeyEvent *event);
    bool handleWheel(QWheelEvent *event);
    bool handleMouseRelease(QMouseEvent *event);
    bool handleTouch(QTouchEvent *event);
    void openRecordingDirectory();
    void switchMediaMute();

    WebViewParts m_parts;
    QWebEngineProfile *m_profile = nullptr;
    WebPage *m_page = nullptr;
    QUrl m_serverRoot;
    QPointer<QMenu> m_contextMenu;
    QSystemTrayIcon *m_trayIcon = nullptr;
    QTimer m_trayTimer;
    int m_lastTouchX = 0;
    int m_lastTouchY = 0;
    bool m_reallyClose = false;
    bool m_fixedGeometry = false;
    int m_zoom = DefaultZoom;
    // The last decoder mode that was not binaural, for "Off" in the tray menu.
    int m_lastPlainDecoderMode = 2;
};

} // namespace ZOZ
