#include "data/ZOZSpiLogos.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QVector>

namespace ZOZ {

namespace {

const QString DefaultExtension = QStringLiteral(".png");

// Service keys are hex numbers; nothing else may name a file.
bool isServiceKey(const QString &key)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{1,16}$"));
    return hex.match(key).hasMatch();
}

bool sameFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() != bytes.size())
        return false;
    return file.readAll() == bytes;
}

} // namespace

SpiLogos::SpiLogos(Saved saved)
    : m_saved(std::move(saved))
{
}

void SpiLogos::setFolder(const QString &folder)
{
    QMutexLocker locker(&m_folderMutex);
    m_folder = folder;
}

QString SpiLogos::folder() const
{
    QMutexLocker locker(&m_folderMutex);
    return m_folder;
}

QString SpiLogos::extensionOf(const QString &objectName)
{
    static const QRegularExpression extension(QStringLiteral("\\.[A-Za-z0-9]{1,5}$"));
    const QRegularExpressionMatch match = extension.match(objectName);
    return match.hasMatch() ? match.captured(0) : DefaultExtension;
}

int SpiLogos::arrivedCount() const
{
    QMutexLocker locker(&m_arrivalMutex);
    return int(m_arrivals.size());
}

void SpiLogos::request(const QString &serviceKey, quint32 sid, const QString &spiServiceId, const QString &objectName)
{
    if (!isServiceKey(serviceKey) || objectName.isEmpty())
        return;
    QByteArray bytes;
    {
        QMutexLocker locker(&m_arrivalMutex);
        const auto it = m_arrivals.find({spiServiceId, objectName});
        if (it != m_arrivals.end()) {
            bytes = it->bytes;
            m_arrivedBytes -= bytes.size();
            m_arrivals.erase(it);
        }
    }
    if (!bytes.isNull()) {
        save(serviceKey, sid, objectName, bytes);
        return;
    }
    QMutexLocker locker(&m_requestMutex);
    if (m_requests.size() >= MaxRequests && !m_requests.contains(serviceKey))
        return;
    m_requests.insert(serviceKey, Request {sid, spiServiceId, objectName});
}

void SpiLogos::arrive(const QString &spiServiceId, const QString &objectName, int mimeCode, const QByteArray &bytes)
{
    if ((mimeCode != JpegCode && mimeCode != PngCode) || objectName.isEmpty() || bytes.isEmpty()
        || bytes.size() > MaxLogoBytes)
        return;
    QVector<std::pair<QString, Request>> matched;
    {
        QMutexLocker locker(&m_requestMutex);
        for (auto it = m_requests.begin(); it != m_requests.end();) {
            if (it->spiServiceId == spiServiceId && it->objectName == objectName) {
                matched.append({it.key(), it.value()});
                it = m_requests.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const auto &[serviceKey, request] : std::as_const(matched))
        save(serviceKey, request.sid, objectName, bytes);
    if (matched.isEmpty())
        keepArrival({spiServiceId, objectName}, bytes);
}

void SpiLogos::keepArrival(const ArrivalKey &key, const QByteArray &bytes)
{
    QMutexLocker locker(&m_arrivalMutex);
    auto it = m_arrivals.find(key);
    if (it != m_arrivals.end()) {
        m_arrivedBytes -= it->bytes.size();
        m_arrivals.erase(it);
    }
    m_arrivals.insert(key, Arrival {bytes, ++m_arrivalOrder});
    m_arrivedBytes += bytes.size();
    while (m_arrivals.size() > MaxArrivedLogos || m_arrivedBytes > MaxArrivedBytes) {
        auto oldest = m_arrivals.begin();
        for (auto candidate = m_arrivals.begin(); candidate != m_arrivals.end(); ++candidate) {
            if (candidate->order < oldest->order)
                oldest = candidate;
        }
        m_arrivedBytes -= oldest->bytes.size();
        m_arrivals.erase(oldest);
    }
}

void SpiLogos::save(const QString &serviceKey, quint32 sid, const QString &objectName, const QByteArray &bytes)
{
    const QString logoFolder = folder();
    if (logoFolder.isEmpty() || !QDir().mkpath(logoFolder))
        return;
    const QDir dir(logoFolder);
    const QString fileName = serviceKey + extensionOf(objectName);
    const QString path = dir.filePath(fileName);
    if (!sameFile(path, bytes)) {
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
            return;
    }
    // The pages take the first file of the key: an older logo of another type goes.
    const QStringList others = dir.entryList({serviceKey + QStringLiteral(".*")}, QDir::Files);
    for (const QString &other : others) {
        if (other != fileName)
            QFile::remove(dir.filePath(other));
    }
    if (m_saved)
        m_saved(sid, serviceKey);
}

} // namespace ZOZ
