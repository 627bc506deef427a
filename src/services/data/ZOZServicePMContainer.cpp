#include "ZOZServicePMContainer.h"

#include "base/ZOZLog.h"

#include <algorithm>

namespace ZOZ {

ServicePMContainer::ServicePMContainer(ServiceDescriptor &descriptor)
    : Service(true)
{
    ZOZ_LOG(LogSource::Service, QStringLiteral("ServicePMContainer::ServicePMContainer()"));
    descriptor.name = QStringLiteral("PM Container");
    descriptor.shortname = QStringLiteral("pmc");
    init(descriptor);
}

ServicePMContainer::~ServicePMContainer()
{
    ZOZ_LOG(LogSource::Service, QStringLiteral("ServicePMContainer::~ServicePMContainer()"));
}

bool ServicePMContainer::hasData() const
{
    return std::any_of(children().begin(), children().end(), [](const Service *child) { return child->hasData(); });
}

} // namespace ZOZ
