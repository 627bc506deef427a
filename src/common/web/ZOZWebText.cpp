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

void appendControlEscape(QString &out, char16_t c)
{
    static const char hexDigits[] = "0123456789abcdef";
    out += QLatin1String("\\u00");
    out += QLatin1Char(hexDigits[(c >> 4) & 0xF]);
    out += QLatin1Char(hexDigits[c & 0xF]);
}

enum class Target { HtmlText, HtmlAttribute, JsonString };

// White space becomes one blank and "<", ">" and "&" entities everywhere; the
// rest depends on where the text goes.
QString escapeFoldingWhiteSpace(const QString &text, Target target)
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
        case '"': out += target == Target::HtmlText ? QLatin1String("\"") : QLatin1String("&quot;"); break;
        case '\'': out += target == Target::HtmlAttribute ? QLatin1String("&#39;") : QLatin1String("'"); break;
        case '\\': out += target == Target::JsonString ? QLatin1String("\\\\") : QLatin1String("\\"); break;
        default:
            if (target == Target::JsonString && u < 0x20)
                appendControlEscape(out, u);
            // A page cannot show the other control characters: they are left out.
            else if (target == Target::JsonString || (u >= 0x20 && (u < 0x7F || u > 0x9F)))
                out += c;
            break;
        }
    }
    return out;
}

} // namespace

QString escapeHtmlText(const QString &text)
{
    return escapeFoldingWhiteSpace(text, Target::HtmlText);
}

QString escapeHtmlAttribute(const QString &text)
{
    return escapeFoldingWhiteSpace(text, Target::HtmlAttribute);
}

QString escapeJsonText(const QString &text)
{
    return escapeFoldingWhiteSpace(text, Target::JsonString);
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
