#include "web/ZOZHtmlContext.h"

#include "web/ZOZWebText.h"

#include <algorithm>

namespace ZOZ {

namespace {

enum class State { Text, Comment, Tag, DoubleQuoted, SingleQuoted, RawText, TemplateBlock };

bool isAsciiLetter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
}

bool startsAt(QStringView text, qsizetype at, QLatin1String what)
{
    return text.mid(at).startsWith(what, Qt::CaseInsensitive);
}

bool isTemplateBlockAt(QStringView text, qsizetype at)
{
    for (const char *tag : { "<if ", "<ifnot ", "</if ", "</ifnot " }) {
        if (text.mid(at).startsWith(QLatin1String(tag)))
            return true;
    }
    return false;
}

HtmlContext contextOf(State state)
{
    switch (state) {
    case State::Tag: return HtmlContext::UnquotedAttribute;
    case State::DoubleQuoted:
    case State::SingleQuoted: return HtmlContext::Attribute;
    case State::RawText: return HtmlContext::Data;
    default: return HtmlContext::Text;
    }
}

// A small HTML tokenizer that knows just enough to tell the contexts apart.
class ContextScanner
{
public:
    explicit ContextScanner(QStringView text) : m_text(text) {}

    HtmlContext advanceTo(qsizetype target)
    {
        const qsizetype end = std::min(target, m_text.size());
        while (m_at < end) {
            skipUnchanging(end);
            if (m_at < end)
                step();
        }
        return contextOf(m_state);
    }

private:
    // Moves over the characters that leave the state as it is: a long page is
    // mostly such runs, and each of its placeholders is scanned up to.
    void skipUnchanging(qsizetype end)
    {
        const char16_t *const text = m_text.utf16();
        qsizetype at = m_at;
        switch (m_state) {
        case State::Text:
        case State::RawText:
            while (at < end && text[at] != u'<')
                ++at;
            break;
        case State::Comment:
            while (at < end && !(text[at] == u'-' && startsAt(m_text, at, QLatin1String("-->"))))
                ++at;
            break;
        case State::DoubleQuoted:
            while (at < end && text[at] != u'"')
                ++at;
            break;
        case State::SingleQuoted:
            while (at < end && text[at] != u'\'')
                ++at;
            break;
        case State::TemplateBlock:
            while (at < end && text[at] != u'>')
                ++at;
            break;
        case State::Tag:
            while (at < end && text[at] != u'"' && text[at] != u'\'' && text[at] != u'>' && text[at] != u'<')
                ++at;
            break;
        }
        m_at = at;
    }

    void step()
    {
        const QChar c = m_text.at(m_at);
        switch (m_state) {
        case State::Text:
            if (c == QLatin1Char('<'))
                openAngle(State::Text);
            else
                ++m_at;
            return;
        case State::Comment:
            if (startsAt(m_text, m_at, QLatin1String("-->"))) {
                m_at += 3;
                m_state = State::Text;
            } else {
                ++m_at;
            }
            return;
        case State::Tag:
            ++m_at;
            if (c == QLatin1Char('"'))
                m_state = State::DoubleQuoted;
            else if (c == QLatin1Char('\''))
                m_state = State::SingleQuoted;
            else if (c == QLatin1Char('>'))
                m_state = m_rawElement.isEmpty() ? State::Text : State::RawText;
            else if (c == QLatin1Char('<') && isTemplateBlockAt(m_text, m_at - 1))
                enterTemplateBlock(State::Tag);
            return;
        case State::DoubleQuoted:
        case State::SingleQuoted:
            ++m_at;
            if (c == QLatin1Char(m_state == State::DoubleQuoted ? '"' : '\''))
                m_state = State::Tag;
            return;
        case State::RawText:
            if (c == QLatin1Char('<') && startsAt(m_text, m_at, QLatin1String("</"))
                && startsAt(m_text, m_at + 2, QLatin1String(m_rawElement))) {
                m_rawElement = QLatin1String();
                m_at += 2;
                m_state = State::Tag;
            } else {
                ++m_at;
            }
            return;
        case State::TemplateBlock:
            ++m_at;
            if (c == QLatin1Char('>'))
                m_state = m_afterBlock;
            return;
        }
    }

    void openAngle(State from)
    {
        if (startsAt(m_text, m_at, QLatin1String("<!--"))) {
            m_state = State::Comment;
            m_at += 4;
            return;
        }
        if (isTemplateBlockAt(m_text, m_at)) {
            ++m_at;
            enterTemplateBlock(from);
            return;
        }
        const qsizetype nameStart = m_at + (startsAt(m_text, m_at, QLatin1String("</")) ? 2 : 1);
        if (nameStart >= m_text.size() || !isAsciiLetter(m_text.at(nameStart))) {
            ++m_at;
            return;
        }
        qsizetype nameEnd = nameStart;
        while (nameEnd < m_text.size() && (isAsciiLetter(m_text.at(nameEnd)) || m_text.at(nameEnd).isDigit()))
            ++nameEnd;
        const QStringView name = m_text.mid(nameStart, nameEnd - nameStart);
        const bool closing = nameStart == m_at + 2;
        m_rawElement = QLatin1String();
        if (!closing) {
            for (const char *raw : { "script", "style" }) {
                if (name.compare(QLatin1String(raw), Qt::CaseInsensitive) == 0)
                    m_rawElement = QLatin1String(raw);
            }
        }
        m_at = nameEnd;
        m_state = State::Tag;
    }

    void enterTemplateBlock(State returnTo)
    {
        m_afterBlock = returnTo;
        m_state = State::TemplateBlock;
    }

    QStringView m_text;
    qsizetype m_at = 0;
    State m_state = State::Text;
    State m_afterBlock = State::Text;
    QLatin1String m_rawElement;
};

} // namespace

QVector<HtmlContext> htmlContextsAt(QStringView text, const QVector<qsizetype> &positions)
{
    QVector<HtmlContext> contexts;
    contexts.reserve(positions.size());
    ContextScanner scanner(text);
    for (const qsizetype position : positions)
        contexts.append(scanner.advanceTo(position));
    return contexts;
}

QString escapeForHtmlContext(const QString &value, HtmlContext context)
{
    switch (context) {
    case HtmlContext::Text:
        return escapeHtmlText(value);
    case HtmlContext::Attribute:
        return escapeHtmlAttribute(value);
    case HtmlContext::UnquotedAttribute: {
        // Without quotes a blank, "=" or "`" would end the value or start another.
        QString escaped = escapeHtmlAttribute(value);
        escaped.replace(QLatin1Char(' '), QLatin1String("&#32;"));
        escaped.replace(QLatin1Char('='), QLatin1String("&#61;"));
        escaped.replace(QLatin1Char('`'), QLatin1String("&#96;"));
        return escaped;
    }
    case HtmlContext::Data:
        return escapeJsonText(value);
    }
    return escapeHtmlText(value);
}

} // namespace ZOZ
