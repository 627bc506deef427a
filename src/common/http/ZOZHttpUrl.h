#pragma once

#include <QMap>
#include <QString>

namespace ZOZ {

// A request target taken apart: "/a//b/c.css?x=1" gives uri "/a/b/c.css?x=1",
// path "a/b/", file "c.css" and query "x=1".
struct HttpTarget
{
    QString uri;
    QString path;
    QString file;
    QString query;
};

// Splits the target at the first "?", so a "/" inside the query stays in the query.
// An absolute target ("http://host:port/x") loses scheme and authority.
HttpTarget splitRequestTarget(const QString &target);

// The authority ("host:port") of a target in absolute form ("http://host:port/x");
// a null text for a target that starts with its path.
QString requestTargetAuthority(const QString &target);

// Query items "a=1&b&c=x": keys as sent, values trimmed and passed through urlDecode;
// a later key replaces an earlier one.
QMap<QString, QString> parseQuery(const QString &query);

// Values the pages mark with "__UTF8__" carry "%hh", "%xhh" and "%uhhhh" escapes;
// other values are returned unchanged.
QString urlDecode(const QString &value);

// A path that could leave the folder it names: a ".." segment, a backslash, a NUL,
// or one of them percent-encoded.
bool isUnsafeRequestPath(const QString &pathAndFile);

// Decodes the "%hex%hex..." form the pages use for request values: each run between
// two "%" is one byte, and the bytes are UTF-8.
QString percentDecodeUtf8(const QString &text);

} // namespace ZOZ
