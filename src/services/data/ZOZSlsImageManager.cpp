#include "ZOZSlsImageManager.h"

#include "ZOZSharedInstance.h"

#include <QEventLoop>
#include <QMimeDatabase>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>
#include <QUrl>

namespace ZOZ {

std::shared_ptr<SlsImageManager> SlsImageManager::shared()
{
    static SharedInstance<SlsImageManager> instance;
    return instance.get([] { return std::make_shared<SlsImageManager>(); });
}

bool SlsImageManager::take(const SlideImage &from, SlideImage &image)
{
    if (from.data == image.data)
        return false;
    image.time = from.time;
    image.mime = from.mime;
    image.data = from.data;
    image.preview.clear();
    image.previewDue = !image.data.isEmpty();
    return true;
}

bool SlsImageManager::download(const QString &url, SlideImage &image)
{
    if (url.isEmpty())
        return false;
    QMutexLocker locker(&m_mutex);
    auto known = m_entries.find(url);
    if (known != m_entries.end() && known->age.isValid() && known->age.elapsed() < KeepMs)
        return take(known->image, image);
    SlideImage fetched;
    if (!fetch(url, fetched))
        return false;
    Entry &entry = m_entries[url];
    entry.age.start();
    entry.image = fetched;
    return take(fetched, image);
}

bool SlsImageManager::fetch(const QString &url, SlideImage &image)
{
    const QUrl address(url, QUrl::StrictMode);
    if (!address.isValid() || address.host().isEmpty()
        || (address.scheme() != QLatin1String("http") && address.scheme() != QLatin1String("https")))
        return false;
    QNetworkAccessManager network;
    QNetworkRequest request(address);
    request.setTransferTimeout(TimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply *reply = network.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64 total) {
        if (received > MaxBytes || total > MaxBytes)
            reply->abort();
    });
    // The transfer time-out covers a silent server; this one a slow trickle.
    QTimer::singleShot(TotalTimeoutMs, &loop, [reply] { reply->abort(); });
    if (!reply->isFinished())
        loop.exec();
    const bool ok = reply->error() == QNetworkReply::NoError
                    && reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200;
    if (ok) {
        image.data = reply->readAll();
        image.mime = reply->header(QNetworkRequest::ContentTypeHeader).toString().section(QLatin1Char(';'), 0, 0).trimmed();
        if (image.mime.isEmpty()) {
            const QMimeType type = QMimeDatabase().mimeTypeForFile(address.path(), QMimeDatabase::MatchExtension);
            image.mime = type.isDefault() ? QStringLiteral("image/jpeg") : type.name();
        }
        image.time = QDateTime::currentDateTimeUtc();
    }
    delete reply;
    return ok && !image.data.isEmpty();
}

} // namespace ZOZ
