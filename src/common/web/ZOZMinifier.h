#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace ZOZ {

// Both minifiers return false (and leave `out` unspecified) on an unterminated
// comment, string or regular expression, or when nothing is left.
bool minifyScript(const QByteArray &in, QByteArray &out);
bool minifyStyleSheet(const QByteArray &in, QByteArray &out);

// Replaces the body of a ".js" or ".css" answer by its minified form, computed once
// per file and modification time, unless minifying is off. Files are cached by
// their path below the style root.
void minifyResource(const QString &filePath, const QDateTime &modified, QByteArray &body,
                    bool minifyEnabled, const QString &styleRoot);

} // namespace ZOZ
