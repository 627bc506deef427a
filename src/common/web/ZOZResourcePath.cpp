#include "web/ZOZResourcePath.h"

#include "base/ZOZPaths.h"
#include "settings/ZOZSettings.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace ZOZ {

namespace {

QString downloadedLogo(const QString &logoFolder, const QString &id)
{
    // Logo ids come from broadcast data: wildcards would pick another service's logo.
    static const QRegularExpression wildcards(QStringLiteral("[*?\\[\\]]"));
    if (logoFolder.isEmpty() || id.isEmpty() || id.contains(wildcards))
        return QString();
    const QDir folder(logoFolder);
    // Reverse order by name: the greatest name wins when several extensions exist.
    const QStringList names = folder.entryList({id + QLatin1String(".*")}, QDir::Files, QDir::Name | QDir::Reversed);
    return names.isEmpty() ? QString() : names.first();
}

QString builtInLogo(const QString &id)
{
    for (const char *suffix : {".png", ".jpg"}) {
        const QString path = QLatin1String(":/img/logos/services/") + id + QLatin1String(suffix);
        if (QFileInfo(path).isFile())
            return id + QLatin1String(suffix);
    }
    return QString();
}

QString settingsLogoFolder()
{
    const Settings *settings = Settings::instance();
    return settings ? settings->cachePath() + QLatin1String("logos/") : QString();
}

} // namespace

bool isSafeResourcePath(const QString &path)
{
    if (path.startsWith(QLatin1Char('/')) || path.contains(QLatin1Char('\\')) || path.contains(QChar(0)))
        return false;
    for (const QStringView segment : QStringView(path).split(QLatin1Char('/'))) {
        if (segment == QLatin1String(".."))
            return false;
    }
    return true;
}

QString resolveResourcePath(const QString &styleRoot, const QString &theme, const QString &path)
{
    return resolveResourcePath(styleRoot, theme, path, settingsLogoFolder());
}

QString resolveResourcePath(const QString &styleRoot, const QString &theme, const QString &requested,
                            const QString &logoFolder)
{
    const QString path = requested.startsWith(QLatin1Char('/')) ? requested.mid(1) : requested;
    if (!isSafeResourcePath(path))
        return QString();

    if (path.endsWith(QLatin1String("favicon.ico")))
        return QString::fromLatin1(ApplicationIconResource);

    if (path.startsWith(QLatin1String("logos/"))) {
        QString id = path.mid(6);
        const qsizetype dot = id.lastIndexOf(QLatin1Char('.'));
        if (dot >= 0)
            id.truncate(dot);
        const QString downloaded = downloadedLogo(logoFolder, id);
        if (!downloaded.isEmpty())
            return QDir(logoFolder).filePath(downloaded);
        const QString builtIn = builtInLogo(id);
        if (!builtIn.isEmpty())
            return QLatin1String(":/img/logos/services/") + builtIn;
    }

    // Files on disk replace the pages and their scripts, so they come only from
    // folders of the player's own: whoever can write into the folder the player
    // happens to be started from must not put scripts into its pages.
    QStringList roots;
    if (QDir::isAbsolutePath(styleRoot)) {
        roots << styleRoot;
    } else if (!styleRoot.isEmpty()) {
        roots << dataFolder() + styleRoot;
        if (QCoreApplication::instance())
            roots << QCoreApplication::applicationDirPath() + QLatin1Char('/') + styleRoot;
    }
    const QStringList folders = theme.isEmpty() ? QStringList {QString()} : QStringList {theme, QString()};
    for (const QString &folder : folders) {
        for (const QString &root : std::as_const(roots)) {
            const QString candidate = root + folder + path;
            if (QFileInfo(candidate).isFile())
                return candidate;
        }
    }
    const QString themed = QLatin1Char(':') + theme + path;
    if (!theme.isEmpty() && QFileInfo(themed).isFile())
        return themed;
    return QLatin1Char(':') + path;
}

QString serviceLogoUrl(const QString &logoId)
{
    const Settings *settings = Settings::instance();
    if (!settings || settings->configOptionValue(Settings::OptionServiceLogos) == 0)
        return QString();
    return serviceLogoUrl(logoId, settingsLogoFolder());
}

QString serviceLogoUrl(const QString &logoId, const QString &logoFolder)
{
    if (logoId.isEmpty() || !isSafeResourcePath(logoId) || logoId.contains(QLatin1Char('/')))
        return QString();
    const QString downloaded = downloadedLogo(logoFolder, logoId);
    if (!downloaded.isEmpty()) {
        const QFileInfo info(QDir(logoFolder).filePath(downloaded));
        return QLatin1String("logos/") + downloaded + QLatin1String("?lm=")
               + QString::number(info.lastModified().toSecsSinceEpoch());
    }
    const QString builtIn = builtInLogo(logoId);
    return builtIn.isEmpty() ? QString() : QLatin1String("logos/") + builtIn;
}

bool removeDirectory(const QString &folder)
{
    QDir dir(folder);
    if (!dir.exists())
        return true;
    const QFileInfoList entries = dir.entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::DirsFirst);
    for (const QFileInfo &entry : entries) {
        const bool removed = entry.isDir() && !entry.isSymLink() ? removeDirectory(entry.filePath())
                                                                 : QFile::remove(entry.filePath());
        if (!removed)
            return false;
    }
    return dir.rmdir(dir.absolutePath());
}

} // namespace ZOZ
