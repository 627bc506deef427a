#include "ZOZRecorder.h"

#include "ZOZWaveFile.h"
#include "base/ZOZDurationText.h"
#include "base/ZOZLog.h"
#include "settings/ZOZSettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

namespace ZOZ {

namespace {

constexpr quint32 LogRecording = LogSource::ServiceAudio;
constexpr quint32 LogRecordingError = LogSource::ServiceAudio | LogFlag::Error;
constexpr int RecordedBits = 16;
// Keeps the whole name within the 255 bytes most file systems allow.
constexpr int MaxScheduleLabel = 100;
// Files of the same second get a number rather than overwrite each other.
constexpr int MaxNameAttempts = 1000;

QString notificationText(const char *text)
{
    return QCoreApplication::translate("Notifications", text);
}

QString extensionOf(RecordingFormat format, const RecordingSource &source)
{
    switch (format) {
    case RecordingFormat::Raw: return source.rawExtension.isEmpty() ? QStringLiteral("unknown") : source.rawExtension;
    case RecordingFormat::Wave: return QStringLiteral("wav");
    case RecordingFormat::Mp4: return QStringLiteral("DAB+.mp4");
    }
    return QStringLiteral("unknown");
}

// A name not yet taken: the plain one, else "<name>-2.<ext>", "-3" ...
QString freeFileName(const QString &fileName, const QString &extension)
{
    if (!QFileInfo::exists(fileName))
        return fileName;
    const QString stem = fileName.chopped(extension.size() + 1);
    for (int n = 2; n < MaxNameAttempts; ++n) {
        const QString candidate = QStringLiteral("%1-%2.%3").arg(stem).arg(n).arg(extension);
        if (!QFileInfo::exists(candidate))
            return candidate;
    }
    return fileName;
}

} // namespace

Recorder::~Recorder()
{
    close(false);
}

void Recorder::setControl(RecordingControl *control)
{
    if (control == m_control)
        return;
    close(false);
    m_control = control;
}

QString Recorder::cleanName(const QString &label)
{
    static const QRegularExpression refused(QStringLiteral("[\\\\/:$?%*|\"<>\\x00-\\x1f\\x7f]"));
    static const QRegularExpression space(QStringLiteral("\\s+"));
    QString name = label;
    name.replace(refused, QStringLiteral("_"));
    name.replace(space, QStringLiteral("_"));
    return name;
}

QString Recorder::recordingFileName(const QString &directory, const QDateTime &when, const QString &serviceLabel,
                                    const QString &scheduleLabel, const QString &extension)
{
    QString stamp = when.toString(Qt::ISODate).left(19);
    stamp.replace(QLatin1Char(':'), QLatin1Char('.')).replace(QLatin1Char('T'), QLatin1Char('_'));
    QString name = stamp + QLatin1Char('-') + cleanName(serviceLabel.trimmed());
    if (!scheduleLabel.isEmpty())
        name += QLatin1Char('-') + cleanName(scheduleLabel.left(MaxScheduleLabel));
    return directory + name + QLatin1Char('.') + extension;
}

void Recorder::poll(const RecordingSource &source)
{
    if (!m_control) {
        close(false);
        return;
    }
    Settings *settings = m_control->settings();
    bool recording = settings && settings->isAudioRecording();
    if (recording && isOpen() && m_isManual) {
        const int limit = settings->audioRecordingTimelimit();
        if (limit > 0 && m_started.elapsed() > qint64(limit) * 1000) {
            settings->setIsAudioRecording(false);
            recording = false;
            m_control->notify(QStringLiteral("info"),
                              notificationText("<b>Timelimit reached</b><br/>Manual recording has been stopped<br/>"
                                               "(see settings, current timelimit: %1)")
                                  .arg(durationText(limit)));
        }
    }
    if (isOpen() && (!recording || m_session != m_control->session()))
        close(true);
    if (recording && source.playing && source.recordingType != 0
        && settings->audioRecordingFormat(source.recordingType) == int(RecordingFormat::Mp4))
        m_control->fail(notificationText("<b>Recording</b><br/>Recording in MP4 is not available in this version: "
                                         "choose WAVE or the sub-channel in the settings."));
}

bool Recorder::wants(RecordingFormat format, const RecordingSource &source) const
{
    if (!m_control || !source.playing || source.recordingType == 0)
        return false;
    const Settings *settings = m_control->settings();
    return settings && settings->isAudioRecording() && settings->audioRecordingFormat(source.recordingType) == int(format);
}

void Recorder::write(RecordingFormat format, const RecordingSource &source, const char *data, qint64 bytes)
{
    if (!m_control || bytes <= 0)
        return;
    const Settings *settings = m_control->settings();
    const bool stale = !isOpen() || m_format != format || m_session != m_control->session()
                       || m_directory != settings->audioRecordingDirectory()
                       || (format == RecordingFormat::Wave && m_file.size() + bytes > MaxWaveBytes);
    if (stale && !open(format, source))
        return;
    // Unbuffered: a full disk shows here, and what was written survives a killed process.
    const qint64 before = m_file.size();
    if (m_file.write(data, bytes) != bytes) {
        // A part of a write would leave half a sample frame at the end.
        m_file.resize(before);
        writeFailed();
        return;
    }
    if (format == RecordingFormat::Wave)
        finishWaveHeader(&m_file);
}

void Recorder::restart()
{
    close(false);
}

bool Recorder::open(RecordingFormat format, const RecordingSource &source)
{
    close(false);
    Settings *settings = m_control->settings();
    m_session = m_control->session();
    m_format = format;
    m_directory = settings->audioRecordingDirectory();
    QDir().mkpath(m_directory);
    const QString extension = extensionOf(format, source);
    const QString schedule = m_control->isScheduled() ? m_control->scheduledLabel() : QString();
    const QString name = freeFileName(
        recordingFileName(m_directory, QDateTime::currentDateTime(), source.serviceLabel, schedule, extension), extension);
    m_file.setFileName(name);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        ZOZ_LOG(LogRecordingError, QStringLiteral("ServiceAudio::openRecordingOutput() -> fatal error: could not open file "
                                                  "for recording output! (%1: %2)")
                                       .arg(name, m_file.errorString()));
        m_control->fail(notificationText("<b>Recording</b><br/>Could not open file for recording output!<br/>%1")
                            .arg(name.toHtmlEscaped()));
        return false;
    }
    if (format == RecordingFormat::Wave) {
        const QByteArray header =
            makeWaveHeader(source.format.sampleRate, source.format.numChannels, RecordedBits);
        if (m_file.write(header) != header.size()) {
            writeFailed();
            return false;
        }
    }
    m_isManual = !m_control->isScheduled();
    m_serviceLabel = source.serviceLabel;
    m_started.start();
    m_control->fileOpened(name, source.serviceLabel, format);
    ZOZ_LOG(LogRecording, QStringLiteral("ServiceAudio::openRecordingOutput() -> recording to '%1'").arg(name));
    if (m_isManual)
        m_control->notify(QStringLiteral("recording-start"),
                          notificationText("<b>Started manual recording</b><br/>%1:<br/>%2")
                              .arg(QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat),
                                   source.serviceLabel.toHtmlEscaped()));
    return true;
}

void Recorder::close(bool notifyStop)
{
    if (!isOpen())
        return;
    const int seconds = int(m_started.elapsed() / 1000);
    if (m_format == RecordingFormat::Wave)
        finishWaveHeader(&m_file);
    m_file.close();
    if (m_control) {
        m_control->fileClosed();
        if (notifyStop && m_isManual)
            m_control->notify(QStringLiteral("recording-stop"),
                              notificationText("<b>Stopped manual recording</b><br/>%1 (duration: %2)")
                                  .arg(m_serviceLabel.toHtmlEscaped(), durationText(seconds)));
    }
}

void Recorder::writeFailed()
{
    const QString name = m_file.fileName();
    const QString reason = m_file.errorString();
    ZOZ_LOG(LogRecordingError, QStringLiteral("ServiceAudio::writeRecordingOutput() -> error: could not write '%1': %2")
                                   .arg(name, reason));
    // What reached the disk stays a valid file.
    close(false);
    m_control->fail(
        notificationText("<b>Recording</b><br/>Recording has been stopped due to lack of free space/write error"));
}

} // namespace ZOZ
