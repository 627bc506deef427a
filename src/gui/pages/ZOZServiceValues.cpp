// What the pages show of the services: the template variables of a service
// and its components, the rows of the selection page, and the "services" and
// announcement values of the state poll.
#include "ZOZServiceValues.h"

#include "ZOZServiceManager.h"
#include "data/ZOZServiceSLS.h"

namespace ZOZ {

namespace {

// The selector id of a service and its components share the upper 16 bits.
constexpr quint32 ServiceBitsMask = 0xFFFF0000u;

} // namespace

QVector<TemplateVariable> serviceVariables(const Service &service)
{
    const QString path = service.requestPath();
    const quint32 selector = quint32(service.serviceId());
    QVector<TemplateVariable> variables;
    variables.reserve(49);
    variables << TemplateVariable(QStringLiteral("HTTP_REFRESH_CYCLE"), service.refreshCycle())
              << TemplateVariable(QStringLiteral("singleViewPath"), service.singleViewPath())
              << TemplateVariable(QStringLiteral("requestPath"), path)
              << TemplateVariable(QStringLiteral("revRequestPath"), QStringLiteral("../").repeated(path.count(QLatin1Char('/'))))
              << TemplateVariable(QStringLiteral("cachePath"), service.cachePath())
              << TemplateVariable(QStringLiteral("ID"), int(service.serviceId()))
              << TemplateVariable(QStringLiteral("ID_"), static_cast<unsigned int>(selector & 0xFFFF0000u))
              << TemplateVariable(QStringLiteral("ID__"), static_cast<unsigned int>(selector & 0xFFFFFF00u))
              << TemplateVariable(QStringLiteral("IDE"), Service::ensembleIndexOf(service.serviceId()))
              << TemplateVariable(QStringLiteral("IDS"), Service::serviceIndexOf(service.serviceId()))
              << TemplateVariable(QStringLiteral("IDC"), Service::componentIndexOf(service.serviceId()))
              << TemplateVariable(QStringLiteral("SCID"), service.componentId())
              << TemplateVariable(QStringLiteral("SCIDS"), service.componentIdS())
              << TemplateVariable(QStringLiteral("hasTextMessages"), service.hasTextMessages())
              << TemplateVariable(QStringLiteral("hasJournaline"), service.hasJournaline())
              << TemplateVariable(QStringLiteral("textMessage"), service.textMessage(), true)
              << TemplateVariable(QStringLiteral("audioStreamPath"), service.audioStreamPath())
              << TemplateVariable(QStringLiteral("isVisible"), service.isVisible())
              << TemplateVariable(QStringLiteral("isEncrypted"), service.isEncrypted())
              << TemplateVariable(QStringLiteral("isFavourite"), service.isServiceFavourite())
              << TemplateVariable(QStringLiteral("isAudio"), !service.isData())
              << TemplateVariable(QStringLiteral("isData"), service.isData())
              << TemplateVariable(QStringLiteral("isFixed"), service.isFixed())
              << TemplateVariable(QStringLiteral("isAvailable"), service.isAvailable())
              << TemplateVariable(QStringLiteral("isPacketMode"), service.isPacketMode())
              << TemplateVariable(QStringLiteral("hasAudio"), !service.isData() || !service.audioStreamPath().isEmpty())
              << TemplateVariable(QStringLiteral("audioClassification"), service.audioClassification())
              << TemplateVariable(QStringLiteral("logo"), service.logo(), true)
              << TemplateVariable(QStringLiteral("source"), service.source())
              << TemplateVariable(QStringLiteral("subTitle"), service.subTitle())
              << TemplateVariable(QStringLiteral("label"), service.label(), true)
              << TemplateVariable(QStringLiteral("labelExt"), service.labelExt(), true)
              << TemplateVariable(QStringLiteral("labelComponent"), service.componentLabel(), true)
              << TemplateVariable(QStringLiteral("ensemble"), service.ensembleLabel(), true)
              << TemplateVariable(QStringLiteral("ensembleShortName"), service.ensembleLabelShort(), true)
              << TemplateVariable(QStringLiteral("name"), service.name())
              << TemplateVariable(QStringLiteral("shortname"), service.shortname())
              << TemplateVariable(QStringLiteral("applicationId"), int(service.applicationId()))
              << TemplateVariable(QStringLiteral("ensembleId"), int(service.ensembleIdentifier()))
              << TemplateVariable(QStringLiteral("validEnsembleId"), service.ensembleIdentifier() >= 0)
              << TemplateVariable(QStringLiteral("ECC"), service.ecc())
              << TemplateVariable(QStringLiteral("countryId"), service.countryId())
              << TemplateVariable(QStringLiteral("serviceId"), service.serviceIdentifier())
              << TemplateVariable(QStringLiteral("shortId"), service.shortId())
              << TemplateVariable(QStringLiteral("streamId"), int(service.streamId()))
              << TemplateVariable(QStringLiteral("language"), service.languageText())
              << TemplateVariable(QStringLiteral("country"), service.countryText())
              << TemplateVariable(QStringLiteral("type"), service.programTypeText());
    if (const auto *slideShow = qobject_cast<const ServiceSLS *>(&service)) {
        const ActiveSlide active = slideShow->activeSlide();
        variables << TemplateVariable(QStringLiteral("imageURL"),
                                      active.url.isEmpty() ? QStringLiteral("img/preview/sls.svg") : active.url)
                  << TemplateVariable(QStringLiteral("imageIsOld"), active.isOld)
                  << TemplateVariable(QStringLiteral("imageCID"), active.categoryId)
                  << TemplateVariable(QStringLiteral("imageLink"), active.link, true);
    }
    TemplateVariable::Rows rows;
    rows.reserve(service.children().size());
    for (const Service *child : service.children())
        rows << serviceVariables(*child);
    variables << TemplateVariable(QStringLiteral("SUB"), rows);
    return variables;
}

TemplateVariable::Rows siblingRows(const Service &service)
{
    TemplateVariable::Rows rows;
    rows.reserve(service.siblings().size());
    for (const Service *sibling : service.siblings())
        rows << serviceVariables(*sibling);
    return rows;
}

TemplateVariable::Rows selectionRows(const ServiceManager &manager)
{
    const quint32 selected = quint32(manager.selectedServiceId()) & ServiceBitsMask;
    TemplateVariable::Rows rows;
    manager.withSortedServices([&](const QVector<Service *> &services) {
        for (const Service *service : services) {
            TemplateVariable::Row row;
            row << TemplateVariable(QStringLiteral("selected"), (quint32(service->serviceId()) & ServiceBitsMask) == selected);
            row << serviceVariables(*service);
            row << TemplateVariable(QStringLiteral("SECONDARY"), siblingRows(*service));
            rows << row;
        }
    });
    return rows;
}

TemplateValue announcementsValue(const QVector<Announcement> &entries)
{
    TemplateValue list(QStringLiteral("announcements"), TemplateValue::List);
    for (const Announcement &entry : entries) {
        int position = 16;
        const bool alarm = entry.system == Announcement::Dab && (entry.flags & 1) && entry.clusterId == 254;
        if (!alarm && entry.flags != 0) {
            position = 0;
            while (!(entry.flags & (1u << position)))
                ++position;
        }
        TemplateValue item;
        const QString type = entry.system == Announcement::Dab ? QStringLiteral("DAB")
                             : entry.system == Announcement::Drm ? QStringLiteral("DRM")
                                                                  : QString();
        item << TemplateValue(QStringLiteral("type"), type) << TemplateValue(QStringLiteral("flag"), int(entry.flags))
             << TemplateValue(QStringLiteral("pos"), position)
             << TemplateValue(QStringLiteral("start"), static_cast<unsigned int>(entry.start))
             << TemplateValue(QStringLiteral("ignored"), entry.ignored)
             << TemplateValue(QStringLiteral("SID"), int(entry.sid));
        if (entry.system == Announcement::Dab)
            item << TemplateValue(QStringLiteral("clusterId"), int(entry.clusterId));
        list << item;
    }
    return list;
}

TemplateValue servicesValue(const QVector<ServiceListEntry> &entries)
{
    TemplateValue list(QStringLiteral("services"), TemplateValue::List);
    for (const ServiceListEntry &entry : entries) {
        TemplateValue apps(QStringLiteral("apps"), TemplateValue::List);
        for (const ServiceListEntry::Application &application : entry.applications) {
            TemplateValue app;
            app << TemplateValue(QStringLiteral("shortName"), application.shortName)
                << TemplateValue(QStringLiteral("singleViewPath"), application.singleViewPath)
                << TemplateValue(QStringLiteral("requestPath"), application.requestPath)
                << TemplateValue(QStringLiteral("activeInAnnouncement"), application.activeInAnnouncement);
            apps << app;
        }
        TemplateValue value;
        value << TemplateValue(QStringLiteral("ID"), int(entry.serviceId))
              << TemplateValue(QStringLiteral("ID_"), uint(quint32(entry.serviceId) & ServiceBitsMask))
              << TemplateValue(QStringLiteral("isAudio"), entry.isAudio)
              << TemplateValue(QStringLiteral("isVisible"), entry.isVisible)
              << TemplateValue(QStringLiteral("isFavourite"), entry.isFavourite)
              << TemplateValue(QStringLiteral("label"), entry.label) << apps
              << TemplateValue(QStringLiteral("announcements"), announcementsValue(entry.announcements));
        list << value;
    }
    return list;
}

} // namespace ZOZ
