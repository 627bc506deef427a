#pragma once

#include <QByteArray>
#include <QMap>
#include <QMutex>
#include <QString>

#include <functional>
#include <utility>

namespace ZOZ {

// Service logos of the programme guide. The guide names a logo by the
// object that carries it on an SPI service; the object may come before or
// after the guide names it. A logo is saved as "<service key>.<ext>" in the
// logo folder, where the pages find it.
//
// The request lock and the arrival lock are never held together; files are
// written outside both.
class SpiLogos
{
public:
    // Image objects kept while no guide names them: the newest are kept.
    static constexpr int MaxArrivedLogos = 64;
    static constexpr qsizetype MaxArrivedBytes = 4 * 1024 * 1024;
    static constexpr qsizetype MaxLogoBytes = 1024 * 1024;
    // Guide entries whose logo has not come yet.
    static constexpr int MaxRequests = 4096;
    // The MIME codes of stored objects that are logos: JPEG and PNG.
    static constexpr int JpegCode = 12;
    static constexpr int PngCode = 13;

    // Called after a logo file of a service was written or found unchanged.
    using Saved = std::function<void(quint32 sid, const QString &serviceKey)>;

    explicit SpiLogos(Saved saved);

    void setFolder(const QString &folder);
    QString folder() const;

    // The guide chose `objectName` on `spiServiceId` as the logo of a service.
    void request(const QString &serviceKey, quint32 sid, const QString &spiServiceId, const QString &objectName);
    // An object arrived on `spiServiceId`; only JPEG and PNG images are logos.
    void arrive(const QString &spiServiceId, const QString &objectName, int mimeCode, const QByteArray &bytes);

    // The file extension a logo object's name gives: its last ".xxx" when
    // that is 1 to 5 letters or digits, else ".png".
    static QString extensionOf(const QString &objectName);
    int arrivedCount() const;

private:
    struct Request
    {
        quint32 sid = 0;
        QString spiServiceId;
        QString objectName;
    };
    using ArrivalKey = std::pair<QString, QString>; // SPI service id, object name
    struct Arrival
    {
        QByteArray bytes;
        quint64 order = 0;
    };

    void save(const QString &serviceKey, quint32 sid, const QString &objectName, const QByteArray &bytes);
    void keepArrival(const ArrivalKey &key, const QByteArray &bytes);

    Saved m_saved;
    mutable QMutex m_folderMutex;
    QString m_folder;
    QMutex m_requestMutex;
    QMap<QString, Request> m_requests; // by service key
    mutable QMutex m_arrivalMutex;
    QMap<ArrivalKey, Arrival> m_arrivals;
    qsizetype m_arrivedBytes = 0;
    quint64 m_arrivalOrder = 0;
};

} // namespace ZOZ
