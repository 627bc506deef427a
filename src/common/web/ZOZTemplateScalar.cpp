#include "web/ZOZTemplateScalar.h"

#include <algorithm>

namespace ZOZ {

namespace {

// Resolves the blocks of one form of NAME: the first closing tag after an
// opening tag closes it, so blocks of one name do not nest.
void resolveBlocks(QString &text, const QStringMatcher &open, const QStringMatcher &close, bool keepInside)
{
    const qsizetype openLength = open.pattern().size();
    const qsizetype closeLength = close.pattern().size();
    qsizetype p = open.indexIn(text);
    while (p >= 0) {
        const qsizetype e = close.indexIn(text, p + openLength);
        if (e >= 0) {
            if (keepInside) {
                text.remove(e, closeLength);
                text.remove(p, openLength);
            } else {
                text.remove(p, e + closeLength - p);
            }
        } else {
            ++p;
        }
        p = open.indexIn(text, p);
    }
}

bool isOpeningTagAt(const QString &text, qsizetype at, qsizetype nameLength)
{
    const QStringView view(text);
    if (at + nameLength >= view.size() || view.at(at + nameLength) != QLatin1Char('>'))
        return false;
    return (at >= 4 && view.mid(at - 4, 4) == QLatin1String("<if "))
           || (at >= 7 && view.mid(at - 7, 7) == QLatin1String("<ifnot "));
}

QChar markerFor(const Insertion &insertion, HtmlContext context)
{
    const int code = insertion.escaping == Escaping::ByContext ? int(context) : VerbatimCode;
    insertion.places->append(MarkedPlace{insertion.marker, code});
    // Places past the last marker all get it; the compiler refuses such a pattern.
    return QChar(char16_t(FirstMarker + std::min<qsizetype>(insertion.places->size() - 1, MaxMarkedPlaces - 1)));
}

// Puts the insertion in place of the placeholders at the given ascending positions.
void substitute(QString &text, const QVector<qsizetype> &placeholders, qsizetype placeholderLength,
                const Insertion &insertion)
{
    if (placeholders.isEmpty())
        return;
    QVector<HtmlContext> contexts;
    if (insertion.escaping == Escaping::ByContext)
        contexts = htmlContextsAt(text, placeholders);
    QString out;
    out.reserve(text.size() + placeholders.size() * (insertion.value.size() - placeholderLength));
    qsizetype from = 0;
    for (qsizetype i = 0; i < placeholders.size(); ++i) {
        const qsizetype at = placeholders.at(i);
        const HtmlContext context = contexts.isEmpty() ? HtmlContext::Text : contexts.at(i);
        out += QStringView(text).mid(from, at - from);
        if (insertion.places)
            out += markerFor(insertion, context);
        else if (insertion.escaping == Escaping::ByContext)
            out += escapeForHtmlContext(insertion.value, context);
        else
            out += insertion.value;
        from = at + placeholderLength;
    }
    out += QStringView(text).mid(from);
    text = out;
}

} // namespace

ScalarForms::ScalarForms(const QString &name)
    : name(name), open(QLatin1String("<if ") + name + QLatin1Char('>')),
      close(QLatin1String("</if ") + name + QLatin1Char('>')),
      openNot(QLatin1String("<ifnot ") + name + QLatin1Char('>')),
      closeNot(QLatin1String("</ifnot ") + name + QLatin1Char('>')),
      placeholder(QLatin1Char('{') + name + QLatin1Char('}')), placeholderMatcher(placeholder), matcher(name),
      plainName(!name.contains(QLatin1Char('{')) && !name.contains(QLatin1Char('}')))
{
}

bool isTrue(const QString &value)
{
    return !value.isEmpty() && value != QLatin1String("false");
}

void setScalar(QString &text, const ScalarForms &forms, const Insertion &insertion)
{
    // Every form holds the name: a text without it has nothing to change.
    const qsizetype first = forms.matcher.indexIn(text);
    if (first < 0)
        return;

    // Without blocks of the name only placeholders are left: one pass over
    // the occurrences found already does what the full resolution would.
    const qsizetype length = forms.name.size();
    QVector<qsizetype> placeholders;
    bool hasBlocks = !forms.plainName;
    for (qsizetype at = first; at >= 0 && !hasBlocks; at = forms.matcher.indexIn(text, at + 1)) {
        if (isOpeningTagAt(text, at, length))
            hasBlocks = true;
        else if (at > 0 && text.at(at - 1) == QLatin1Char('{') && at + length < text.size()
                 && text.at(at + length) == QLatin1Char('}'))
            placeholders.append(at - 1);
    }
    if (!hasBlocks) {
        substitute(text, placeholders, forms.placeholder.size(), insertion);
        return;
    }

    resolveBlocks(text, forms.open, forms.close, insertion.truth);
    resolveBlocks(text, forms.openNot, forms.closeNot, !insertion.truth);
    placeholders.clear();
    for (qsizetype at = forms.placeholderMatcher.indexIn(text); at >= 0;
         at = forms.placeholderMatcher.indexIn(text, at + forms.placeholder.size()))
        placeholders.append(at);
    substitute(text, placeholders, forms.placeholder.size(), insertion);
}

void setScalar(QString &text, const ScalarForms &forms, const QString &value, Escaping escaping)
{
    setScalar(text, forms, Insertion{value, isTrue(value), escaping});
}

void setScalar(QString &text, const QString &name, const QString &value, Escaping escaping)
{
    setScalar(text, ScalarForms(name), value, escaping);
}

} // namespace ZOZ
