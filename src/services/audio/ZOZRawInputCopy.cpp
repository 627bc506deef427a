#include "ZOZRawInputCopy.h"

#include "ZOZRecorder.h"
#include "base/ZOZPaths.h"

#include <QDir>
#include <QFileInfo>

namespace ZOZ {

RawInputCopy::RawInputCopy(NameChange nameChange)
    : m_nameChange(nameChange)
{
}

QString RawInputCopy::fileName(const QString &identityText, quint32 identityNumber, quint32 numChannels,
                               quint32 sampleRate, quint32 bitsPerSample, const QString &suffix)
{
    // The identity holds the broadcast's short label, which must not lead the
    // file out of the folder.
    return dataFolder() + QStringLiteral("audio/audio-%1-%2-%3_%4_%5")
                              .arg(Recorder::cleanName(identityText))
                              .arg(identityNumber)
                              .arg(numChannels)
                              .arg(sampleRate)
                              .arg(bitsPerSample)
        + suffix;
}

RawInputCopy::Result RawInputCopy::append(const QString &fileName, const char *data, qint64 length)
{
    if (m_stopped)
        return Result::Stopped;
    if (m_file.fileName() != fileName) {
        if (!m_file.isOpen()) {
            m_file.setFileName(fileName);
        } else if (m_nameChange == NameChange::RenameOpenFile) {
            QFile::remove(fileName);
            m_file.rename(fileName);
        }
    }
    if (!m_file.isOpen()) {
        QDir().mkpath(QFileInfo(m_file.fileName()).absolutePath());
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append)) {
            m_stopped = true;
            return Result::OpenFailed;
        }
    }
    m_file.write(data, length);
    // Whole pieces on disk at once, for a look while the service plays.
    m_file.flush();
    return Result::Written;
}

} // namespace ZOZ
