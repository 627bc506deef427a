#include "ZOZServiceFactory.h"

#include "audio/ZOZServiceAudioDAB.h"
#include "data/ZOZServiceBWS.h"
#include "data/ZOZServicePMContainer.h"
#include "data/ZOZServiceSLS.h"
#include "data/ZOZServiceSPI.h"
#include "journaline/ZOZServiceJournaline.h"

namespace ZOZ {

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
        return new ServiceSPI(descriptor);
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
