#pragma once

#include "settings/ZOZSettings.h"

#include <QSettings>

namespace ZOZ {

// The persistent store the services and the manager keep their own keys in
// (favourites, the last selection, the list order). Opened afresh at each use
// so that values written by another process are seen.
inline QSettings servicePersistentStore()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QString::fromLatin1(Settings::Organisation),
                     QString::fromLatin1(Settings::Application));
}

} // namespace ZOZ
