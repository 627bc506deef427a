#include "web/ZOZHtmlTemplatePrivate.h"

#include "web/ZOZTemplateScalar.h"
#include "web/ZOZWebText.h"

#include <QRegularExpression>
#include <QStringMatcher>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace ZOZ {

namespace {

const QLatin1String InstructionsComment("<!-- TEMPLATE_INSTRUCTIONS -->");
const QLatin1String InstructionsPlaceholder("{TEMPLATE_INSTRUCTIONS}");
const QLatin1String InstructionsTableStart("<table class='template-instructions'>\n");

const QLatin1String InstructionsStyle(
    "<style type='text/css'>\n"
    "table.template-instructions { background-color: #fff; margin: 4px; padding: 2px;"
    " border: 1px solid black; text-align: left; }\n"
    "table.template-instructions th { padding-left: 8px; font-weight: bold; vertical-align: top; }\n"
    "table.template-instructions td { vertical-align: top; }\n"
    "</style>\n");

// Whatever no setter resolved counts as false: plain blocks go, negated
// blocks keep their inside. A block without its closing tag stays.
void clearUnresolvedConditions(QString &text)
{
    static const QRegularExpression opening(QStringLiteral("<if(not)? ([^>]*)>"));
    qsizetype p = 0;
    for (QRegularExpressionMatch match = opening.match(text, p); match.hasMatch(); match = opening.match(text, p)) {
        p = match.capturedStart();
        const bool negated = match.capturedLength(1) > 0;
        const QString close = (negated ? QLatin1String("</ifnot ") : QLatin1String("</if ")) + match.captured(2)
                              + QLatin1Char('>');
        const qsizetype e = text.indexOf(close, match.capturedEnd());
        if (e < 0) {
            ++p;
        } else if (negated) {
            text.remove(e, close.size());
            text.remove(p, match.capturedLength());
        } else {
            text.remove(p, e + close.size() - p);
        }
    }
}

// Removes comments from the last to the first, so that text joined by a
// removal is seen again; a comment that never ends runs to the end of the
// text. The text is kept as an untouched head and a finished tail, so each
// character is moved once however many comments a long list page holds.
class CommentStripper
{
public:
    CommentStripper(const QString &text, bool showInstructions)
        : m_head(text), m_headEnd(text.size()), m_tail(text.size(), Qt::Uninitialized), m_tailStart(text.size()),
          m_showInstructions(showInstructions)
    {
        // The head is only ever cut shorter: its openings are found once, in
        // one forward search, rather than searched backwards for each comment.
        static const QStringMatcher opening(QStringLiteral("<!--"));
        for (qsizetype p = opening.indexIn(m_head); p >= 0; p = opening.indexIn(m_head, p + 1))
            m_headOpenings.append(p);
    }

    QString run()
    {
        for (qsizetype p = lastOpening(); p >= 0; p = lastOpening())
            removeComment(p);
        QString text;
        text.reserve(size());
        text.append(QStringView(m_head).first(m_headEnd));
        text.append(QStringView(m_tail).mid(m_tailStart));
        return text;
    }

private:
    qsizetype size() const { return m_headEnd + m_tail.size() - m_tailStart; }
    QChar at(qsizetype i) const { return i < m_headEnd ? m_head.at(i) : m_tail.at(m_tailStart + i - m_headEnd); }

    bool matchesAt(qsizetype i, QLatin1String needle) const
    {
        if (i < 0 || i + needle.size() > size())
            return false;
        for (qsizetype k = 0; k < needle.size(); ++k) {
            if (at(i + k) != QLatin1Char(needle.at(k)))
                return false;
        }
        return true;
    }

    // The finished tail holds no opening of its own: only one that spans the
    // border or lies in the head can be left.
    qsizetype lastOpening()
    {
        const QLatin1String opening("<!--");
        for (qsizetype i = m_headEnd - 1; i > m_headEnd - opening.size() && i >= 0; --i) {
            if (matchesAt(i, opening))
                return i;
        }
        while (!m_headOpenings.isEmpty() && m_headOpenings.last() + opening.size() > m_headEnd)
            m_headOpenings.removeLast();
        return m_headOpenings.isEmpty() ? -1 : m_headOpenings.last();
    }

    qsizetype closingFrom(qsizetype p) const
    {
        const QLatin1String closing("-->");
        const qsizetype inHead = QStringView(m_head).first(m_headEnd).indexOf(closing, p);
        if (inHead >= 0)
            return inHead;
        for (qsizetype i = std::max(p, m_headEnd - closing.size() + 1); i < m_headEnd; ++i) {
            if (matchesAt(i, closing))
                return i;
        }
        const qsizetype inTail = QStringView(m_tail).mid(m_tailStart).indexOf(closing);
        return inTail < 0 ? -1 : m_headEnd + inTail;
    }

