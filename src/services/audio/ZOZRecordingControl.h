#pragma once

#include <QElapsedTimer>
#include <QMutex>
#include <QString>

#include <functional>

namespace ZOZ {

class Settings;

// Recording formats as the settings hold them per recording type.
enum class RecordingFormat { Raw = 0, Wave = 1, Mp4 = 2 };

// What the pages and the scheduler see of the recording.
struct RecordingStatus
{
    bool requested = false; // the recording flag is on
    bool scheduled = false; // asked for by the scheduler, not by the record button
    bool fileOpen = false;  // a file is being written
    QString fileName;       // full path of the file being written, empty while none
    QString serviceLabel;   // the service being recorded
    int format = -1;        // RecordingFormat of the open file, -1 while none
    qint64 elapsedMs = 0;   // since the file was opened

    bool operator==(const RecordingStatus &) const = default;
};

// The one place recordings are asked for and seen. The record button and the
// scheduler start and stop here; the audio service that plays follows the
// settings' recording flag on its data thread, opens the file in the format the
// settings hold for its recording type, and reports the file back. Select the
// service first: a recording always records the service that plays. Every
// member may be called from any thread.
class RecordingControl
{
public:
    // Posts a user notification: its type ("recording-start", "recording-stop",
    // "info", "error"), text and how long it stays (seconds, -1 until dismissed).
    using Notifier = std::function<void(const QString &type, const QString &text, int durationSeconds)>;

    RecordingControl(Settings *settings, Notifier notifier);

    // The record button: a manual recording, which the time limit ends.
    void startManual();
    // A planned recording: `label` (may be empty) follows the service's name in
    // the file name; no time limit. A recording already running is closed first
    // and the new one goes to a new file.
    void startScheduled(const QString &label);
    // Ends whatever records; the file is complete with the next packet.
    void stop();

    bool isRecording() const;
    bool isScheduled() const;
    QString scheduledLabel() const;
    RecordingStatus status() const;

    // For the recording audio service.
    Settings *settings() const { return m_settings; }
    // Counts the starts: a service whose file belongs to an older start closes it.
    quint64 session() const;
    void fileOpened(const QString &fileName, const QString &serviceLabel, RecordingFormat format);
    void fileClosed();
    // The recording cannot go on (file not writable, disk full, format not
    // available): the flag goes off, the user is told, playing goes on.
    void fail(const QString &text);
    void notify(const QString &type, const QString &text, int durationSeconds = -1) const;

private:
    Settings *m_settings;
    Notifier m_notifier;
    mutable QMutex m_mutex;
    quint64 m_session = 0;
    bool m_scheduled = false;
    QString m_scheduledLabel;
    bool m_fileOpen = false;
    QString m_fileName;
    QString m_serviceLabel;
    RecordingFormat m_format = RecordingFormat::Raw;
    QElapsedTimer m_openedAt;
};

} // namespace ZOZ
