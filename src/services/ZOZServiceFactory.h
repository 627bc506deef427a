#pragma once

#include "ZOZService.h"

namespace ZOZ {

// Makes the service object for a component of the ensemble database. The
// audio and data service classes plug in here; a data component of a type
// without a class of its own gets none.
class ServiceFactory
{
public:
    // Data services by user application type.
    enum ApplicationType {
        SlideShow = 2,
        BroadcastWebsite = 3,
        ServiceProgrammeInformation = 7,
        Journaline = 0x44A,
    };

    virtual ~ServiceFactory();

    // Each returns a new object without references, initialised from the
    // descriptor, or null when this kind of service is not made here.
    // `subChannelSize` in units of 8 kbit/s.
    virtual Service *createAudioService(ServiceDescriptor &descriptor, bool dabPlus, int subChannelSize);
    virtual Service *createDataService(int applicationType, ServiceDescriptor &descriptor);
    // The service that stands for a packet-mode service; its data services are its children.
    virtual Service *createContainer(ServiceDescriptor &descriptor);

    // (Re)opens the decoder of an audio service; true when something changed.
    virtual bool initDecoder(Service *audio, int subChannelSize, bool dabPlus, bool surroundHint);
    // A data service carried in the programme-associated data of an audio service.
    virtual void registerPadApplication(Service *carrier, Service *application);
    virtual void unregisterPadApplication(Service *carrier, Service *application);
};

} // namespace ZOZ
