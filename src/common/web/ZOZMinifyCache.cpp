#include "web/ZOZMinifier.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>

namespace ZOZ {

namespace {

struct MinifiedFile
{
    QDateTime modified;
    QByteArray body;
};

// Every style sheet and script ever served, by key; a changed modification time
// replaces the entry.
QMutex minifyCacheMutex;
QHash<QString, MinifiedFile> minifyCache;

QString cacheKey(const QString &filePath, const QString &styleRoot)
{
    if (filePath.startsWith(QLatin1Char(':')))
        return filePath.mid(1);
    if (!styleRoot.isEmpty()) {
        const qsizetype at = filePath.indexOf(styleRoot);
        if (at >= 0)
            return filePath.mid(at + styleRoot.size());
    }
    return filePath;
}

} // namespace

void minifyResource(const QString &filePath, const QDateTime &modified, QByteArray &body, bool minifyEnabled,
                    const QString &styleRoot)
{
    if (!minifyEnabled)
        return;
    const bool isStyleSheet = filePath.endsWith(QLatin1String(".css"), Qt::CaseInsensitive);
    if (!isStyleSheet && !filePath.endsWith(QLatin1String(".js"), Qt::CaseInsensitive))
        return;

    const QString key = cacheKey(filePath, styleRoot);
    QMutexLocker locker(&minifyCacheMutex);
    const auto found = minifyCache.constFind(key);
    if (found != minifyCache.constEnd() && found->modified == modified) {
        body = found->body;
        return;
    }

    QByteArray minified;
    const bool ok = isStyleSheet ? minifyStyleSheet(body, minified) : minifyScript(body, minified);
    if (ok)
        body = minified.trimmed();
    minifyCache.insert(key, MinifiedFile { modified, body });
}

} // namespace ZOZ
