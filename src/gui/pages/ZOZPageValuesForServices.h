#pragma once

#include "ZOZServicePageValues.h"

namespace ZOZ {

// The pages' answer to services that fill templates of their own: the same
// application names and language as the player's pages, and a service's
// values as the service list shows them.
class PageValuesForServices : public ServicePageValues
{
public:
    QString applicationFullName() const override;
    QString applicationName() const override;
    QString language() const override;
    QVector<TemplateVariable> serviceVariables(const Service &service) const override;
};

} // namespace ZOZ
