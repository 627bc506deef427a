#pragma once

#include <QString>

namespace ZOZ {

// The user's home folder with a trailing "/".
QString homeFolder();
// The per-user folder for caches, logs and crash files: home folder + ".zoz/".
QString dataFolder();

} // namespace ZOZ
