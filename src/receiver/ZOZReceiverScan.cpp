#include "ZOZReceiver.h"

#include "ZOZDabChannels.h"
#include "ZOZReceiverDABUSB.h"
#include "http/ZOZHttpContentType.h"
#include "base/ZOZLog.h"

#include <QCoreApplication>
#include <QMutexLocker>

namespace ZOZ {

void Receiver::publishScanStatus()
{
    DabUsbPrivate *usb = m_usb.get();
    if (!usb)
        return;
    const EnsembleDatabase::Counts counts = m_database.counts();
    TemplateValue status(QStringLiteral("receiver"), TemplateValue::Map);
    status << TemplateValue(QStringLiteral("devicePresent"), m_stick.isOpened())
           << TemplateValue(QStringLiteral("scanning"), usb->isScanning())
           << TemplateValue(QStringLiteral("progress"), usb->progress())
           << TemplateValue(QStringLiteral("currentEnsemble"), usb->currentLabel())
           << TemplateValue(QStringLiteral("numEnsembles"), counts.ensembles)
           << TemplateValue(QStringLiteral("numServices"), counts.services);
    QMutexLocker locker(&m_statusMutex);
    m_status = status;
}

TemplateValue Receiver::scanStatus() const
{
    QMutexLocker locker(&m_statusMutex);
    return m_status;
}

bool Receiver::httpAjaxRequest(const HttpRequest &request, HttpResponse &response)
{
    const auto scan = request.query.constFind(QStringLiteral("scan"));
    if (scan == request.query.constEnd())
        return false;
    if (*scan == QLatin1String("start")) {
        const bool keepPrevious = request.query.value(QStringLiteral("keepPrevious")) == QLatin1String("true");
        const auto additional = request.query.constFind(QStringLiteral("scanAdditional"));
        const bool scanAdditional = additional == request.query.constEnd() || *additional == QLatin1String("true");
        enqueue(Command::ScanStart, (keepPrevious ? ScanKeepPrevious : 0) | (scanAdditional ? ScanAdditional : 0));
    } else if (*scan == QLatin1String("stop")) {
        rtkOnAbortScan();
    } else {
        return false;
    }
    response.status = 200;
    response.contentType = HttpContentJson;
    response.body = QByteArrayLiteral("{\"success\":true}");
    return true;
}

} // namespace ZOZ
