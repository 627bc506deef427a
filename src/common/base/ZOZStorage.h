#pragma once

#include <QDataStream>
#include <QFile>
#include <QString>

#include <memory>

class QSaveFile;

namespace ZOZ {

// Base of every cache file: a Qt 4.8 data stream that starts with the magic
// "ZOZ-STORAGE", a format version and the cache type, followed by the payload
// of the cache type. A cache object is short-lived: construct it (read mode),
// check isValid(), read or write, destroy it.
//
// Writes go to a temporary file that replaces the cache only when complete,
// so a crash or a full disk never destroys the previous cache.
class Storage
{
public:
    enum Type : qint32 {
        JournalineType = 0,
        DabEnsembleType = 1,
        SchedulerType = 2,
        SpiType = 3,
    };

    static const QString Magic;
    static constexpr int StreamVersion = QDataStream::Qt_4_8;

    Storage(const QString &directory, const QString &fileName, qint32 type);
    virtual ~Storage();
    Storage(const Storage &) = delete;
    Storage &operator=(const Storage &) = delete;

    virtual bool isValid() const = 0;

    quint32 version() const { return m_version; }
    qint32 type() const { return m_type; }
    QString filePath() const { return m_file.fileName(); }

protected:
    // Reopens the file for reading and checks its header.
    void setReadMode();
    // Starts a new file with the header for `version`. False (and an error
    // log line) when the folder or the file cannot be created.
    bool setWriteMode(quint32 version);
    // Ends write mode: the new file replaces the old one only when every byte
    // was written. False (with a log line) otherwise.
    bool finishWrite();
    bool hasReadDevice() const { return m_stream.device() == &m_file; }

    bool m_valid = false;
    quint32 m_version = 0;
    QDataStream m_stream;
    QString m_directory;
    QFile m_file;
    std::unique_ptr<QSaveFile> m_saveFile;
    qint32 m_type;
};

// Capped readers for cache payloads. Each one checks the length or count it
// reads against its cap and against the bytes left in the file before it
// allocates anything; on a bad value it sets the stream status to
// ReadCorruptData (or ReadPastEnd) and returns false. A stream whose status is
// not Ok reads nothing more.
namespace StorageRead {

// Longest text a cache holds (labels, names, descriptions).
constexpr quint32 MaxStringBytes = 64 * 1024;

bool string(QDataStream &stream, QString &out, quint32 maxBytes = MaxStringBytes);
bool byteArray(QDataStream &stream, QByteArray &out, quint32 maxBytes);
// A qint32 list count in 0..maxCount whose items, at minItemBytes each, still
// fit into what is left of the file.
bool count(QDataStream &stream, qint32 &out, qint32 maxCount, qint64 minItemBytes);
// Marks the stream corrupt; returns false for convenience.
bool fail(QDataStream &stream);

} // namespace StorageRead

} // namespace ZOZ
