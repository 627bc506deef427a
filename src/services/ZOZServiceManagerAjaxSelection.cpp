// The ajax commands with which the pages choose what is heard.

#include "ZOZServiceManager.h"

#include "base/ZOZLog.h"
#include "ZOZService.h"
#include "ZOZServiceManagerPrivate.h"

#include <QCoreApplication>
#include <QReadLocker>
#include <QWriteLocker>

namespace ZOZ {

namespace {

constexpr quint32 LogManager = LogSource::ServiceManager;
constexpr quint32 LogManagerWarning = LogSource::ServiceManager | LogFlag::Warning;

const QByteArray Success = QByteArrayLiteral("{\"success\":true}");
const QByteArray Failure = QByteArrayLiteral("{\"success\":false}");

constexpr int RecordingWarningSeconds = 5;

bool parseDecimal(const QString &text, int &value)
{
    bool ok = false;
    value = text.toInt(&ok, 10);
    return ok;
}

// A selector id is -1 or four bytes; any other negative number names the
// highest ensemble, whose service index 255 can never be filled.
bool parseSelector(const QString &text, qint32 &selectorId)
{
    int value = 0;
    if (!parseDecimal(text, value))
        return false;
    selectorId = value;
    return true;
}

// Service identifiers are 16 or 32 bits; pages send them as unsigned or signed decimal.
bool parseServiceIdentifier(const QString &text, int &identifier)
{
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok, 10);
    if (!ok || value < qlonglong(INT_MIN) || value > qlonglong(UINT_MAX))
        return false;
    identifier = int(quint32(value));
    return true;
}

QString selectorText(qint32 selectorId)
{
    return QStringLiteral("%1,%2,%3,%4")
        .arg(Service::ensembleIndexOf(selectorId))
        .arg(Service::serviceIndexOf(selectorId))
        .arg(Service::componentIndexOf(selectorId))
        .arg(Service::dataIndexOf(selectorId));
}

void warn(const QString &message)
{
    ZOZ_LOG(LogManagerWarning, QStringLiteral("ServiceManager::httpAjaxRequest() -> warning: ") + message);
}

// The selector id of the command `key`; a bad one is logged as "<request> request
// with bad parameter" and answered as a failure.
bool readSelector(const HttpRequest &request, const QString &key, const char *requestName, qint32 &selectorId,
                  HttpResponse &response)
{
    const QString text = request.query.value(key);
    if (parseSelector(text, selectorId))
        return true;
    warn(QStringLiteral("%1 request with bad parameter (SID: %2)").arg(QLatin1String(requestName), text));
    response.body = Failure;
    return false;
}

// Reads the selector of the command `key`, logs "<request> request" and answers
// success; false when the selector was bad and the failure already answered.
bool readLoggedSelector(const HttpRequest &request, const QString &key, const char *requestName, qint32 &selectorId,
                        HttpResponse &response)
{
    if (!readSelector(request, key, requestName, selectorId, response))
        return false;
    ZOZ_LOG(LogManager, QStringLiteral("ServiceManager::httpAjaxRequest() -> %1 request (SID: %2)")
                            .arg(QLatin1String(requestName), selectorText(selectorId)));
    response.body = Success;
    return true;
}

} // namespace

void ServiceManager::applyToService(qint32 selectorId, HttpResponse &response,
                                    const std::function<void(Service *)> &action)
{
    Service *service = findService(selectorId, -1, -1);
    if (!service) {
        response.body = Failure;
        return;
    }
    action(service);
    service->release();
}

qint32 ServiceManager::announcementServiceId() const
{
    QMutexLocker locker(&d->announcementMutex);
    return d->announcementServiceId;
}

QString ServiceManager::lastSelectorId() const
{
    QMutexLocker locker(&d->notes.messageMutex);
    return d->notes.lastSelectorId;
}

void ServiceManager::setLastSelectorId(const HttpRequest &request)
{
    QMutexLocker locker(&d->notes.messageMutex);
    d->notes.lastSelectorId = request.query.value(QStringLiteral("selectorID"));
}

bool ServiceManager::refuseWhileRecording(HttpResponse &response)
{
    if (!d->settings || !d->settings->isAudioRecording())
        return false;
    addNotification(QStringLiteral("<b>")
                        + QCoreApplication::translate("General", "You may not select another service while recording is active!")
                        + QStringLiteral("</b>"),
                    QStringLiteral("error"), RecordingWarningSeconds, true, QStringLiteral("recording-warning"), false,
                    false);
    response.body = Failure;
    return true;
}

bool ServiceManager::ajaxReadLabel(const HttpRequest &request, HttpResponse &response)
{
    qint32 selectorId = -1;
    if (!readLoggedSelector(request, QStringLiteral("readLabel"), "readLabel", selectorId, response) || selectorId == -1)
        return true;
    applyToService(selectorId, response, [this](Service *service) { playSpokenLabel(service, true); });
    return true;
}

