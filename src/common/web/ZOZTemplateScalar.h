#pragma once

#include "web/ZOZHtmlContext.h"

#include <QString>
#include <QStringMatcher>

namespace ZOZ {

// The tags and the placeholder of one name, built once per name.
struct ScalarForms
{
    explicit ScalarForms(const QString &name);

    QString name;
    QStringMatcher open, close, openNot, closeNot;
    QString placeholder;
    QStringMatcher placeholderMatcher;
    QStringMatcher matcher;
    // Without braces in the name only "{NAME}" and the blocks hold it.
    bool plainName;
};

// Values from outside are escaped for where each of their placeholders stands;
// the program's own values (markup, JSON, numbers) go in as they are.
enum class Escaping { None, ByContext };

// What a setter puts in place of a name: the value with its truth for the
// blocks, or (while a list row's pattern is compiled) a one-character marker
// that records which value goes there and in which context.
struct Insertion
{
    QString value;
    bool truth = false;
    Escaping escaping = Escaping::None;
    int marker = -1;
};

// A value counts as true unless it is empty or "false".
bool isTrue(const QString &value);

// Resolves the blocks of the name by the truth of the insertion and puts it in
// place of each placeholder.
void setScalar(QString &text, const ScalarForms &forms, const Insertion &insertion);
void setScalar(QString &text, const ScalarForms &forms, const QString &value, Escaping escaping = Escaping::None);
void setScalar(QString &text, const QString &name, const QString &value, Escaping escaping = Escaping::None);

// The first character of the markers; a marker encodes the value's number and
// the context of its place (one more code for values inserted as they are).
constexpr char16_t FirstMarker = 0xE000;
constexpr char16_t LastMarker = 0xF8FF;
constexpr int MarkerCodes = 5;

} // namespace ZOZ
