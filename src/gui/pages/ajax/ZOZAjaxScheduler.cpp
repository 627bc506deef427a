// The recording scheduler's commands: read the planned recordings, add one,
// remove one. They exist only when the program has a scheduler.

#include "ZOZAjaxCommands.h"
#include "ZOZAjaxValues.h"
#include "ZOZServiceValues.h"

#include "ZOZService.h"
#include "ZOZServiceManager.h"
#include "base/ZOZLog.h"
#include "scheduler/ZOZScheduler.h"

#include <limits>

namespace ZOZ {

namespace {

using namespace AjaxValues;

constexpr quint32 LogManagerWarning = LogSource::ServiceManager | LogFlag::Warning;
const QByteArray Refused = "{\"success\":false}";

void warn(const QString &text)
{
    ZOZ_LOG(LogManagerWarning, QStringLiteral("ServiceManager::httpAjaxRequest() -> warning: ") + text);
}

// One number of the request within [minimum, maximum]; logs what is wrong
// under `name` and returns nothing when it is missing or bad.
std::optional<qint64> number(const HttpRequest &request, const QString &key, const QString &name, qint64 minimum,
                             qint64 maximum)
{
    const auto found = request.query.constFind(key);
    if (found == request.query.constEnd()) {
        warn(QStringLiteral("schedule request with missing parameter (%1)").arg(key));
        return std::nullopt;
    }
    const std::optional<qint64> value = parseInteger(*found);
    if (!value || *value < minimum || *value > maximum) {
        warn(QStringLiteral("schedule request with bad parameter (%1: %2)").arg(name, *found));
        return std::nullopt;
    }
    return value;
}

// The entry a "schedule" request names, or nothing (with a log line) when the
// request is incomplete or its service cannot be found.
std::optional<ScheduleItem> requestedItem(const HttpRequest &request, ServiceManager *manager)
{
    constexpr qint64 Int32Min = std::numeric_limits<qint32>::min();
    constexpr qint64 Int32Max = std::numeric_limits<qint32>::max();
    constexpr qint64 UInt32Max = std::numeric_limits<quint32>::max();

    const std::optional<qint64> selector = parseInteger(request.query.value(QStringLiteral("schedule")));
    const bool hasSelector = selector && *selector >= Int32Min && *selector <= Int32Max;
    const auto ensembleId = number(request, QStringLiteral("eID"), QStringLiteral("ensembleId"), Int32Min, Int32Max);
    if (!ensembleId)
        return std::nullopt;
    const auto serviceId = number(request, QStringLiteral("sID"), QStringLiteral("serviceId"), Int32Min, Int32Max);
    if (!serviceId)
        return std::nullopt;

    ScheduleItem item;
    if (hasSelector) {
        item.SID = qint32(*selector);
    } else {
        Service *service = manager->findService(-1, int(*ensembleId), int(*serviceId));
        if (!service) {
            warn(QStringLiteral("schedule request but no service found!"));
            return std::nullopt;
        }
        item.SID = service->serviceId();
        service->release();
    }
    const auto start = number(request, QStringLiteral("start"), QStringLiteral("start"), 0, UInt32Max);
    if (!start)
        return std::nullopt;
    const auto duration = number(request, QStringLiteral("duration"), QStringLiteral("duration"), 0, UInt32Max);
    if (!duration)
        return std::nullopt;
    item.timestamp = quint32(*start);
    item.duration = quint32(*duration);
    item.ensembleId = qint32(*ensembleId);
    item.serviceId = qint64(qint32(*serviceId));
    item.description = request.query.value(QStringLiteral("description"));
    return item;
}

TemplateValue scheduleItemsValue(const ScheduleItems &items)
{
    TemplateValue list(QStringLiteral("scheduleItems"), TemplateValue::List);
    for (const ScheduleItem &item : items) {
        TemplateValue value;
        value << TemplateValue(QStringLiteral("SID"), int(item.SID))
              << TemplateValue(QStringLiteral("ensembleId"), int(item.ensembleId))
              << TemplateValue(QStringLiteral("serviceId"), static_cast<long long>(item.serviceId))
              << TemplateValue(QStringLiteral("recording"), item.recording)
              << TemplateValue(QStringLiteral("timestamp"), static_cast<unsigned int>(item.timestamp))
              << TemplateValue(QStringLiteral("duration"), static_cast<unsigned int>(item.duration))
              << TemplateValue(QStringLiteral("label"), item.label)
              << TemplateValue(QStringLiteral("description"), item.description)
              << TemplateValue(QStringLiteral("format"), int(item.format));
        list << value;
    }
    return list;
}

} // namespace

void addSchedulerCommands(AjaxTable &table, const AjaxContext &context)
{
    ServiceManager *manager = context.manager;
    Scheduler *scheduler = context.scheduler;
    if (!manager || !scheduler)
        return;

    table.setHandler(QStringLiteral("getSchedulerInfo"), [manager, scheduler](const HttpRequest &, HttpResponse &response) {
        manager->updateServiceList();
        TemplateValue reply;
        reply << TemplateValue(QStringLiteral("success"), true) << scheduleItemsValue(scheduler->items())
              << servicesValue(manager->listEntries());
        response.body = reply.toJson().toUtf8();
        return true;
    });
    // A refused or incomplete request is answered {"success":false}; the
    // scheduler has told the user why.
    table.setHandler(QStringLiteral("schedule"), [manager, scheduler](const HttpRequest &request, HttpResponse &response) {
        const std::optional<ScheduleItem> item = requestedItem(request, manager);
        const bool done = item
            && (request.query.contains(QStringLiteral("add")) ? scheduler->schedule(*item) : scheduler->unschedule(*item));
        response.body = done ? Success : Refused;
        return true;
    });
}

} // namespace ZOZ
