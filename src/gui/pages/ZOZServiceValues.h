#pragma once

#include "ZOZServiceList.h"
#include "web/ZOZTemplateValue.h"
#include "web/ZOZTemplateVariable.h"

namespace ZOZ {

class Service;
class ServiceManager;

// The template variables of a service, its data services in "SUB".
QVector<TemplateVariable> serviceVariables(const Service &service);
// The variables of each secondary component of a service.
TemplateVariable::Rows siblingRows(const Service &service);
// One row per listed service for the selection page, "selected" marking the
// service (or a component of it) that is heard.
TemplateVariable::Rows selectionRows(const ServiceManager &manager);

// The "announcements" list of a service.
TemplateValue announcementsValue(const QVector<Announcement> &entries);
// The "services" list of the state poll.
TemplateValue servicesValue(const QVector<ServiceListEntry> &entries);

} // namespace ZOZ
