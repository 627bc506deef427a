#include "base/ZOZLog.h"

#include "base/ZOZVersion.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QRegularExpression>
#include <QThread>

#include <cstdio>

namespace ZOZ {

std::atomic<Log *> Log::s_instance{nullptr};

namespace {

constexpr int BannerWidth = 69;
constexpr int BannerNameWidth = 16;
constexpr qint64 SwitchFileLineBytes = 1023;

QMutex &staticMutex()
{
    static QMutex mutex;
    return mutex;
}

QString &titleStorage()
{
    static QString title = QStringLiteral("DAB Radarovaz");
    return title;
}

Log::BoxPresenter &presenterStorage()
{
    static Log::BoxPresenter presenter;
    return presenter;
}

void printOut(FILE *stream, const QByteArray &text)
{
    std::fwrite(text.constData(), 1, size_t(text.size()), stream);
    std::fflush(stream);
}

struct TagRow
{
    const char *tag;
    const char *description;
};

const TagRow tagRows[] = {
    {"app", "Main application relevant logs"},
    {"util", "Commandline parsing and other utils"},
    {"http", "Http server and client relevant logs"},
    {"receiver", "Receiver related log entries"},
    {"services", "Service manager, services and scheduler"},
    {"templates", "Template system (html/json)"},
    {"gui", "Graphical user interface related logs"},
    {"gui-audio", "Local audio playback related logs"},
};

} // namespace

Log::Log(const QString &dataFolder)
    : m_dataFolder(dataFolder)
    , m_logsFolder(dataFolder + QStringLiteral("logs/"))
{
    const QString switchFileName = m_dataFolder + QStringLiteral("log.it");
    QFile switchFile(switchFileName);
    if (!switchFile.exists())
        return;

    printOut(stdout, QStringLiteral("\n[LOG] log.it File exists ( '%1' )\n").arg(switchFileName).toUtf8());
    if (!switchFile.open(QIODevice::ReadOnly)) {
        printOut(stdout, "[LOG] could not open log.it File\n");
    } else {
        printOut(stdout, "[LOG] parsing log.it File\n");
        while (!switchFile.atEnd()) {
            const QByteArray line = switchFile.readLine(SwitchFileLineBytes + 1);
            if (line.isEmpty())
                break;
            m_enabledIds += idsForTag(QString::fromLocal8Bit(line).toLower().trimmed());
        }
        switchFile.close();
    }

    m_banner = buildBanner();
    m_enabled = true;
    openNewFile();
}

Log::~Log()
{
    QMutexLocker locker(&m_mutex);
    if (m_file) {
        m_file->close();
        delete m_file;
        m_file = nullptr;
    }
}

bool Log::isWritingFile() const
{
    QMutexLocker locker(&m_mutex);
    return m_file != nullptr;
}

QString Log::currentFileName() const
{
    QMutexLocker locker(&m_mutex);
    return m_file ? m_file->fileName() : QString();
}

void Log::openNewFile()
{
    {
        QMutexLocker locker(&m_mutex);
        if (m_file) {
            m_file->close();
            delete m_file;
            m_file = nullptr;
        }
    }
    if (!m_enabled)
        return;

    QDir().mkpath(m_logsFolder);

    QMutexLocker locker(&m_mutex);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_hh-mm-ss"));
    auto *file = new QFile(m_logsFolder + QStringLiteral("log-%1.txt").arg(stamp));
    if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        printOut(stdout, QStringLiteral("[LOG] could not create logfile ( '%1' )\n").arg(file->fileName()).toUtf8());
        delete file;
        return;
    }
    printOut(stdout, QStringLiteral("[LOG] create new logfile ( '%1' )\n").arg(file->fileName()).toUtf8());
    file->write(m_banner);
    file->flush();
    m_file = file;
}

bool Log::goesToFile(quint32 flags) const
{
    // The switch file is read once, at construction: what it enables stays.
    const quint32 topByte = flags & 0xFF000000u;
    if (topByte == LogFlag::ConsoleLine || topByte == LogFlag::ConsoleText || !m_enabled)
        return false;
    return m_enabledIds.isEmpty() || m_enabledIds.contains(int(flags & LogFlag::SourceMask));
}

bool Log::wants(quint32 flags) const
{
    constexpr quint32 Shown = LogFlag::FatalBox | LogFlag::MessageBox | LogFlag::ConsoleLine | LogFlag::ConsoleText;
    return (flags & Shown) != 0 || goesToFile(flags);
}

void Log::write(const char *sourceFile, const int *line, quint32 flags, const QString &message)
{
    if (message.isEmpty())
        return;

    if (flags & (LogFlag::FatalBox | LogFlag::MessageBox))
        showBox(flags, message);

    if (flags & (LogFlag::ConsoleLine | LogFlag::ConsoleText)) {
        QByteArray text = message.toUtf8();
        if (flags & LogFlag::ConsoleLine)
            text += '\n';
        QMutexLocker locker(&m_mutex);
        printOut(stdout, text);
    }

    if (!goesToFile(flags))
        return;

    const QDateTime now = QDateTime::currentDateTime();
    QMutexLocker locker(&m_mutex);
    if (!m_file)
        return;
    const QDate date = now.date();
    const QTime time = now.time();
    const QString text = QStringLiteral("[%1-%2-%3 %4:%5:%6,%7](%8:%9): %10\n\n")
                             .arg(date.year(), 4, 10, QLatin1Char('0'))
                             .arg(date.month(), 2, 10, QLatin1Char('0'))
                             .arg(date.day(), 2, 10, QLatin1Char('0'))
                             .arg(time.hour(), 2, 10, QLatin1Char('0'))
                             .arg(time.minute(), 2, 10, QLatin1Char('0'))
                             .arg(time.second(), 2, 10, QLatin1Char('0'))
                             .arg(time.msec(), 3, 10, QLatin1Char('0'))
                             .arg(QString::fromLocal8Bit(sourceFile ? sourceFile : ""))
                             .arg(line ? *line : 0)
                             .arg(message);
    m_file->write(text.toUtf8());
    m_file->flush();
}

