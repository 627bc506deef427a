#pragma once

#include "web/ZOZTemplateScalar.h"
#include "web/ZOZTemplateVariable.h"

#include <QHash>
#include <QVector>

namespace ZOZ {

// The pattern of one list's rows, filled without editing a copy per row.
//
// Filling a row sets its fields one after the other on a copy of the pattern,
// and each setter searches the copy again. What the setters do depends only on
// the pattern and, for each value, whether it is empty or true, as long as the
// values bring no markup along. So the setters run once per such combination
// with markers in place of the values, and the rows of that combination are
// the marked text with each marker replaced by its value, escaped for the
// context recorded with it. Whatever could make a value act on the setters
// after it (markup or braces in the value, a place inside a tag name, a
// block tag or a placeholder) leaves the row to the setters: the result is
// byte for byte what they make.
class TemplateRowPattern
{
public:
    // `fieldNames` are the full names ("LIST:field") of the row's fields in order.
    TemplateRowPattern(const QString &pattern, const QString &prefix, const QVector<QString> &fieldNames);

    // Appends the filled row `index` of `count` to `out`; false, with `out`
    // as it was, when this row needs the setters.
    bool appendRow(QString &out, const TemplateVariable::Row &row, qsizetype index, qsizetype count);

private:
    // A literal piece of text followed by one value (none after the last piece).
    struct Piece
    {
        QString literal;
        int value = -1;
        int code = 0;
        // Whether a quote in the value stays text here (see noteQuoteContexts).
        bool quotesInert = true;
    };
    struct Marked
    {
        bool usable = false;
        QVector<Piece> pieces;
    };

    bool matchesFields(const TemplateVariable::Row &row) const;
    Marked mark(const QByteArray &key) const;
    static bool markersAreInert(const QString &text);
    static void noteQuoteContexts(const QString &text, QVector<bool> &quotesInert);

    QString m_pattern;
    QString m_prefix;
    QVector<ScalarForms> m_forms;
    bool m_compilable = true;
    QHash<QByteArray, Marked> m_marked;
};

} // namespace ZOZ
