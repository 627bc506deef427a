#include "web/ZOZWebText.h"

#include <QRegularExpression>

namespace ZOZ {

QString escapeXml(const QString &text)
{
    QString escaped;
    escaped.reserve(text.size() + text.size() / 10);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '<': escaped += QLatin1String("&lt;"); break;
        case '>': escaped += QLatin1String("&gt;"); break;
        case '&': escaped += QLatin1String("&amp;"); break;
        case '"': escaped += QLatin1String("&quot;"); break;
        default: escaped += c; break;
        }
    }
    return escaped;
}

namespace {

enum class Quotes { Kept, Escaped };

bool isUnshownControl(char16_t u)
{
    return u < 0x20 || (u >= 0x7F && u <= 0x9F);
}

QString escapeHtml(const QString &text, Quotes quotes)
{
    QString out;
    out.reserve(text.size() + text.size() / 10);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (c.isSpace()) {
            out += QLatin1Char(' ');
            continue;
        }
        switch (u) {
        case '<': out += QLatin1String("&lt;"); break;
        case '>': out += QLatin1String("&gt;"); break;
        case '&': out += QLatin1String("&amp;"); break;
        case '"': out += quotes == Quotes::Escaped ? QLatin1String("&quot;") : QLatin1String("\""); break;
        case '\'': out += quotes == Quotes::Escaped ? QLatin1String("&#39;") : QLatin1String("'"); break;
        default:
            if (!isUnshownControl(u))
                out += c;
            break;
        }
    }
    return out;
}

} // namespace

QString escapeHtmlText(const QString &text)
{
    return escapeHtml(text, Quotes::Kept);
}

QString escapeHtmlAttribute(const QString &text)
{
    return escapeHtml(text, Quotes::Escaped);
}

namespace {

void appendControlEscape(QString &out, char16_t c)
{
    static const char hexDigits[] = "0123456789abcdef";
    out += QLatin1String("\\u00");
    out += QLatin1Char(hexDigits[(c >> 4) & 0xF]);
    out += QLatin1Char(hexDigits[c & 0xF]);
}

} // namespace

QString escapeJsonText(const QString &text)
{
    QString out;
    out.reserve(text.size() + text.size() / 10);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (c.isSpace()) {
            out += QLatin1Char(' ');
            continue;
        }
        switch (u) {
        case '<': out += QLatin1String("&lt;"); break;
        case '>': out += QLatin1String("&gt;"); break;
        case '&': out += QLatin1String("&amp;"); break;
        case '"': out += QLatin1String("&quot;"); break;
        case '\\': out += QLatin1String("\\\\"); break;
        default:
            if (u < 0x20)
                appendControlEscape(out, u);
            else
                out += c;
            break;
        }
    }
    return out;
}

QString escapeJsonName(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '"' || u == '\\') {
            out += QLatin1Char('\\');
            out += c;
        } else if (u < 0x20) {
            appendControlEscape(out, u);
        } else {
            out += c;
        }
    }
    return out;
}

QString htmlToPlainText(const QString &html)
{
    static const QRegularExpression lineBreak(QStringLiteral("<br/?>"));
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    QString text = html;
    text.replace(lineBreak, QStringLiteral("\r\n"));
    text.remove(tag);
    return text;
}

} // namespace ZOZ
