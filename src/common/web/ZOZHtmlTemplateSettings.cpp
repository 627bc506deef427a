#include "web/ZOZHtmlTemplatePrivate.h"

#include "settings/ZOZSettings.h"

namespace ZOZ {

TemplateSettings TemplateSettings::current()
{
    TemplateSettings values;
    const Settings *settings = Settings::instance();
    if (!settings)
        return values;
    values.styleRoot = settings->styleRoot();
    values.theme = settings->theme();
    values.minifyFiles = !settings->noFileMinimize();
    values.noTemplateCache = settings->noTemplateCache();
    values.showTemplateInstructions = settings->showTemplateInstructions();
    values.pageRefreshTime = settings->httpRefreshTime();
    values.hasAudioService = settings->hasAudioService();
    values.windowTitle = settings->windowTitle();
    values.uiTitle = settings->uiTitle();
    const QMap<int, Settings::ConfigOption> options = settings->configOptions();
    for (auto it = options.cbegin(); it != options.cend(); ++it)
        values.configOptions.append({it->tag, it->value});
    return values;
}

} // namespace ZOZ
