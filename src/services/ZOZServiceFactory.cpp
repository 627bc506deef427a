#include "ZOZServiceFactory.h"

#include "audio/ZOZServiceAudioDAB.h"
#include "data/ZOZServiceBWS.h"
#include "data/ZOZServicePMContainer.h"
#include "data/ZOZServiceSLS.h"
#include "journaline/ZOZServiceJournaline.h"

namespace ZOZ {

namespace {

Service *createService(bool isData, const QString &name, const QString &shortname, ServiceDescriptor &descriptor)
{
    auto *service = new Service(isData);
    descriptor.name = name;
    descriptor.shortname = shortname;
    service->init(descriptor);
    return service;
}

} // namespace

ServiceFactory::~ServiceFactory() = default;

Service *ServiceFactory::createAudioService(ServiceDescriptor &descriptor, bool dabPlus, int subChannelSize)
{
    return new ServiceAudioDAB(descriptor, subChannelSize, false, dabPlus);
}

Service *ServiceFactory::createDataService(int applicationType, ServiceDescriptor &descriptor)
{
    switch (applicationType) {
    case SlideShow:
        return new ServiceSLS(descriptor);
    case BroadcastWebsite:
        return new ServiceBWS(descriptor);
    case ServiceProgrammeInformation:
        return createService(true, QStringLiteral("SPI"), QStringLiteral("spi"), descriptor);
    case Journaline:
        return new ServiceJournaline(descriptor);
    default:
        return nullptr;
    }
}

Service *ServiceFactory::createContainer(ServiceDescriptor &descriptor)
{
    return new ServicePMContainer(descriptor);
}

bool ServiceFactory::initDecoder(Service *audio, int subChannelSize, bool dabPlus, bool surroundHint)
{
    auto *dab = qobject_cast<ServiceAudioDAB *>(audio);
    return dab && dab->initDecoder(subChannelSize, surroundHint, dabPlus, -1);
}

void ServiceFactory::registerPadApplication(Service *carrier, Service *application)
{
    if (auto *dab = qobject_cast<ServiceAudioDAB *>(carrier))
        dab->registerPadApplication(application, true);
}

void ServiceFactory::unregisterPadApplication(Service *carrier, Service *application)
{
    if (auto *dab = qobject_cast<ServiceAudioDAB *>(carrier))
        dab->unregisterPadApplication(application);
}

} // namespace ZOZ
