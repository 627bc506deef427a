#pragma once

#include <QString>

namespace ZOZ {

// Where the built-in application icon lives among the resources.
inline constexpr char ApplicationIconResource[] = ":img/icons/logo/zoz.ico";

// True for a relative web path that stays below its root: no ".." segment,
// no backslash, no NUL and no leading "/" (after the one the caller may have).
bool isSafeResourcePath(const QString &path);

// The file to read for a requested web path: files under the style root (a
// theme's own version first), then built-in resources. A relative style root
// lies in the per-user data folder, then in the program folder; never in the
// working folder. Service logos ("logos/ID.ext") come from the
// downloaded logos in the cache folder first. Empty for a path that would
// leave its root.
QString resolveResourcePath(const QString &styleRoot, const QString &theme, const QString &path);
// The same with the downloaded-logo folder given instead of taken from the
// settings' cache folder.
QString resolveResourcePath(const QString &styleRoot, const QString &theme, const QString &path,
                            const QString &logoFolder);

// URL relative to the server root under which a page shows a service's logo;
// empty when there is none or service logos are switched off.
QString serviceLogoUrl(const QString &logoId);
QString serviceLogoUrl(const QString &logoId, const QString &logoFolder);

// Deletes a folder tree; a missing folder counts as removed. Symbolic links are
// removed, never followed.
bool removeDirectory(const QString &folder);

} // namespace ZOZ
