#include "web/ZOZTemplateRowPattern.h"

namespace ZOZ {

namespace {

// The combinations one list compiles at most; rows beyond them use the setters.
constexpr qsizetype MaxCombinations = 64;

// Per value in a combination's key: how it acts on blocks and how it goes in.
enum KeyCode : char { Empty = 'e', False = 'f', True = 't', EscapedFalse = 'F', EscapedTrue = 'T' };

bool isMarker(QChar c)
{
    return c.unicode() >= FirstMarker && c.unicode() <= LastMarker;
}

bool isAsciiLetterOrDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || c.isDigit();
}

// Characters that start or end a tag, a block or a placeholder: text holding
// one could act on the setters after it wherever it stands.
bool bringsMarkup(QStringView text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '<' || u == '>' || u == '{' || u == '}')
            return true;
    }
    return false;
}

bool holdsQuote(QStringView text)
{
    return text.contains(QLatin1Char('"')) || text.contains(QLatin1Char('\''));
}

bool holdsMarker(const QString &text)
{
    for (const QChar c : text) {
        if (isMarker(c))
            return true;
    }
    return false;
}

// The nearest of the two characters before `at` (backwards) or after it.
QChar nearestBefore(const QString &text, qsizetype at, char16_t a, char16_t b)
{
    for (qsizetype i = at - 1; i >= 0; --i) {
        if (text.at(i) == QChar(a) || text.at(i) == QChar(b))
            return text.at(i);
    }
    return QChar();
}

qsizetype nearestAfter(const QString &text, qsizetype at, char16_t a, char16_t b)
{
    for (qsizetype i = at + 1; i < text.size(); ++i) {
        if (text.at(i) == QChar(a) || text.at(i) == QChar(b))
            return i;
    }
    return -1;
}

} // namespace

TemplateRowPattern::TemplateRowPattern(const QString &pattern, const QString &prefix,
                                       const QVector<QString> &fieldNames)
    : m_pattern(pattern), m_prefix(prefix)
{
    // The full names come from the prefix; a row's names are compared by their ends.
    QVector<QString> names = fieldNames;
    for (const char *special : {"__INDEX__", "__INDEX+ONE__", "__FIRST_ITEM__", "__LAST_ITEM__"})
        names.append(prefix + QLatin1String(special));
    m_compilable = !holdsMarker(pattern);
    for (const QString &name : names) {
        m_compilable = m_compilable && name.startsWith(prefix) && !holdsMarker(name) && !bringsMarkup(name);
        m_forms.append(ScalarForms(name));
    }
}

bool TemplateRowPattern::matchesFields(const TemplateVariable::Row &row) const
{
    if (row.size() != m_forms.size() - 4)
        return false;
    for (qsizetype f = 0; f < row.size(); ++f) {
        const QString &full = m_forms.at(f).name;
        const TemplateVariable &field = row.at(f);
        if (field.isList || full.size() != m_prefix.size() + field.name.size() || !full.endsWith(field.name))
            return false;
    }
    return true;
}

bool TemplateRowPattern::appendRow(QString &out, const TemplateVariable::Row &row, qsizetype index, qsizetype count)
{
    if (!m_compilable || !matchesFields(row))
        return false;
    const QString specials[] = {QString::number(index), QString::number(index + 1),
                                index == 0 ? QStringLiteral("true") : QStringLiteral("false"),
                                index == count - 1 ? QStringLiteral("true") : QStringLiteral("false")};
    QVector<const QString *> values;
    values.reserve(m_forms.size());
    QByteArray key;
    key.reserve(m_forms.size());
    for (qsizetype k = 0; k < m_forms.size(); ++k) {
        const bool fromRow = k < row.size();
        const QString &value = fromRow ? row.at(k).value : specials[k - row.size()];
        const bool escaped = fromRow && row.at(k).escape;
        values.append(&value);
        if (value.isEmpty())
            key.append(Empty);
        else if (isTrue(value))
            key.append(escaped ? EscapedTrue : True);
        else
            key.append(escaped ? EscapedFalse : False);
    }

    auto found = m_marked.constFind(key);
    if (found == m_marked.constEnd()) {
        if (m_marked.size() >= MaxCombinations)
            return false;
        found = m_marked.insert(key, mark(key));
    }
    if (!found->usable)
        return false;

    const qsizetype start = out.size();
    for (const Piece &piece : found->pieces) {
        out += piece.literal;
        if (piece.value < 0)
            break;
        const QString &value = *values.at(piece.value);
        const QString inserted =
            piece.code == VerbatimCode ? value : escapeForHtmlContext(value, HtmlContext(piece.code));
        // A value that its escaping empties would join the text around it.
        if (inserted.isEmpty() || bringsMarkup(inserted)
            || (!piece.quotesInert && holdsQuote(inserted))) {
            out.truncate(start);
            return false;
        }
        out += inserted;
    }
    return true;
}

