#include "ZOZPageValuesForServices.h"

#include "ZOZServiceValues.h"
#include "web/ZOZHtmlTemplate.h"

namespace ZOZ {

QString PageValuesForServices::applicationFullName() const
{
    return HtmlTemplate::context().applicationFullName();
}

QString PageValuesForServices::applicationName() const
{
    return HtmlTemplate::context().applicationName();
}

QString PageValuesForServices::language() const
{
    return HtmlTemplate::context().language();
}

QVector<TemplateVariable> PageValuesForServices::serviceVariables(const Service &service) const
{
    return ZOZ::serviceVariables(service);
}

} // namespace ZOZ