void Log::showBox(quint32 flags, const QString &message)
{
    const bool isError = flags & (LogFlag::FatalBox | LogFlag::Error);
    BoxPresenter presenter;
    {
        QMutexLocker locker(&staticMutex());
        presenter = presenterStorage();
    }
    QCoreApplication *app = QCoreApplication::instance();

    // Only a program with a display installs a presenter; without one, boxes
    // become console text.
    if (presenter && app) {
        BoxType type = BoxType::Information;
        QString title = QCoreApplication::translate("General", "Information");
        if (isError) {
            type = BoxType::Critical;
            title = QCoreApplication::translate("General", "Application Error");
        } else if (flags & LogFlag::Warning) {
            type = BoxType::Warning;
            title = QCoreApplication::translate("General", "Application Warning");
        }
        title = applicationTitle() + QStringLiteral(" - ") + title;
        // A box belongs to the main thread; a worker only leaves it there and goes on.
        if (QThread::currentThread() == app->thread())
            presenter(type, title, message);
        else
            QMetaObject::invokeMethod(app, [presenter, type, title, message] { presenter(type, title, message); },
                                      Qt::QueuedConnection);
        return;
    }

    QString plain = message;
    plain.replace(QStringLiteral("<br/>"), QStringLiteral("\n"));
    static const QRegularExpression tags(QStringLiteral("<[^>]*>"));
    plain.remove(tags);
    QMutexLocker locker(&m_mutex);
    if (isError)
        printOut(stderr, QStringLiteral("\n%1 v%2\n\n%3\n")
                             .arg(applicationTitle(), QString::fromLatin1(versionString()), plain)
                             .toUtf8());
    else
        printOut(stdout, QStringLiteral("\n%1\n").arg(plain).toUtf8());
}

QString Log::helpText() const
{
    QString text = QStringLiteral(
        "Please create a 'log.it' file in your home .zoz directory, e.g: '~/.zoz/log.it'\n"
        "to enable the logging feature ('%1').\n"
        "By default, all information is logged into a text file at\n"
        "'.zoz/logs/log-TIMESTAMP.txt' and every 2 hours a new log file will be started.\n"
        "You can filter log information by adding one or more of the following tags in a\n"
        "line-separated fashion into the 'log.it' file:\n"
        "\n")
                       .arg(m_dataFolder + QStringLiteral("log.it"));
    for (const TagRow &row : tagRows)
        text += QStringLiteral("  %1%2\n").arg(QLatin1String(row.tag), -12).arg(QLatin1String(row.description));
    return text;
}

QByteArray Log::bannerRow(const QByteArray &name, const QByteArray &value)
{
    QByteArray text = name;
    if (!value.isEmpty()) {
        while (text.size() < BannerNameWidth)
            text += ' ';
        text += ": " + value;
    }
    QByteArray line = '*' + text;
    while (line.size() < BannerWidth)
        line += ' ';
    return line + "*\r\n";
}

QByteArray Log::buildBanner() const
{
    QByteArray banner = '/' + QByteArray(BannerWidth, '*') + "\r\n";
    banner += bannerRow(" ZOZ DAB Radarovaz - DAB/DAB+ digital radio player", QByteArray());
    banner += '*' + QByteArray(BannerWidth - 1, '-') + "*\r\n";
    banner += bannerRow("  Copyright", "(c) Dadidozor DAZ");
    banner += bannerRow("  Version", QByteArray(versionString()) + "  " + buildDateTime().toLatin1());
    banner += bannerRow("  Receiver", "DAB");
    banner += bannerRow("  Statistics", "disabled");
    banner += bannerRow("  Gui", "enabled");
    banner += bannerRow("  Remote Access", "disabled");
    banner += bannerRow("  Audio", "supported");
    banner += QByteArray(BannerWidth, '*') + "/\r\n";
    return banner;
}

QVector<int> Log::idsForTag(const QString &tag)
{
    if (tag == QLatin1String("app"))
        return {0, 12, 27};
    if (tag == QLatin1String("util"))
        return {2, 26, 28};
    if (tag == QLatin1String("http"))
        return {4, 5};
    if (tag == QLatin1String("receiver"))
        return {7, 8, 9, 10, 11};
    if (tag == QLatin1String("services"))
        return {13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25};
    if (tag == QLatin1String("templates"))
        return {3, 6};
    if (tag == QLatin1String("gui"))
        return {29, 30};
    if (tag == QLatin1String("gui-audio"))
        return {1};
    return {};
}

void Log::setApplicationTitle(const QString &title)
{
    QMutexLocker locker(&staticMutex());
    titleStorage() = title;
}

QString Log::applicationTitle()
{
    QMutexLocker locker(&staticMutex());
    return titleStorage();
}

QString logAddress(const void *object)
{
    return QString::number(quintptr(object), 16);
}

void Log::setBoxPresenter(BoxPresenter presenter)
{
    QMutexLocker locker(&staticMutex());
    presenterStorage() = std::move(presenter);
}

} // namespace ZOZ
