#pragma once

#include <QString>

namespace ZOZ {

// Entity escaping for text that goes into HTML: <, >, & and the double quote.
QString escapeXml(const QString &text);

// For text between HTML tags: "&", "<" and ">" become entities, white space one
// blank; other control characters, which a page cannot show, are left out.
QString escapeHtmlText(const QString &text);

// For an HTML attribute value: as escapeHtmlText, and both quotes become entities.
QString escapeHtmlAttribute(const QString &text);

// Escaping for the content of a JSON string in our answers and published template
// strings. White space becomes one blank and the HTML entities are applied, so the
// pages can insert the text anywhere; backslash and the remaining control characters
// are written as JSON escapes, so the result is always a valid JSON string body.
QString escapeJsonText(const QString &text);

// Only the JSON escapes (quote, backslash, control characters), for member names.
QString escapeJsonName(const QString &text);

// Turns <br> tags into line breaks and drops every other tag.
QString htmlToPlainText(const QString &html);


} // namespace ZOZ