bool ServiceManager::ajaxSelectService(const HttpRequest &request, HttpResponse &response)
{
    qint32 selectorId = -1;
    if (!readSelector(request, QStringLiteral("selectService"), "select service", selectorId, response))
        return true;
    if (refuseWhileRecording(response))
        return true;
    const bool ignoreSpokenLabel = request.query.contains(QStringLiteral("ignoreSpokenLabel"));
    setLastSelectorId(request);
    ZOZ_LOG(LogManager, QStringLiteral("ServiceManager::httpAjaxRequest() -> select service request (SID: %1)")
                            .arg(selectorText(selectorId)));
    response.body = Success;
    if (selectorId == selectedServiceId())
        return true;
    if (selectorId == -1) {
        selectService(nullptr, false);
        return true;
    }
    QWriteLocker locker(&d->serviceListLock);
    Service *service = findService(selectorId);
    if (!service) {
        response.body = Failure;
        return true;
    }
    PointerLocker hold(service);
    selectService(service, ignoreSpokenLabel);
    return true;
}

bool ServiceManager::ajaxSelectServiceById(const HttpRequest &request, HttpResponse &response)
{
    const QString text = request.query.value(QStringLiteral("selectServiceById"));
    int identifier = 0;
    if (!parseServiceIdentifier(text, identifier)) {
        warn(QStringLiteral("select service request with bad parameter (sId: %1)").arg(text));
        response.body = Failure;
        return true;
    }
    if (refuseWhileRecording(response))
        return true;
    const bool ignoreSpokenLabel = request.query.contains(QStringLiteral("ignoreSpokenLabel"));
    setLastSelectorId(request);
    ZOZ_LOG(LogManager, QStringLiteral("ServiceManager::httpAjaxRequest() -> select service request (sId: %1)")
                            .arg(quint32(identifier)));
    Service *service = findService(-1, -1, identifier);
    if (!service) {
        response.body = Failure;
        return true;
    }
    selectService(service, ignoreSpokenLabel);
    service->release();
    response.body = Success;
    return true;
}

bool ServiceManager::ajaxSelectServiceDirected(const HttpRequest &request, HttpResponse &response)
{
    const QString text = request.query.value(QStringLiteral("selectServiceDirected"));
    int direction = -1;
    if (!parseDecimal(text, direction) || (direction != 0 && direction != 1)) {
        warn(QStringLiteral("could not set previous or next service (direction unknown: '%1' ?)").arg(text));
        setLastSelectorId(request);
        response.body = Failure;
        return true;
    }
    if (refuseWhileRecording(response))
        return true;
    setLastSelectorId(request);
    if (direction == 1)
        selectNextService();
    else
        selectPreviousService();
    response.body = Success;
    return true;
}

bool ServiceManager::ajaxSelectAnnouncement(const HttpRequest &request, HttpResponse &response)
{
    qint32 selectorId = -1;
    if (!readLoggedSelector(request, QStringLiteral("selectAnnouncement"), "select announcement", selectorId, response))
        return true;
    if (selectorId == announcementServiceId())
        return true;
    if (selectorId == -1) {
        QReadLocker locker(&d->serviceListLock);
        selectAnnouncement(nullptr);
        return true;
    }
    applyToService(selectorId, response, [this](Service *service) { selectAnnouncement(service); });
    return true;
}

bool ServiceManager::ajaxIgnoreAnnouncements(const HttpRequest &request, HttpResponse &response)
{
    qint32 selectorId = -1;
    if (!readLoggedSelector(request, QStringLiteral("ignoreAnnouncements"), "ignore announcement", selectorId, response)
        || selectorId == -1)
        return true;
    applyToService(selectorId, response, [this](Service *service) { acknowledgeAnnouncements(service); });
    return true;
}

bool ServiceManager::ajaxSetServiceFavourite(const HttpRequest &request, HttpResponse &response)
{
    const QString text = request.query.value(QStringLiteral("setServiceFavourite"));
    qint32 selectorId = -1;
    if (!parseSelector(text, selectorId) || selectorId == -1) {
        warn(QStringLiteral("no service to change favourite status for (SID: %1)").arg(text));
        response.body = Failure;
        return true;
    }
    if (!request.query.contains(QStringLiteral("isFavourite"))) {
        warn(QStringLiteral("no flag to change favourite status (SID: %1)").arg(selectorId));
        response.body = Failure;
        return true;
    }
    const bool favourite = request.query.value(QStringLiteral("isFavourite")) == QLatin1String("true");
    ZOZ_LOG(LogManager,
            QStringLiteral("ServiceManager::httpAjaxRequest() -> setting favourite status for a service (SID: %1, favourite: %2)")
                .arg(selectorText(selectorId), favourite ? QStringLiteral("true") : QStringLiteral("false")));
    QWriteLocker locker(&d->serviceListLock);
    Service *service = findService(selectorId);
    if (!service) {
        response.body = Failure;
        return true;
    }
    if (service->setServiceIsFavourite(favourite))
        setDirty(false);
    response.body = Success;
    return true;
}

} // namespace ZOZ
