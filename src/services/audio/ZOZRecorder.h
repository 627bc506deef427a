#pragma once

#include "ZOZAudioStream.h"
#include "ZOZRecordingControl.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QString>

#include <cstdint>

namespace ZOZ {

// What a recording needs to know of the service it records.
struct RecordingSource
{
    QString serviceLabel;
    int recordingType = 0; // Settings::RecordingType; 0 while no codec is known
    QString rawExtension;  // of the coded bytes: "mp2", "dab"
    AudioFormat format;
    bool playing = false;
};

// One audio service's recording file. It follows the recording flag: opens a
// file on the first write the flag asks for, in the format the settings hold
// for the service's recording type, and closes it when the flag goes off, the
// time limit is reached, a new recording starts or the stream format changes.
// A file that cannot be written ends the recording, never the program. Runs on
// the service's data thread under the service mutex.
class Recorder
{
public:
    // WAVE sizes have 32 bits; a longer recording goes on in a new file.
    static constexpr qint64 MaxWaveBytes = 0xFFFFFFFFll - 36;

    Recorder() = default;
    ~Recorder();
    Recorder(const Recorder &) = delete;
    Recorder &operator=(const Recorder &) = delete;

    // Null: nothing is recorded and an open file is closed.
    void setControl(RecordingControl *control);

    // Once per packet: the time limit, the end of a recording whose flag went
    // off or whose start is not the current one, and a format that cannot be recorded.
    void poll(const RecordingSource &source);
    // True when this service's output in `format` is to be recorded now.
    bool wants(RecordingFormat format, const RecordingSource &source) const;
    // Appends coded bytes (raw) or 16-bit PCM (WAVE), opening the file first.
    void write(RecordingFormat format, const RecordingSource &source, const char *data, qint64 bytes);
    // The stream format changed: the next write starts a new file.
    void restart();

    bool isOpen() const { return m_file.isOpen(); }
    QString fileName() const { return m_file.fileName(); }

    // The file name of a recording made at `when`.
    static QString recordingFileName(const QString &directory, const QDateTime &when, const QString &serviceLabel,
                                     const QString &scheduleLabel, const QString &extension);
    // A label made fit for a file name: separators and the characters file
    // systems refuse become "_", as does every run of white space.
    static QString cleanName(const QString &label);

private:
    bool open(RecordingFormat format, const RecordingSource &source);
    // `notifyStop`: a manual recording tells the user it ended.
    void close(bool notifyStop);
    void writeFailed();

    RecordingControl *m_control = nullptr;
    QFile m_file;
    RecordingFormat m_format = RecordingFormat::Raw;
    QString m_directory;
    quint64 m_session = 0;
    bool m_isManual = false;
    QString m_serviceLabel;
    QElapsedTimer m_started;
};

} // namespace ZOZ
