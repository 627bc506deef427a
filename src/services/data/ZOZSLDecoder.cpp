#include "ZOZSLDecoder.h"

#include "base/ZOZLog.h"
#include "base/ZOZPaths.h"
#include "base/ZOZThreadName.h"
#include "settings/ZOZSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

namespace ZOZ {

SLDecoder::SLDecoder()
{
    start(QThread::InheritPriority);
}

SLDecoder::~SLDecoder()
{
    m_rounds.stop();
    // One pass writes one small file, so the worker ends well within the
    // wait; it is never cut off in the middle of writing a clip.
    if (!wait(StopWaitMs)) {
        ZOZ_LOG(LogSource::ServiceSpi | LogFlag::Warning,
                QStringLiteral("SLDecoder::~SLDecoder() -> the worker is late to end"));
        wait();
    }
    QMutexLocker locker(&m_queueMutex);
    m_queue.clear();
}

void SLDecoder::enqueue(const QString &name, const QByteArray &body)
{
    QMutexLocker locker(&m_queueMutex);
    m_queue.enqueue({name, body});
}

QString SLDecoder::folderFileName(const QString &name)
{
    return withoutDotSegments(name);
}

QStringList SLDecoder::decoderArguments(const QString &fileName)
{
    static const QRegularExpression m4a(QStringLiteral("m4a"), QRegularExpression::CaseInsensitiveOption);
    QString clip = fileName;
    if (clip.startsWith(QLatin1Char('-')))
        clip.prepend(QLatin1String("./"));
    QString wave = clip;
    wave.replace(m4a, QStringLiteral("wav"));
    return {clip, wave};
}

void SLDecoder::run()
{
    setThreadName("SLDecoder");
    ZOZ_LOG(LogSource::ServiceSpi, QStringLiteral("SLDecoder::run()"));
    while (m_rounds.waitNextRound(PollMs)) {
        QMutexLocker locker(&m_queueMutex);
        if (!m_queue.isEmpty())
            store(m_queue.dequeue());
    }
    ZOZ_LOG(LogSource::ServiceSpi, QStringLiteral("SLDecoder::run() -> leaving main loop"));
}

void SLDecoder::store(const Clip &clip)
{
    const Settings *settings = Settings::instance();
    const QString folder = (settings ? settings->cachePath() : QString()) + QLatin1String(FolderName);
    if (!QDir().mkpath(folder)) {
        ZOZ_LOG(LogSource::ServiceSpi | LogFlag::Warning,
                QStringLiteral("SLDecoder::run() -> warning: could not create spokenlabels cache directory (%1), "
                               "skipping an audio file [filename: %2]")
                    .arg(folder, clip.name));
        return;
    }
    const QString fileName = folderFileName(clip.name);
    const QString path = folder + fileName;
    const QString parent = QFileInfo(path).absolutePath();
    // A clip never lands outside the folder, not even through a link in it;
    // no sub-folder is made before that is known.
    if (fileName.isEmpty() || !liesInFolder(parent, folder) || !QDir().mkpath(parent)
        || !liesInFolder(parent, folder)) {
        ZOZ_LOG(LogSource::ServiceSpi | LogFlag::Warning,
                QStringLiteral("SLDecoder::run() -> warning: refusing an audio file outside the spokenlabels "
                               "cache directory [filename: %1]")
                    .arg(clip.name));
        return;
    }
    // Written under a temporary name first, so an old clip stays whole until
    // the new one is complete. Links left at either name are replaced, never followed.
    const QString temporary = path + QLatin1String(".tmp");
    QFile::remove(temporary);
    QFile file(temporary);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        const bool written = file.write(clip.body) == clip.body.size();
        file.close();
        if (written) {
            QFile::remove(path);
            QFile::rename(temporary, path);
        } else {
            QFile::remove(temporary);
        }
    }
    startDecoder(folder, fileName);
}

void SLDecoder::startDecoder(const QString &folder, const QString &fileName)
{
    const QString program = QDir::currentPath() + QLatin1Char('/') + QLatin1String(ProgramName);
    if (!QFileInfo(program).isFile() || !QFileInfo::exists(folder + fileName))
        return;
    QProcess::startDetached(program, decoderArguments(fileName), folder);
}

} // namespace ZOZ