    void prependToTail(QStringView text)
    {
        m_tailStart -= text.size();
        std::copy(text.begin(), text.end(), m_tail.begin() + m_tailStart);
    }

    void removeComment(qsizetype p)
    {
        const qsizetype e = closingFrom(p);
        const qsizetype end = e < 0 ? size() : e + 3;
        bool isInstructions = end - p == InstructionsComment.size();
        for (qsizetype k = 0; isInstructions && k < InstructionsComment.size(); ++k)
            isInstructions = at(p + k) == QLatin1Char(InstructionsComment.at(k));
        if (end <= m_headEnd)
            prependToTail(QStringView(m_head).mid(end, m_headEnd - end));
        else
            m_tailStart += end - m_headEnd;
        if (isInstructions && m_showInstructions)
            prependToTail(QString(InstructionsPlaceholder));
        m_headEnd = p;
    }

    const QString m_head;
    QVector<qsizetype> m_headOpenings;
    qsizetype m_headEnd;
    QString m_tail;
    qsizetype m_tailStart;
    const bool m_showInstructions;
};

void stripComments(QString &text, bool showInstructions)
{
    text = CommentStripper(text, showInstructions).run();
}

// Each run of white space that ends with a line break becomes that one line
// break: blank lines and trailing blanks go, indentation after text stays.
void foldBlankLines(QString &text)
{
    const qsizetype n = text.size();
    QString out(n, Qt::Uninitialized);
    const QChar *in = text.constData();
    QChar *write = out.data();
    qsizetype i = 0;
    while (i < n) {
        if (!in[i].isSpace()) {
            *write++ = in[i++];
            continue;
        }
        qsizetype end = i;
        qsizetype lastBreak = -1;
        while (end < n && in[end].isSpace()) {
            if (in[end] == QLatin1Char('\n'))
                lastBreak = end;
            ++end;
        }
        // A single line break with nothing before it is not a run to fold.
        const qsizetype keepFrom = lastBreak > i ? lastBreak : i;
        for (qsizetype k = keepFrom; k < end; ++k)
            *write++ = in[k];
        i = end;
    }
    out.truncate(write - out.constData());
    text = out;
}

// Which of the names that every page gets a value for occur in the page, so
// that a name the page does not hold costs no search of the whole page: one pass
// finds the runs of the names' characters and looks for the names in those, and
// after a value changed the page only the part before the page's unchanged end
// can hold a name that was not there. A name counts as occurring once it was
// found; its setter then finds out for itself.
class PageWideNames
{
public:
    PageWideNames(const QString &text, const QStringList &names) : m_names(names), m_present(names.size(), false)
    {
        std::array<bool, 128> isNameCharacter {};
        qsizetype shortest = std::numeric_limits<qsizetype>::max();
        for (const QString &name : names) {
            shortest = std::min(shortest, name.size());
            for (const QChar c : name) {
                // A name beyond ASCII is simply taken to occur.
                if (c.unicode() >= isNameCharacter.size()) {
                    m_present.fill(true);
                    return;
                }
                isNameCharacter[c.unicode()] = true;
            }
        }
        const QChar *characters = text.constData();
        const qsizetype size = text.size();
        for (qsizetype i = 0; i < size;) {
            if (characters[i].unicode() >= isNameCharacter.size() || !isNameCharacter[characters[i].unicode()]) {
                ++i;
                continue;
            }
            const qsizetype start = i;
            while (i < size && characters[i].unicode() < isNameCharacter.size() && isNameCharacter[characters[i].unicode()])
                ++i;
            if (i - start >= shortest)
                findAbsentIn(QStringView(text).mid(start, i - start));
        }
    }

    bool mayOccur(qsizetype index) const { return m_present.at(index); }

    // After a setter: `after` is the page that `before` became.
    void changed(const QString &before, const QString &after)
    {
        if (before.constData() == after.constData() && before.size() == after.size())
            return;
        const qsizetype changedEnd = after.size() - commonEnd(before, after);
        for (qsizetype n = 0; n < m_names.size(); ++n) {
            // An occurrence that starts in the unchanged end was in the page before.
            if (!m_present.at(n))
                m_present[n] = QStringView(after).first(std::min(after.size(), changedEnd + m_names.at(n).size() - 1)).contains(m_names.at(n));
        }
    }

private:
    void findAbsentIn(QStringView run)
    {
        for (qsizetype n = 0; n < m_names.size(); ++n) {
            if (!m_present.at(n) && run.contains(m_names.at(n)))
                m_present[n] = true;
        }
    }

