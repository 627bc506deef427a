// The SPI commands: start and stop the scan that walks the SPI services of
// the heard ensemble, read how far it is, and read the programme guide.

#include "ZOZAjaxCommands.h"
#include "ZOZAjaxValues.h"

#include "ZOZServiceManager.h"
#include "data/ZOZSpiManager.h"

namespace ZOZ {

namespace {

TemplateValue spiScanValue(const SpiScanProgress &progress)
{
    TemplateValue reply;
    reply << TemplateValue(QStringLiteral("count"), progress.count)
          << TemplateValue(QStringLiteral("current"), progress.current)
          << TemplateValue(QStringLiteral("estimated"), static_cast<long long>(progress.estimated))
          << TemplateValue(QStringLiteral("taken"), static_cast<long long>(progress.taken))
          << TemplateValue(QStringLiteral("name"), progress.name)
          << TemplateValue(QStringLiteral("isComplete"), progress.isComplete)
          << TemplateValue(QStringLiteral("success"), true);
    return reply;
}

} // namespace

void addSpiCommands(AjaxTable &table, const AjaxContext &context)
{
    ServiceManager *manager = context.manager;
    if (!manager)
        return;
    table.setHandler(QStringLiteral("spiStartScan"), [manager](const HttpRequest &, HttpResponse &response) {
        manager->startSpiScan();
        response.body = AjaxValues::Success;
        return true;
    });
    table.setHandler(QStringLiteral("spiStopScan"), [manager](const HttpRequest &, HttpResponse &response) {
        manager->stopSpiScan();
        response.body = AjaxValues::Success;
        return true;
    });
    table.setHandler(QStringLiteral("spiGetScanInfo"), [manager](const HttpRequest &, HttpResponse &response) {
        response.body = spiScanValue(manager->spiScanProgress()).toJson().toUtf8();
        return true;
    });
    table.setHandler(QStringLiteral("spiGetInfo"), [manager](const HttpRequest &, HttpResponse &response) {
        TemplateValue reply;
        const bool held = manager->withSpiManager([&reply](SpiManager &guide) {
            reply << TemplateValue(QStringLiteral("success"), true) << guide.buildSpiJson();
        });
        response.body = held ? reply.toJson().toUtf8() : QByteArray("{\"success\":false}");
        return true;
    });
}

} // namespace ZOZ
