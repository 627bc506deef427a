#pragma once

#include <QFile>
#include <QString>

namespace ZOZ {

// A debug copy of the coded bytes an audio service receives, appended to one
// file in the per-user "audio/" folder. A file that cannot be opened stops the
// copy for good: the service keeps playing and does not retry on every piece.
class RawInputCopy
{
public:
    // What a new name does to a file already open.
    enum class NameChange
    {
        RenameOpenFile, // the open file takes the new name (an old file of that name goes)
        KeepOpenFile,   // the open file keeps its name; the new one counts once none is open
    };

    enum class Result
    {
        Written,
        OpenFailed, // just now; the copy has stopped
        Stopped,    // an earlier open failed
    };

    explicit RawInputCopy(NameChange nameChange);

    // The file name for an identity of the service and its stream format,
    // ending in `suffix` (".raw", or ".24.dab" for a DAB+ sub-channel of size 24).
    static QString fileName(const QString &identityText, quint32 identityNumber, quint32 numChannels,
                            quint32 sampleRate, quint32 bitsPerSample, const QString &suffix);

    Result append(const QString &fileName, const char *data, qint64 length);
    bool isStopped() const { return m_stopped; }

private:
    QFile m_file;
    NameChange m_nameChange;
    bool m_stopped = false;
};

} // namespace ZOZ
