#include "ZOZRecordingControl.h"

#include "base/ZOZLog.h"
#include "settings/ZOZSettings.h"

namespace ZOZ {

namespace {

constexpr quint32 LogRecordingError = LogSource::ServiceAudio | LogFlag::Error;

} // namespace

RecordingControl::RecordingControl(Settings *settings, Notifier notifier)
    : m_settings(settings)
    , m_notifier(std::move(notifier))
{
}

void RecordingControl::startManual()
{
    {
        QMutexLocker locker(&m_mutex);
        // A press while a recording runs keeps that one going.
        if (m_settings && m_settings->isAudioRecording())
            return;
        ++m_session;
        m_scheduled = false;
        m_scheduledLabel.clear();
    }
    if (m_settings)
        m_settings->setIsAudioRecording(true);
}

void RecordingControl::startScheduled(const QString &label)
{
    {
        QMutexLocker locker(&m_mutex);
        ++m_session;
        m_scheduled = true;
        m_scheduledLabel = label;
    }
    if (m_settings)
        m_settings->setIsAudioRecording(true);
}

void RecordingControl::stop()
{
    if (m_settings)
        m_settings->setIsAudioRecording(false);
    QMutexLocker locker(&m_mutex);
    m_scheduled = false;
    m_scheduledLabel.clear();
}

bool RecordingControl::isRecording() const
{
    return m_settings && m_settings->isAudioRecording();
}

bool RecordingControl::isScheduled() const
{
    QMutexLocker locker(&m_mutex);
    return m_scheduled;
}

QString RecordingControl::scheduledLabel() const
{
    QMutexLocker locker(&m_mutex);
    return m_scheduledLabel;
}

RecordingStatus RecordingControl::status() const
{
    RecordingStatus status;
    status.requested = isRecording();
    QMutexLocker locker(&m_mutex);
    status.scheduled = m_scheduled;
    status.fileOpen = m_fileOpen;
    if (m_fileOpen) {
        status.fileName = m_fileName;
        status.serviceLabel = m_serviceLabel;
        status.format = int(m_format);
        status.elapsedMs = m_openedAt.elapsed();
    }
    return status;
}

quint64 RecordingControl::session() const
{
    QMutexLocker locker(&m_mutex);
    return m_session;
}

void RecordingControl::fileOpened(const QString &fileName, const QString &serviceLabel, RecordingFormat format)
{
    QMutexLocker locker(&m_mutex);
    m_fileOpen = true;
    m_fileName = fileName;
    m_serviceLabel = serviceLabel;
    m_format = format;
    m_openedAt.start();
}

void RecordingControl::fileClosed()
{
    QMutexLocker locker(&m_mutex);
    m_fileOpen = false;
    m_fileName.clear();
    m_serviceLabel.clear();
}

void RecordingControl::fail(const QString &text)
{
    ZOZ_LOG(LogRecordingError, QStringLiteral("RecordingControl::fail() -> recording stopped: %1").arg(text));
    stop();
    notify(QStringLiteral("error"), text);
}

void RecordingControl::notify(const QString &type, const QString &text, int durationSeconds) const
{
    if (m_notifier)
        m_notifier(type, text, durationSeconds);
}

} // namespace ZOZ
