#pragma once

#include "ZOZService.h"

namespace ZOZ {

// Stands for a packet-mode service whose data components are its children;
// it has data when one of them has.
class ServicePMContainer : public Service
{
    Q_OBJECT

public:
    explicit ServicePMContainer(ServiceDescriptor &descriptor);
    ~ServicePMContainer() override;

    bool hasData() const override;
};

} // namespace ZOZ
