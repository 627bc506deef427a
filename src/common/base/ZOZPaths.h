#pragma once

#include <QString>

namespace ZOZ {

// The user's home folder with a trailing "/".
QString homeFolder();
// The per-user folder for caches, logs and crash files: home folder + ".zoz/".
QString dataFolder();

// A name received from the broadcast as a relative path: "/" separated, with
// empty, "." and ".." segments dropped.
QString withoutDotSegments(const QString &name);
// True when `path` is `folder` or lies below it with links resolved: the
// deepest existing part of each is resolved, and a dangling link on the way
// counts as leading out.
bool liesInFolder(const QString &path, const QString &folder);

} // namespace ZOZ
