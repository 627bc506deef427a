#pragma once

#include "base/ZOZMainThreadServices.h"
#include "settings/ZOZSettings.h"

#include <QApplication>
#include <QDateTime>
#include <QStringList>
#include <QUrl>

namespace ZOZ {

class AppPrivate;
class Pointer;
class WebView;

// The application object: starts the subsystems in order, runs the main
// thread's periodic work and shuts everything down in reverse.
class App : public QApplication, public Settings::Listener
{
    Q_OBJECT
public:
    enum class InitResult {
        Running,  // start-up done: run the event loop
        Finished, // the user's own end (help, version, a refusal): exit code 0
        Failed,   // a real error: non-zero exit code
    };

    App(bool &gui, int argc, char **argv);
    ~App() override;

    static App *instance();

    InitResult init();

    // Any thread.
    static void queueInvoke(const DeferredCall &call);
    static void addDisposable(Pointer *object);
    void clearDisposables();

    QDateTime startTime() const { return m_startTime; }
    QStringList processArguments() const { return m_arguments; }
    QString title() const { return m_title; }
    QString fullTitle() const { return m_fullTitle; }

    void settingChanged(const QVector<int> &changes) override;
    // The window; null when the program runs without one.
    WebView *mainWindow() const;

signals:
    void retranslate();

public slots:
    void checkDisposables();
    void flushEvents();
    void onCopyToClipboard(const QUrl &url);
    void closeApp();
    void startNewLogFile();
    void openBrowser();

private:
    void openWindow(Settings *settings);
    // Takes the pages and the HTTP server down.
    void stopWebLayer();
    // Runs the flush soon and keeps the disposables check going while objects wait.
    void scheduleWork();
    void watchSettingsFiles(const Settings *settings);
    void onConsoleSignal(int signalNumber);
    void onQuestionDeclined(const QString &question, const QByteArray &cancelSlot);
    void showBoxes();

    AppPrivate *d;
    QDateTime m_startTime;
    QStringList m_arguments;
    QString m_title;
    QString m_fullTitle;
};

} // namespace ZOZ