TemplateRowPattern::Marked TemplateRowPattern::mark(const QByteArray &key) const
{
    Marked marked;
    QVector<MarkedPlace> places;
    QVector<bool> quotesInert;
    QString text = m_pattern;
    for (qsizetype k = 0; k < m_forms.size(); ++k) {
        const char code = key.at(k);
        Insertion insertion;
        insertion.truth = code == True || code == EscapedTrue;
        insertion.escaping = code == EscapedTrue || code == EscapedFalse ? Escaping::ByContext : Escaping::None;
        // An empty value goes in as it is: the text around it joins just as it will.
        if (code != Empty) {
            insertion.marker = int(k);
            insertion.places = &places;
        }
        setScalar(text, m_forms.at(k), insertion);
        if (places.size() > MaxMarkedPlaces || !markersAreInert(text))
            return marked;
        quotesInert.resize(places.size(), true);
        noteQuoteContexts(text, quotesInert);
    }

    Piece piece;
    for (const QChar c : text) {
        if (!isMarker(c)) {
            piece.literal += c;
            continue;
        }
        const qsizetype place = c.unicode() - FirstMarker;
        piece.value = places.at(place).value;
        piece.code = places.at(place).code;
        piece.quotesInert = quotesInert.at(place);
        marked.pieces.append(piece);
        piece = Piece();
    }
    marked.pieces.append(piece);
    marked.usable = true;
    return marked;
}

// A quote in a value is only text where the context scanner passes over it in
// text or data; in a tag or a quoted value it would open or close a value.
// Later setters scan over earlier values, so every context a value's marker
// has after each setter counts.
void TemplateRowPattern::noteQuoteContexts(const QString &text, QVector<bool> &quotesInert)
{
    QVector<qsizetype> positions;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (isMarker(text.at(i)))
            positions.append(i);
    }
    const QVector<HtmlContext> contexts = htmlContextsAt(text, positions);
    for (qsizetype m = 0; m < positions.size(); ++m) {
        if (contexts.at(m) != HtmlContext::Text && contexts.at(m) != HtmlContext::Data)
            quotesInert[text.at(positions.at(m)).unicode() - FirstMarker] = false;
    }
}

// Whether each marker stands where no value without markup can change what
// the setters after it find: outside any "{...}" and any block tag, not
// inside a tag name or a comment's opening or closing.
bool TemplateRowPattern::markersAreInert(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!isMarker(text.at(i)))
            continue;
        if (nearestBefore(text, i, '{', '}') == QLatin1Char('{')) {
            const qsizetype after = nearestAfter(text, i, '{', '}');
            if (after >= 0 && text.at(after) == QLatin1Char('}'))
                return false;
        }
        qsizetype angle = i - 1;
        while (angle >= 0 && text.at(angle) != QLatin1Char('<') && text.at(angle) != QLatin1Char('>'))
            --angle;
        if (angle >= 0 && text.at(angle) == QLatin1Char('<')) {
            const QStringView tag = QStringView(text).mid(angle);
            const bool blockTag = tag.startsWith(QLatin1String("<if ")) || tag.startsWith(QLatin1String("<ifnot "))
                                  || tag.startsWith(QLatin1String("</if ")) || tag.startsWith(QLatin1String("</ifnot "));
            const qsizetype after = nearestAfter(text, i, '<', '>');
            if (blockTag && after >= 0 && text.at(after) == QLatin1Char('>'))
                return false;
        }
        qsizetype j = i - 1;
        while (j >= 0 && isAsciiLetterOrDigit(text.at(j)))
            --j;
        if (j >= 0) {
            const QChar c = text.at(j);
            if (c == QLatin1Char('<') || (c == QLatin1Char('/') && j > 0 && text.at(j - 1) == QLatin1Char('<')))
                return false;
            if (j == i - 1 && (c == QLatin1Char('!') || c == QLatin1Char('-')))
                return false;
        }
        if (i + 1 < text.size()) {
            const QChar c = text.at(i + 1);
            if (c == QLatin1Char('-') || c == QLatin1Char('>') || c == QLatin1Char('!'))
                return false;
        }
    }
    return true;
}

} // namespace ZOZ
