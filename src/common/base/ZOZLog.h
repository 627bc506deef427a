#pragma once

#include <QByteArray>
#include <QMutex>
#include <QString>
#include <QVector>

#include <atomic>
#include <functional>

class QFile;

namespace ZOZ {

// The flags word of every log message: source id in the low 24 bits, what to
// do with the message in the top byte.
namespace LogFlag {
constexpr quint32 SourceMask = 0x00FFFFFFu;
constexpr quint32 MessageBox = 0x01000000u;
constexpr quint32 ConsoleLine = 0x02000000u;
constexpr quint32 ConsoleText = 0x04000000u;
constexpr quint32 Notice = 0x08000000u;
constexpr quint32 Warning = 0x20000000u;
constexpr quint32 Error = 0x40000000u;
constexpr quint32 FatalBox = 0x80000000u;
} // namespace LogFlag

// Source ids; "log.it" selects them by tag (see Log::idsForTag).
namespace LogSource {
constexpr quint32 App = 0;          // application object, process entry, WAVE writer
constexpr quint32 AudioOutput = 1;  // gui-audio
constexpr quint32 CommandLine = 2;  // util
constexpr quint32 Template = 3;     // templates
constexpr quint32 HttpServer = 4;   // http
constexpr quint32 HttpClient = 5;   // http: connections and outgoing requests
constexpr quint32 Receiver = 7;     // receiver
constexpr quint32 ReceiverDab = 9;  // receiver: DAB part and USB binding
constexpr quint32 Scheduler = 13;   // services
constexpr quint32 Service = 14;
constexpr quint32 ServiceAudio = 15;
constexpr quint32 ServiceBws = 16;
constexpr quint32 ServiceSpi = 17;
constexpr quint32 ServiceJournaline = 18;
constexpr quint32 ServiceManager = 19;
constexpr quint32 ServiceMot = 20;
constexpr quint32 ServiceSls = 22;
constexpr quint32 Settings = 26;    // util
constexpr quint32 Storage = 27;     // app
constexpr quint32 Singleton = 28;   // util
constexpr quint32 WebView = 30;     // gui
} // namespace LogSource

// The process-wide logger. Messages can go to a message box (console text
// without a display), to standard output, and to the current log file; log
// files exist only while the switch file "log.it" is in the data folder.
class Log
{
public:
    enum class BoxType { Information, Warning, Critical };
    // Shows one message box; always called on the main thread.
    using BoxPresenter = std::function<void(BoxType type, const QString &title, const QString &text)>;

    explicit Log(const QString &dataFolder);
    virtual ~Log();

    Log(const Log &) = delete;
    Log &operator=(const Log &) = delete;

    // The process-wide logger, null while there is none.
    static Log *instance() { return s_instance.load(std::memory_order_acquire); }
    static void setInstance(Log *log) { s_instance.store(log, std::memory_order_release); }

    // Whether a message with these flags would go anywhere: a box or the
    // console, or a log file that takes its source. Callers ask before they
    // build a message, so a message nobody reads costs no formatting.
    bool wants(quint32 flags) const;
    // Never fails towards the caller. Any thread.
    void write(const char *sourceFile, const int *line, quint32 flags, const QString &message);
    void openNewFile();

    bool isEnabled() const { return m_enabled; }
    bool isWritingFile() const;
    QString currentFileName() const;
    QVector<int> enabledIds() const { return m_enabledIds; }

    QString helpText() const;
    QByteArray buildBanner() const;
    static QByteArray bannerRow(const QByteArray &name, const QByteArray &value);
    static QVector<int> idsForTag(const QString &tag);

    // Title of boxes and of the console header of errors.
    static void setApplicationTitle(const QString &title);
    static QString applicationTitle();
    // With a presenter and the GUI flag on, boxes are shown through it on the
    // main thread; otherwise they become console text.
    static void setBoxPresenter(BoxPresenter presenter);

private:
    bool goesToFile(quint32 flags) const;
    void showBox(quint32 flags, const QString &message);

    QFile *m_file = nullptr;
    bool m_enabled = false;
    QString m_dataFolder;
    QString m_logsFolder;
    QByteArray m_banner;
    mutable QMutex m_mutex;
    QVector<int> m_enabledIds;

    static std::atomic<Log *> s_instance;
};

// An object's address as the log lines show it: lower-case hex, no prefix.
QString logAddress(const void *object);

// Writes through the process-wide logger when it exists; the message is not
// even built when there is none, or when it would go nowhere.
#define ZOZ_LOG(flags, message)                                                   \
    do {                                                                          \
        ::ZOZ::Log *zozLog_ = ::ZOZ::Log::instance();                             \
        const quint32 zozLogFlags_ = (flags);                                     \
        if (zozLog_ && zozLog_->wants(zozLogFlags_)) {                            \
            static const int zozLogLine_ = __LINE__;                              \
            zozLog_->write(__FILE__, &zozLogLine_, zozLogFlags_, (message));      \
        }                                                                         \
    } while (0)

} // namespace ZOZ
