// Languages and themes: the user-interface languages with their display
// names and flags, and the theme folder below the built-in themes.

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

std::function<void(const QString &)> &themeSwitcherHook()
{
    static std::function<void(const QString &)> hook;
    return hook;
}

// A theme is a folder below the built-in themes folder: a plain name only.
bool isPlainFolderName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
           && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) && !name.contains(QChar(0));
}

} // namespace

QStringList Settings::availableLanguages()
{
    return QStringLiteral("de;en;zh_CN").split(QLatin1Char(';'));
}

// Codes such as "zh_CN" are matched ignoring case, so that they can be chosen
// at all; the code is kept as the list writes it.
QString Settings::matchLanguage(const QString &code)
{
    for (const QString &available : availableLanguages()) {
        if (available.compare(code, Qt::CaseInsensitive) == 0)
            return available;
    }
    return QString();
}

QMap<QString, QString> Settings::languageNames()
{
    QMap<QString, QString> names;
    for (const QString &code : availableLanguages())
        names.insert(displayName(code), code);
    return names;
}

QString Settings::languageIconPath(const QString &code)
{
    return languageIconFolder() + code + languageIconSuffix();
}

QString Settings::languageIconFolder()
{
    return QLatin1String(LanguageIconFolder);
}

QString Settings::languageIconSuffix()
{
    return QLatin1String(LanguageIconSuffix);
}

void Settings::setTheme(const QString &name)
{
    put(m_theme, name.isEmpty() ? QString() : QStringLiteral("_themes/") + name + QLatin1Char('/'));
}

void Settings::setThemeSwitcher(std::function<void(const QString &)> switcher)
{
    themeSwitcherHook() = std::move(switcher);
}

void Settings::switchTheme(const QString &name)
{
    if (themeSwitcherHook()) {
        themeSwitcherHook()(name);
        return;
    }
    if (isPlainFolderName(name))
        setTheme(name);
}

QString Settings::themeName() const
{
    QString folder = theme();
    if (folder.isEmpty())
        return QStringLiteral("default");
    folder.remove(0, int(qstrlen("_themes/")));
    if (folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    return folder;
}

} // namespace ZOZ
