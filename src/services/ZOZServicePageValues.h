#pragma once

#include "web/ZOZTemplateVariable.h"

#include <QString>
#include <QVector>

namespace ZOZ {

class Service;

// What every page of the program shows besides a service's own content: the
// application's names and language, and a service's values as the service
// list shows them. The pages build these; a service that fills page templates
// of its own (Journaline) asks here. The pages install one while they exist.
class ServicePageValues
{
public:
    virtual ~ServicePageValues() = default;
    virtual QString applicationFullName() const = 0;
    virtual QString applicationName() const = 0;
    virtual QString language() const = 0;
    // The caller holds the service-list lock (the values include the children).
    virtual QVector<TemplateVariable> serviceVariables(const Service &service) const = 0;

    // Not owned; null removes it.
    static void install(const ServicePageValues *values);
    // Null while none is installed.
    static const ServicePageValues *installed();
};

} // namespace ZOZ