    // The length of the longest common end of two texts, compared in blocks.
    static qsizetype commonEnd(QStringView a, QStringView b)
    {
        constexpr qsizetype Block = 64;
        const qsizetype most = std::min(a.size(), b.size());
        qsizetype equal = 0;
        while (equal + Block <= most
               && std::memcmp(a.data() + a.size() - equal - Block, b.data() + b.size() - equal - Block,
                              size_t(Block) * sizeof(QChar)) == 0)
            equal += Block;
        while (equal < most && a.at(a.size() - 1 - equal) == b.at(b.size() - 1 - equal))
            ++equal;
        return equal;
    }

    const QStringList m_names;
    QVector<bool> m_present;
};

} // namespace

QString HtmlTemplate::instructionsRow(const TemplateVariable &record) const
{
    QString value;
    if (record.isList) {
        if (record.items.isEmpty())
            value = QStringLiteral("EMPTY");
        for (const TemplateVariable::Row &row : record.items) {
            value += InstructionsTableStart;
            for (const TemplateVariable &field : row)
                value += instructionsRow(field);
            value += QLatin1String("</table>\n");
        }
    } else {
        value = record.escape ? escapeHtmlText(record.value) : record.value;
    }
    return QStringLiteral("<tr><th>%1</th><td>:</td><td>%2</td></tr>\n").arg(record.name, value);
}

QString HtmlTemplate::process()
{
    if (!d->dirty)
        return d->working;

    const TemplateSettings settings = TemplateSettings::current();
    const TemplateContext &context = templateContext();
    QString &text = d->working;

    // Names and titles come from the command line and the configuration file;
    // the page's own values are set already, so these reach what they brought in.
    struct PageWideValue
    {
        QString name;
        QString value;
        Escaping escaping;
        bool recorded; // listed among the page's values
    };
    const auto truth = [](bool on) { return on ? QStringLiteral("true") : QStringLiteral("false"); };
    QVector<PageWideValue> values = {
        {QStringLiteral("ZOZ_APP_NAME_FULL"), context.applicationFullName(), Escaping::ByContext, true},
        {QStringLiteral("ZOZ_APP_NAME"), context.applicationName(), Escaping::ByContext, true},
        {QStringLiteral("ZOZ_APP_TITLE"), settings.windowTitle.isEmpty() ? context.applicationFullName() : settings.windowTitle,
         Escaping::ByContext, true},
        {QStringLiteral("CUSTOM_TITLE"), settings.uiTitle, Escaping::ByContext, true},
        {QStringLiteral("LANGUAGE"), context.language(), Escaping::ByContext, false},
        {QStringLiteral("ZOZ_SERVER_ID"), context.serverId(), Escaping::ByContext, true},
        {QStringLiteral("PAGE-REFRESH"), QString::number(settings.pageRefreshTime), Escaping::None, false},
        {QStringLiteral("ENABLE_AUDIO"), truth(settings.hasAudioService), Escaping::None, false},
    };
    for (const auto &option : settings.configOptions)
        values.append({QLatin1String("ENABLE_") + option.first, truth(option.second != 0), Escaping::None, false});
    QStringList names;
    for (const PageWideValue &value : std::as_const(values))
        names.append(value.name);
    PageWideNames found(text, names);
    for (qsizetype i = 0; i < values.size(); ++i) {
        const PageWideValue &value = values.at(i);
        if (value.recorded)
            d->variables.append(TemplateVariable(value.name, value.value, value.escaping == Escaping::ByContext));
        if (!found.mayOccur(i))
            continue;
        const QString before = text;
        setScalar(text, value.name, value.value, value.escaping);
        found.changed(before, text);
    }

    clearUnresolvedConditions(text);
    stripComments(text, settings.showTemplateInstructions);

    if (settings.showTemplateInstructions) {
        const qsizetype head = text.indexOf(QLatin1String("<head>"));
        if (head >= 0)
            text.insert(head + 6, InstructionsStyle);
        QString table = QStringLiteral("<center>") + InstructionsTableStart;
        for (const TemplateVariable &record : d->variables)
            table += instructionsRow(record);
        table += QLatin1String("</table></center>\n");
        const qsizetype placeholder = text.indexOf(InstructionsPlaceholder);
        if (placeholder >= 0) {
            text.replace(placeholder, InstructionsPlaceholder.size(), table);
        } else {
            const qsizetype body = text.indexOf(QLatin1String("<body>"));
            if (body >= 0)
                text.insert(body + 6, table);
        }
    }

    foldBlankLines(text);
    d->rendered = text.toUtf8();
    d->dirty = false;
    return text;
}

} // namespace ZOZ
