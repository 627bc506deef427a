#include "base/ZOZPaths.h"

#include <QDir>

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

} // namespace ZOZ
