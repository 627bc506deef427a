#include "settings/ZOZSettings.h"

#include <QCoreApplication>

namespace ZOZ {

namespace {

const char LanguageIconFolder[] = "img/icons/flags/svg/";
const char LanguageIconSuffix[] = ".svg";

// Display names of the user-interface languages, by code.
const struct
{
    const char *code;
    const char *name;
} LanguageDisplayNames[] = {
    {"de", QT_TRANSLATE_NOOP("Language", "German")},
    {"en", QT_TRANSLATE_NOOP("Language", "English")},
    {"zh_CN", QT_TRANSLATE_NOOP("Language", "Chinese (Simplified)")},
};

QString displayName(const QString &code)
{
    for (const auto &entry : LanguageDisplayNames) {
        if (code == QLatin1String(entry.code))
            return QCoreApplication::translate("Language", entry.name);
    }
    return code;
}

} // namespace

QMap<QString, QString> Settings::languageNames()
{
    QMap<QString, QString> names;
    for (const QString &code : availableLanguages())
        names.insert(displayName(code), code);
    return names;
}

QString Settings::languageIconPath(const QString &code)
{
    return QLatin1String(LanguageIconFolder) + code + QLatin1String(LanguageIconSuffix);
}

TemplateValue Settings::languageIconValue()
{
    TemplateValue icon(QStringLiteral("LANGUAGE_ICON"), TemplateValue::Map);
    icon << TemplateValue(QStringLiteral("FOLDER"), LanguageIconFolder)
         << TemplateValue(QStringLiteral("SUFFIX"), LanguageIconSuffix);
    return icon;
}

TemplateValue Settings::languagesValue()
{
    TemplateValue languages(QStringLiteral("LANGUAGES"), TemplateValue::Map);
    const QMap<QString, QString> names = languageNames();
    for (auto it = names.cbegin(); it != names.cend(); ++it)
        languages << TemplateValue(it.value(), it.key());
    return languages;
}

} // namespace ZOZ
