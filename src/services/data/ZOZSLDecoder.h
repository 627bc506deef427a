#pragma once

#include <QByteArray>
#include <QMutex>
#include <QQueue>
#include <QString>
#include <QStringList>
#include <QThread>

#include "base/ZOZThreadRounds.h"

namespace ZOZ {

// The spoken labels of one SPI service: short MP4 audio clips (".m4a") that
// name a service. A worker thread ("SLDecoder") stores each clip in the
// "spokenlabels/" folder of the cache and starts an external decoder
// program that writes a ".wav" file beside it, which the selection plays
// when the service is chosen. The worker never waits for that program.
//
// The program is the file `ProgramName` in the process's current folder;
// without it the clips are only stored. It is started in the spoken-label
// folder with two names relative to it: the clip and the WAVE file to write.
class SLDecoder : public QThread
{
public:
    static constexpr int PollMs = 20;
    static constexpr unsigned long StopWaitMs = 1000;
    static constexpr const char *ProgramName = "zoz-sldecoder";
    static constexpr const char *FolderName = "spokenlabels/";

    // Starts the worker at the priority of the creating thread.
    SLDecoder();
    // Queued clips that were not stored yet are dropped.
    ~SLDecoder() override;

    // Queues one clip (the MOT object's name and body) for storing; any
    // thread. Waits while the worker stores the clip before it.
    void enqueue(const QString &name, const QByteArray &body);

    // The clip's file name inside the spoken-label folder: empty, "." and
    // ".." segments dropped; empty when nothing is left.
    static QString folderFileName(const QString &name);
    // The decoder program's arguments for a stored clip. A name that starts
    // with "-" is written "./-..." so the program cannot take it for an option.
    static QStringList decoderArguments(const QString &fileName);

protected:
    void run() override;

private:
    struct Clip
    {
        QString name;
        QByteArray body;
    };

    void store(const Clip &clip);
    void startDecoder(const QString &folder, const QString &fileName);

    ThreadRounds m_rounds;

    // Held while a clip is written and the decoder started.
    QMutex m_queueMutex;
    QQueue<Clip> m_queue;
};

} // namespace ZOZ
