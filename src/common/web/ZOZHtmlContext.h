#pragma once

#include <QString>
#include <QStringView>
#include <QVector>

namespace ZOZ {

// Where a placeholder stands in a page, which decides how a value is escaped.
enum class HtmlContext {
    Text,              // between tags (or in a comment)
    Attribute,         // inside a quoted attribute value
    UnquotedAttribute, // inside a tag, outside quotes
    Data,              // inside a script or style element: our pages hold JSON data there
};

// The context at each of the ascending positions of a page or of a part of one
// that starts between tags. The template's own blocks ("<if NAME>", "</ifnot
// NAME>") are not tags of the page.
QVector<HtmlContext> htmlContextsAt(QStringView text, const QVector<qsizetype> &positions);

// A value from outside escaped for its context: HTML text, attribute value, or
// the content of a JSON string.
QString escapeForHtmlContext(const QString &value, HtmlContext context);

} // namespace ZOZ
