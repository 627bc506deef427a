#include "base/ZOZStorage.h"

#include "base/ZOZLog.h"

#include <QDir>
#include <QSaveFile>

namespace ZOZ {

const QString Storage::Magic = QStringLiteral("ZOZ-STORAGE");

namespace {

// The magic is the only string of the header; anything longer is not ours.
constexpr quint32 MaxMagicBytes = 64;

qint64 bytesLeft(const QDataStream &stream)
{
    const QIODevice *device = stream.device();
    if (!device)
        return 0;
    if (device->isSequential())
        return device->bytesAvailable();
    return device->size() - device->pos();
}

} // namespace

Storage::Storage(const QString &directory, const QString &fileName, qint32 type)
    : m_directory(directory)
    , m_file(directory + fileName)
    , m_type(type)
{
    m_stream.setVersion(StreamVersion);
    setReadMode();
}

Storage::~Storage()
{
    m_stream.setDevice(nullptr);
    if (m_saveFile)
        m_saveFile->cancelWriting();
}

void Storage::setReadMode()
{
    m_stream.setDevice(nullptr);
    m_saveFile.reset();
    m_file.close();
    m_valid = false;
    if (!m_file.open(QIODevice::ReadOnly))
        return;
    m_stream.resetStatus();
    m_stream.setDevice(&m_file);

    QString magic;
    qint32 version = 0;
    qint32 type = -1;
    if (!StorageRead::string(m_stream, magic, MaxMagicBytes))
        return;
    m_stream >> version >> type;
    if (m_stream.status() != QDataStream::Ok)
        return;
    m_version = quint32(version);
    // Any non-zero version is accepted here; each cache type decides what it
    // can read of it.
    m_valid = magic == Magic && m_version != 0 && type == m_type;
}

bool Storage::setWriteMode(quint32 version)
{
    m_stream.setDevice(nullptr);
    m_file.close();
    m_version = version;
    QDir().mkpath(m_directory.isEmpty() ? QStringLiteral(".") : m_directory);
    m_saveFile = std::make_unique<QSaveFile>(m_file.fileName());
    if (!m_saveFile->open(QIODevice::WriteOnly)) {
        ZOZ_LOG(LogSource::Storage | LogFlag::Error,
                QStringLiteral("Storage::setWriteMode -> error: could not open storage file to write into (filename: %1)")
                    .arg(m_file.fileName()));
        m_saveFile.reset();
        return false;
    }
    m_stream.resetStatus();
    m_stream.setDevice(m_saveFile.get());
    m_stream << Magic << qint32(version) << qint32(m_type);
    return true;
}

bool Storage::finishWrite()
{
    if (!m_saveFile)
        return false;
    const bool streamOk = m_stream.status() == QDataStream::Ok;
    m_stream.setDevice(nullptr);
    if (!streamOk)
        m_saveFile->cancelWriting();
    const bool committed = m_saveFile->commit();
    if (!committed) {
        ZOZ_LOG(LogSource::Storage | LogFlag::Error,
                QStringLiteral("Storage::finishWrite -> error: could not write storage file, previous file kept (filename: %1, reason: %2)")
                    .arg(m_file.fileName(), m_saveFile->errorString()));
    }
    m_saveFile.reset();
    return committed;
}

namespace StorageRead {

bool fail(QDataStream &stream)
{
    if (stream.status() == QDataStream::Ok)
        stream.setStatus(QDataStream::ReadCorruptData);
    return false;
}

namespace {

// Reads a length-prefixed block: false with the stream's status set when the
// length is over the cap, odd where it must be even, or beyond the file.
// `isNull` reports the 0xFFFFFFFF length of a null value.
bool readBlock(QDataStream &stream, QByteArray &raw, quint32 maxBytes, bool evenLength, bool &isNull)
{
    raw.clear();
    isNull = false;
    if (stream.status() != QDataStream::Ok)
        return false;
    quint32 bytes = 0;
    stream >> bytes;
    if (stream.status() != QDataStream::Ok)
        return false;
    if (bytes == 0xFFFFFFFFu) {
        isNull = true;
        return true;
    }
    if ((evenLength && bytes % 2 != 0) || bytes > maxBytes)
        return fail(stream);
    if (qint64(bytes) > bytesLeft(stream)) {
        stream.setStatus(QDataStream::ReadPastEnd);
        return false;
    }
    raw.resize(qsizetype(bytes));
    if (stream.readRawData(raw.data(), int(bytes)) != int(bytes)) {
        raw.clear();
        stream.setStatus(QDataStream::ReadPastEnd);
        return false;
    }
    return true;
}

} // namespace

bool string(QDataStream &stream, QString &out, quint32 maxBytes)
{
    out.clear();
    QByteArray raw;
    bool isNull = false;
    if (!readBlock(stream, raw, maxBytes, true, isNull))
        return false;
    if (isNull) {
        out = QString();
        return true;
    }
    const qsizetype units = raw.size() / 2;
    out.resize(units);
    const auto *in = reinterpret_cast<const uchar *>(raw.constData());
    for (qsizetype i = 0; i < units; ++i)
        out[i] = QChar(char16_t((in[2 * i] << 8) | in[2 * i + 1]));
    return true;
}

bool byteArray(QDataStream &stream, QByteArray &out, quint32 maxBytes)
{
    bool isNull = false;
    if (!readBlock(stream, out, maxBytes, false, isNull))
        return false;
    if (isNull)
        out = QByteArray();
    return true;
}

bool count(QDataStream &stream, qint32 &out, qint32 maxCount, qint64 minItemBytes)
{
    out = 0;
    if (stream.status() != QDataStream::Ok)
        return false;
    qint32 value = 0;
    stream >> value;
    if (stream.status() != QDataStream::Ok)
        return false;
    if (value < 0 || value > maxCount)
        return fail(stream);
    if (qint64(value) * minItemBytes > bytesLeft(stream)) {
        stream.setStatus(QDataStream::ReadPastEnd);
        return false;
    }
    out = value;
    return true;
}

} // namespace StorageRead

} // namespace ZOZ
