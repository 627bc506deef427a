#include "ZOZApp.h"

#include "ZOZConsoleSignals.h"
#include "ZOZHelpWindows.h"
#include "http/ZOZHttpServer.h"
#include "base/ZOZLog.h"
#include "ZOZPages.h"
#include "base/ZOZPaths.h"
#include "ZOZReceiver.h"
#include "ZOZHttpSettingsAdapter.h"
#include "ZOZServiceManager.h"
#include "ZOZServiceScheduledRecorder.h"
#include "scheduler/ZOZScheduler.h"
#include "ZOZAlsaSink.h"
#include "ZOZAudioSystem.h"
#include "audio/ZOZAudioOutputPort.h"
#include "audio/ZOZServiceAudio.h"
#include "ZOZDesktopHost.h"
#include "ZOZWebView.h"
#include "base/ZOZVersion.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QMessageBox>
#include <QPointer>
#include <QQueue>
#include <QRegularExpression>
#include <QSettings>
#include <QThread>
#include <QTimer>

#include <cstdio>

namespace ZOZ {

namespace {

constexpr quint32 LogApp = LogSource::App;
constexpr quint32 LogNotice = LogFlag::Notice | LogSource::App;
constexpr int DisposablesIntervalMs = 3000;
constexpr int FlushIntervalMs = 100;
constexpr int LogFileIntervalMs = 7200000;
// A console interrupt closes the program this long after it arrived.
constexpr int CloseDelayMs = 100;
// How long the audio output's device error stays on the page.
constexpr int AudioErrorNoticeSeconds = 10;

App *s_app = nullptr;
// The toolkit keeps a reference to the argument count; the process arguments
// stay with the application object alone.
int s_noArguments = 0;

struct PendingBox
{
    Log::BoxType type;
    QString title;
    QString text;
};

} // namespace

// The heard audio service's stream becomes the audio system's source; a
// reset of the service drops what the output queued of it.
class AudioSystemPort : public AudioOutputPort
{
public:
    explicit AudioSystemPort(AudioSystem *system)
        : m_system(system)
    {
    }
    void setAudioSource(ServiceAudio *service) override
    {
        if (service)
            QObject::connect(service, &ServiceAudio::resetted, m_system, &AudioSystem::onResetSource,
                             Qt::ConnectionType(Qt::QueuedConnection | Qt::UniqueConnection));
        m_system->setSource(service, service);
    }
    void playFile(const QString &fileName, bool overrideMuted) override
    {
        m_system->playFileWAVE(fileName, overrideMuted);
    }

private:
    AudioSystem *m_system;
};

class AppPrivate
{
public:
    MainThreadServices mainThread;
    bool gui = true;
    int argc = 0;
    char **argv = nullptr;
    QTimer disposablesTimer;
    QTimer flushTimer;
    QTimer logFileTimer;
    ConsoleSignals *consoleSignals = nullptr;
    // The parts, made in this order by init() and taken down in reverse.
    std::unique_ptr<HttpServer> httpServer;
    std::unique_ptr<HttpSettingsAdapter> httpSettings;
    ServiceManager *serviceManager = nullptr;
    std::unique_ptr<ServiceScheduledRecorder> scheduledRecorder; // the scheduler's way to the services
    std::unique_ptr<Scheduler> scheduler;
    std::unique_ptr<AudioSystem> audioSystem; // exists when the audio system is on
    std::unique_ptr<AudioOutputPort> audioPort; // the selection's way to the audio system
    std::unique_ptr<Pages> pages;
    // What the pages reach above them; they let go of both before these go.
    std::unique_ptr<DesktopHost> desktopHost;
    std::unique_ptr<AudioSystemControl> audioControl;
    // The window, with a display; it goes first at shutdown.
    std::unique_ptr<WebView> window;
    QQueue<PendingBox> pendingBoxes;
    bool showingBox = false;
};

App::App(bool &gui, int argc, char **argv)
    : QApplication(s_noArguments, nullptr)
    , m_startTime(QDateTime::currentDateTime())
    , m_title(QStringLiteral("DAB Radarovaz"))
    , m_fullTitle(m_title)
{
    s_app = this;
    d = new AppPrivate;
    d->gui = gui;
    d->argc = argc;
    d->argv = argv;
    Log::setApplicationTitle(m_title);
    for (int i = 0; i < argc; ++i)
        m_arguments.append(QString::fromUtf8(argv[i]));

    d->consoleSignals = new ConsoleSignals(this);
    connect(d->consoleSignals, &ConsoleSignals::received, this, &App::onConsoleSignal);

    // Boxes are shown here, on the main thread, one at a time; the log hands
    // over boxes that other threads ask for. Headless, the log prints them.
    QPointer<App> self(this);
    if (gui)
        Log::setBoxPresenter([self](Log::BoxType type, const QString &title, const QString &text) {
            if (!self)
                return;
            self->d->pendingBoxes.enqueue({type, title, text});
            self->showBoxes();
        });
    HelpWindows::install();
}

App::~App()
{
    ZOZ_LOG(LogApp, QStringLiteral("App::~App()"));
    d->window.reset();
    d->mainThread.setWakeUp({});
    d->disposablesTimer.stop();
    d->flushTimer.stop();
    d->logFileTimer.stop();

    if (d->pages) {
        d->pages->setAudioControl(nullptr);
        d->pages->setHost(nullptr);
    }
    if (d->audioSystem) {
        if (d->serviceManager)
            d->serviceManager->setAudioOutput(nullptr);
        d->audioPort.reset();
        // It holds references to services: it goes before them.
        ZOZ_LOG(LogNotice, QStringLiteral("stopping audio system.."));
        d->audioSystem.reset();
    }
    if (d->serviceManager) {
        ZOZ_LOG(LogNotice, QStringLiteral("stopping service manager.."));
        // No request reaches the manager while it goes; the server itself
        // goes once the services are gone (servicesStopped), before the receiver.
        if (d->pages)
            d->pages->shutdown();
        // It records through the services: it goes before them.
        d->scheduler.reset();
        d->scheduledRecorder.reset();
        ServiceManager::destroyInstance();
        d->serviceManager = nullptr;
    }
    stopWebLayer();

    ZOZ_LOG(LogNotice, QStringLiteral("clearing disposables list.."));
    clearDisposables();

    if (Settings *settings = Settings::instance()) {
        ZOZ_LOG(LogNotice, QStringLiteral("removing settings instance.."));
        settings->removeListener(this);
        Settings::destroy();
    }

    Log::setBoxPresenter({});
    HelpWindows::uninstall();
    if (Log *log = Log::instance()) {
        ZOZ_LOG(LogNotice, QStringLiteral("finished shutdown process."));
        Log::setInstance(nullptr);
        delete log;
    }

    QDesktopServices::unsetUrlHandler(QStringLiteral("copy"));
    delete d->consoleSignals;
    delete d;
    d = nullptr;
    s_app = nullptr;
}

App *App::instance()
{
    return s_app;
}

App::InitResult App::init()
{
    setOrganizationName(QString::fromLatin1(Settings::Organisation));
    setOrganizationDomain(QString::fromLatin1(Settings::Organisation));
    setApplicationName(QString::fromLatin1(Settings::Application));
    setApplicationVersion(QString::fromLatin1(versionString()));
    QDesktopServices::setUrlHandler(QStringLiteral("copy"), this, "onCopyToClipboard");

    Log::setInstance(new Log(dataFolder()));
    ZOZ_LOG(LogApp, QStringLiteral("App::init()"));

    QThread::currentThread()->setPriority(QThread::HighPriority);

    Settings *settings = Settings::create();
    if (!settings)
        return InitResult::Failed;
    settings->setHasGraphicalUI(d->gui);

    if (!settings->parseCommandLine(m_arguments)) {
        ZOZ_LOG(LogNotice, QStringLiteral("error while parsing command line arguments"));
        return InitResult::Failed;
    }
    if (settings->isHelpWanted()) {
        ZOZ_LOG(LogNotice, QStringLiteral("help wanted in command line, aborting init"));
        settings->showHelp();
        return InitResult::Finished;
    }
    if (settings->isVersionWanted()) {
        ZOZ_LOG(LogNotice, QStringLiteral("version wanted in command line, aborting init"));
        settings->showVersion();
        return InitResult::Finished;
    }

    settings->addListener(this);

    ZOZ_LOG(LogNotice, QStringLiteral("version: %1 for DAB with Audio (%2)")
                           .arg(QString::fromLatin1(versionString()), buildDateTime()));

    if (settings->frontEndMode() == Settings::ModeNone)
        settings->setFrontEndMode(Settings::ModeDab);
    ZOZ_LOG(LogFlag::Warning | LogSource::Settings,
            QStringLiteral("Settings::parseCommandLine() -> warning: no input set, defaulting to %1 frontend device")
                .arg(settings->frontEndModeName()));

    // The composition root: the receiver, the service manager over it, the
    // HTTP server, and the pages over all three.
    Receiver *receiver = Receiver::instance();
    ZOZ_LOG(LogNotice, QStringLiteral("creating ServiceManager.."));
    d->serviceManager = ServiceManager::instance(std::make_unique<ReceiverEnsembleSource>(receiver));
    connect(this, &App::retranslate, d->serviceManager, &ServiceManager::retranslate);
    connect(d->serviceManager, &ServiceManager::servicesStopped, this, &App::stopWebLayer);
    connect(&d->serviceManager->notes(), &ServiceNotifications::questionDeclined, this, &App::onQuestionDeclined);
    d->httpServer = std::make_unique<HttpServer>(nullptr, nullptr);
    d->httpSettings = std::make_unique<HttpSettingsAdapter>(settings, d->httpServer.get());
    d->scheduledRecorder = std::make_unique<ServiceScheduledRecorder>(*d->serviceManager);
    d->scheduler = std::make_unique<Scheduler>(settings, d->scheduledRecorder.get(), dataFolder());
    d->pages = std::make_unique<Pages>(d->serviceManager, d->httpServer.get(), receiver, settings, d->scheduler.get());
    if (!d->pages->init() || !d->serviceManager->init())
        return InitResult::Failed;
    d->scheduler->start(QThread::InheritPriority);
    if (settings->hasAudioSystem()) {
        // Without a sound card the output finds no device and stays silent.
        d->audioSystem = std::make_unique<AudioSystem>(std::make_unique<AlsaSink>());
        ServiceManager *manager = d->serviceManager;
        d->audioSystem->setNotifier([manager](const QString &type, const QString &text) {
            manager->addNotification(text, type, AudioErrorNoticeSeconds, false, QString(), true, false);
        });
        d->audioSystem->init(settings->hasAudioService());
        {
            QSettings store(QLatin1String(Settings::Organisation), QLatin1String(Settings::Application));
            d->audioSystem->restoreDevice(
                {store.value(QStringLiteral("audioDeviceID"), -1).toInt(),
                 store.value(QStringLiteral("audioDeviceName")).toString()},
                [](const AudioSystem::DeviceChoice &choice) {
                    QSettings saved(QLatin1String(Settings::Organisation), QLatin1String(Settings::Application));
                    saved.setValue(QStringLiteral("audioDeviceID"), choice.id);
                    saved.setValue(QStringLiteral("audioDeviceName"), choice.name);
                });
            AudioLevelValues levels;
            levels.volumeMax = store.value(QStringLiteral("AudioSystem/VolumeMax"), levels.volumeMax).toFloat();
            levels.shift = store.value(QStringLiteral("AudioSystem/Shift"), levels.shift).toFloat();
            levels.balance = store.value(QStringLiteral("AudioSystem/Balance"), levels.balance).toFloat();
            levels.level = store.value(QStringLiteral("AudioSystem/Level"), levels.level).toFloat();
            for (int c = 0; c < AudioLevelValues::Channels; ++c)
                levels.channel[c] =
                    store.value(QStringLiteral("AudioSystem/LevelChannel_%1").arg(c), levels.channel[c]).toFloat();
            d->audioSystem->restoreLevels(levels, store.value(QStringLiteral("AudioSystem/Muted"), false).toBool(),
                                          [](const QString &key, const QVariant &value) {
                                              QSettings saved(QLatin1String(Settings::Organisation),
                                                              QLatin1String(Settings::Application));
                                              saved.setValue(key, value);
                                          });
        }
        d->audioSystem->start();
        d->audioPort = std::make_unique<AudioSystemPort>(d->audioSystem.get());
        d->serviceManager->setAudioOutput(d->audioPort.get());
    }
    d->desktopHost = std::make_unique<DesktopHost>(this, settings);
    d->pages->setHost(d->desktopHost.get());
    if (d->audioSystem) {
        d->audioControl = std::make_unique<AudioSystemControl>(d->audioSystem.get());
        d->pages->setAudioControl(d->audioControl.get());
    }
    if (settings->hasGraphicalUI()) {
        openWindow(settings);
    } else {
        // The pages are the user interface: tell the user where to find them.
        std::fprintf(stdout, "ZOZ is serving its pages at %s\n", qPrintable(settings->httpRootUrl()));
        std::fflush(stdout);
    }

    if (Log *log = Log::instance(); log && log->isWritingFile()) {
        connect(&d->logFileTimer, &QTimer::timeout, this, &App::startNewLogFile);
        d->logFileTimer.start(LogFileIntervalMs);
    }
    // The flush and the disposables check run when there is work: a call or
    // an object queued by another thread, a change to the settings store or
    // the configuration file, or a running recording (its free-space guard).
    d->flushTimer.setSingleShot(true);
    connect(&d->flushTimer, &QTimer::timeout, this, &App::flushEvents);
    connect(&d->disposablesTimer, &QTimer::timeout, this, &App::checkDisposables);
    d->mainThread.setWakeUp([this] { QMetaObject::invokeMethod(this, [this] { scheduleWork(); }, Qt::QueuedConnection); });
    watchSettingsFiles(settings);
    d->flushTimer.start(FlushIntervalMs);
    d->disposablesTimer.start(DisposablesIntervalMs);

    ZOZ_LOG(LogNotice, QStringLiteral("finished initialising process."));
    return InitResult::Running;
}

void App::openWindow(Settings *settings)
{
    WebViewParts parts;
    parts.app = this;
    parts.settings = settings;
    parts.manager = d->serviceManager;
    parts.host = d->desktopHost.get();
    parts.audio = d->audioControl.get();
    parts.scheduledRecordings = [scheduler = d->scheduler.get()] { return scheduler ? scheduler->count() : 0; };
    d->window = std::make_unique<WebView>(parts);
    // Closing the window ends the program, also when it was hidden in the tray.
    connect(d->window.get(), &WebView::closing, this, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    d->window->show();
    d->serviceManager->connectBubbleMessages(d->window.get());
}

WebView *App::mainWindow() const
{
    return d->window.get();
}

void App::stopWebLayer()
{
    if (d->pages) {
        d->pages->shutdown();
        d->pages.reset();
    }
    if (d->httpServer) {
        ZOZ_LOG(LogSource::ServiceManager, QStringLiteral("shutting down HTTP server.."));
        d->httpServer.reset();
        d->httpSettings.reset();
    }
}

void App::queueInvoke(const DeferredCall &call)
{
    MainThreadServices::queueInvoke(call);
}

void App::addDisposable(Pointer *object)
{
    MainThreadServices::addDisposable(object);
}

void App::clearDisposables()
{
    d->mainThread.clearDisposables();
}

void App::checkDisposables()
{
    d->mainThread.checkDisposables();
    if (d->mainThread.pendingDisposables() == 0)
        d->disposablesTimer.stop();
}

void App::scheduleWork()
{
    if (!d->flushTimer.isActive())
        d->flushTimer.start(0);
    if (!d->disposablesTimer.isActive() && d->mainThread.pendingDisposables() > 0)
        d->disposablesTimer.start(DisposablesIntervalMs);
}

// Another process changes the shared settings through the store file, and an
// installer through the configuration file: their folders are watched, so
// that the reload runs when one of them changed instead of every 100 ms.
void App::watchSettingsFiles(const Settings *settings)
{
    auto *watcher = new QFileSystemWatcher(this);
    const QString store = QSettings(QSettings::IniFormat, QSettings::UserScope, QString::fromLatin1(Settings::Organisation),
                                    QString::fromLatin1(Settings::Application))
                              .fileName();
    QStringList paths { store };
    if (settings && !settings->configFileName().isEmpty())
        paths << QFileInfo(settings->configFileName()).absoluteFilePath();
    for (const QString &path : std::as_const(paths)) {
        const QString folder = QFileInfo(path).absolutePath();
        QDir().mkpath(folder);
        watcher->addPath(folder);
        if (QFileInfo::exists(path))
            watcher->addPath(path);
    }
    const auto changed = [this, watcher, paths] {
        // A file replaced by a rename loses its watch: take it up again.
        for (const QString &path : paths)
            if (QFileInfo::exists(path) && !watcher->files().contains(path))
                watcher->addPath(path);
        scheduleWork();
    };
    connect(watcher, &QFileSystemWatcher::fileChanged, this, changed);
    connect(watcher, &QFileSystemWatcher::directoryChanged, this, changed);
}

void App::flushEvents()
{
    Settings *settings = Settings::instance();
    if (settings) {
        settings->reload();
        if (settings->isAudioRecording()
            && d->mainThread.isRecordingOutOfSpace(settings->audioRecordingDirectory())) {
            settings->setIsAudioRecording(false);
            ZOZ_LOG(LogFlag::Warning | LogSource::App,
                    tr("<b>Recording</b><br/>Recording has been stopped due to lack of free space/write error"));
        }
    }
    d->mainThread.runDeferredCalls();
    if (settings && settings->isAudioRecording() && !d->flushTimer.isActive())
        d->flushTimer.start(FlushIntervalMs);
}

void App::settingChanged(const QVector<int> &changes)
{
    // Language changes need the translations, which this build does not carry yet.
    Q_UNUSED(changes);
}

void App::onCopyToClipboard(const QUrl &url)
{
    if (QClipboard *clipboard = QGuiApplication::clipboard())
        clipboard->setText(url.toString());
}

void App::closeApp()
{
    if (d->window)
        d->window->close();
    else
        QCoreApplication::exit(0);
}

void App::startNewLogFile()
{
    if (Log *log = Log::instance())
        log->openNewFile();
}

void App::openBrowser()
{
    ZOZ_LOG(LogNotice, QStringLiteral("App::openBrowser() -> using QDesktopServices"));
    const Settings *settings = Settings::instance();
    const QString url = settings ? settings->httpRootUrl() : QString();
    if (!url.isEmpty())
        QDesktopServices::openUrl(QUrl(url));
}

void App::onQuestionDeclined(const QString &question, const QByteArray &cancelSlot)
{
    // The pages ask with markup; the console gets the words, on one line.
    if (cancelSlot != QByteArrayLiteral("1closeApp()"))
        return;
    QString plain = question;
    plain.replace(QRegularExpression(QStringLiteral("<br\\s*/?>"), QRegularExpression::CaseInsensitiveOption),
                  QStringLiteral(" "));
    plain.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
    ZOZ_LOG(LogFlag::ConsoleLine | LogSource::App,
            QStringLiteral("ZOZ ends: you answered No to \"%1\"").arg(plain.simplified()));
}

void App::onConsoleSignal(int signalNumber)
{
    std::printf("\nterminate ZOZ\n");
    std::fflush(stdout);
    Q_UNUSED(signalNumber);
    queueInvoke({this, QByteArray(SLOT(closeApp())), CloseDelayMs});
}

void App::showBoxes()
{
    if (d->showingBox)
        return;
    d->showingBox = true;
    while (!d->pendingBoxes.isEmpty()) {
        const PendingBox box = d->pendingBoxes.dequeue();
        QMessageBox::Icon icon = QMessageBox::Information;
        if (box.type == Log::BoxType::Critical)
            icon = QMessageBox::Critical;
        else if (box.type == Log::BoxType::Warning)
            icon = QMessageBox::Warning;
        QMessageBox message(icon, box.title, box.text, QMessageBox::Ok);
        message.exec();
    }
    d->showingBox = false;
}

} // namespace ZOZ
