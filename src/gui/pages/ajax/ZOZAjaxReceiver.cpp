// "scan": the channel scan the pages start and stop, and the receiver's
// status as the state poll reports it.

#include "ZOZAjaxCommands.h"

#include "http/ZOZHttpContentType.h"
#include "ZOZReceiver.h"

namespace ZOZ {

TemplateValue receiverStatusValue(const ReceiverStatus &status)
{
    // Before the receiver first reported, the object goes out empty.
    if (!status.published)
        return TemplateValue(QStringLiteral("receiver"), TemplateValue());
    TemplateValue value(QStringLiteral("receiver"), TemplateValue::Map);
    value << TemplateValue(QStringLiteral("devicePresent"), status.devicePresent)
          << TemplateValue(QStringLiteral("scanning"), status.scanning)
          << TemplateValue(QStringLiteral("progress"), status.progress)
          << TemplateValue(QStringLiteral("currentEnsemble"), status.currentEnsemble)
          << TemplateValue(QStringLiteral("numEnsembles"), status.numEnsembles)
          << TemplateValue(QStringLiteral("numServices"), status.numServices);
    return value;
}

void addReceiverCommands(AjaxTable &table, const AjaxContext &context)
{
    Receiver *receiver = context.receiver;
    if (!receiver)
        return;
    // "start" with "keepPrevious" and "scanAdditional", or "stop"; anything
    // else is passed on.
    table.setHandler(QStringLiteral("scan"), [receiver](const HttpRequest &request, HttpResponse &response) {
        const QString scan = request.query.value(QStringLiteral("scan"));
        if (scan == QLatin1String("start")) {
            const bool keepPrevious = request.query.value(QStringLiteral("keepPrevious")) == QLatin1String("true");
            const auto additional = request.query.constFind(QStringLiteral("scanAdditional"));
            const bool scanAdditional = additional == request.query.constEnd() || *additional == QLatin1String("true");
            receiver->startScan(keepPrevious, scanAdditional);
        } else if (scan == QLatin1String("stop")) {
            receiver->rtkOnAbortScan();
        } else {
            return false;
        }
        response.status = 200;
        response.contentType = HttpContentJson;
        response.body = QByteArrayLiteral("{\"success\":true}");
        return true;
    });
}

} // namespace ZOZ
