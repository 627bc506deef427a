#include "base/ZOZPaths.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace ZOZ {

QString homeFolder()
{
    QString home = QDir::homePath();
    if (!home.endsWith(QLatin1Char('/')))
        home += QLatin1Char('/');
    return home;
}

QString dataFolder()
{
    return homeFolder() + QStringLiteral(".zoz/");
}

QString withoutDotSegments(const QString &name)
{
    QStringList kept;
    for (const QString &segment : name.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (segment != QLatin1String(".") && segment != QLatin1String(".."))
            kept << segment;
    }
    return kept.join(QLatin1Char('/'));
}

namespace {

// The deepest part of `path` that exists, resolved through links; empty when
// that part is a dangling link, which a write would follow.
QString existingCanonicalPart(const QString &path)
{
    QFileInfo info(path);
    while (!info.exists() && !info.isSymLink()) {
        const QString parent = info.absolutePath();
        if (parent == info.absoluteFilePath())
            return {};
        info = QFileInfo(parent);
    }
    return info.canonicalFilePath();
}

} // namespace

bool liesInFolder(const QString &path, const QString &folder)
{
    const QString canonicalFolder = existingCanonicalPart(folder);
    const QString canonical = existingCanonicalPart(path);
    if (canonicalFolder.isEmpty() || canonical.isEmpty())
        return false;
    return canonical == canonicalFolder || canonical.startsWith(canonicalFolder + QLatin1Char('/'));
}

} // namespace ZOZ
