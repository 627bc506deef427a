#include "http/ZOZHttpUrl.h"

#include <QRegularExpression>

namespace ZOZ {

namespace {

QString foldSlashes(QString text)
{
    static const QRegularExpression repeatedSlashes(QStringLiteral("//+"));
    text.replace(repeatedSlashes, QStringLiteral("/"));
    return text;
}

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// Replaces every "%" + marker + hex digits by the character of that code. Decoding
// goes on at the decoded character, so an escape that decodes to "%" may start
// another escape with the characters after it. One pass over the text.
QString decodePass(const QString &text, QChar marker, int hexDigits)
{
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    qsizetype i = 0;
    bool havePending = false;
    QChar pending;
    for (;;) {
        QChar c;
        if (havePending) {
            c = pending;
            havePending = false;
        } else if (i < n) {
            c = text.at(i++);
        } else {
            break;
        }
        if (c == QLatin1Char('%')) {
            qsizetype j = i;
            bool matches = true;
            if (!marker.isNull()) {
                matches = j < n && text.at(j) == marker;
                ++j;
            }
            int code = 0;
            for (int d = 0; matches && d < hexDigits; ++d, ++j) {
                const int value = j < n ? hexValue(text.at(j)) : -1;
                matches = value >= 0;
                code = code * 16 + value;
            }
            if (matches) {
                i = j;
                pending = QChar(char16_t(code));
                havePending = true;
                continue;
            }
        }
        out += c;
    }
    return out;
}

} // namespace

namespace {

const QLatin1String AbsoluteScheme("http://");

// Where the authority of an absolute target ends: at its path or its query.
qsizetype authorityEnd(const QString &target)
{
    qsizetype end = target.size();
    for (const QChar c : { QLatin1Char('/'), QLatin1Char('?'), QLatin1Char('#') }) {
        const qsizetype at = target.indexOf(c, AbsoluteScheme.size());
        if (at >= 0 && at < end)
            end = at;
    }
    return end;
}

} // namespace

QString requestTargetAuthority(const QString &target)
{
    if (!target.startsWith(AbsoluteScheme, Qt::CaseInsensitive))
        return QString();
    const qsizetype start = AbsoluteScheme.size();
    const QString authority = target.mid(start, authorityEnd(target) - start);
    // An empty authority is still one (and never ours), not the absence of one.
    return authority.isNull() ? QStringLiteral("") : authority;
}

HttpTarget splitRequestTarget(const QString &target)
{
    HttpTarget result;
    QString rest = target;
    if (rest.startsWith(AbsoluteScheme, Qt::CaseInsensitive)) {
        const qsizetype end = authorityEnd(rest);
        rest = end >= rest.size() ? QStringLiteral("/") : rest.mid(end);
        if (!rest.startsWith(QLatin1Char('/')))
            rest.prepend(QLatin1Char('/'));
    }
    result.uri = foldSlashes(rest);

    const qsizetype questionMark = rest.indexOf(QLatin1Char('?'));
    QString pathAndFile = questionMark < 0 ? rest : rest.left(questionMark);
    if (questionMark >= 0)
        result.query = rest.mid(questionMark + 1);

    pathAndFile = foldSlashes(pathAndFile);
    const qsizetype lastSlash = pathAndFile.lastIndexOf(QLatin1Char('/'));
    result.path = pathAndFile.left(lastSlash + 1);
    result.file = pathAndFile.mid(lastSlash + 1);
    if (result.path.startsWith(QLatin1Char('/')))
        result.path.remove(0, 1);
    return result;
}

QMap<QString, QString> parseQuery(const QString &query)
{
    QMap<QString, QString> items;
    const QStringList parts = query.split(QLatin1Char('&'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        const qsizetype equals = part.indexOf(QLatin1Char('='));
        if (equals == 0)
            continue;
        if (equals < 0)
            items.insert(part, QString());
        else
            items.insert(part.left(equals), urlDecode(part.mid(equals + 1).trimmed()));
    }
    return items;
}

QString urlDecode(const QString &value)
{
    static const QLatin1String marker("__UTF8__");
    if (!value.startsWith(marker))
        return value;
    QString text = value.mid(marker.size());
    text = decodePass(text, QChar(), 2);
    text = decodePass(text, QLatin1Char('x'), 2);
    return decodePass(text, QLatin1Char('u'), 4);
}

bool isUnsafeRequestPath(const QString &pathAndFile)
{
    QString decoded = pathAndFile;
    // Decoding twice catches "%252e%252e" too.
    for (int round = 0; round < 2; ++round)
        decoded = QString::fromUtf8(QByteArray::fromPercentEncoding(decoded.toUtf8()));
    if (decoded.contains(QLatin1Char('\\')) || decoded.contains(QChar(0)))
        return true;
    const QStringList segments = decoded.split(QLatin1Char('/'));
    return segments.contains(QLatin1String(".."));
}

QString percentDecodeUtf8(const QString &text)
{
    QByteArray bytes;
    qsizetype position = 0;
    while (position < text.size() && text.at(position) == QLatin1Char('%')) {
        qsizetype next = text.indexOf(QLatin1Char('%'), position + 1);
        if (next < 0)
            next = text.size();
        bool ok = false;
        const qulonglong value = QStringView(text).mid(position + 1, next - position - 1).toULongLong(&ok, 16);
        // A run that is no hex number ends the value instead of adding a NUL byte.
        if (!ok)
            break;
        bytes.append(char(value & 0xFF));
        position = next;
    }
    return QString::fromUtf8(bytes);
}

} // namespace ZOZ
