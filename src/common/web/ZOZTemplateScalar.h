#pragma once

#include "web/ZOZHtmlContext.h"

#include <QString>
#include <QStringMatcher>
#include <QVector>

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

// A place a marker stands for while a list row's pattern is compiled: which
// of the row's values goes there, and the context code it is escaped for.
struct MarkedPlace
{
    int value = 0;
    int code = 0;
};

// What a setter puts in place of a name: the value with its truth for the
// blocks, or (with `places`) a one-character marker per place that records
// which value goes there and in which context.
struct Insertion
{
    QString value;
    bool truth = false;
    Escaping escaping = Escaping::None;
    int marker = -1;
    QVector<MarkedPlace> *places = nullptr;
};

// A value counts as true unless it is empty or "false".
bool isTrue(const QString &value);

// Resolves the blocks of the name by the truth of the insertion and puts it in
// place of each placeholder.
void setScalar(QString &text, const ScalarForms &forms, const Insertion &insertion);
void setScalar(QString &text, const ScalarForms &forms, const QString &value, Escaping escaping = Escaping::None);
void setScalar(QString &text, const QString &name, const QString &value, Escaping escaping = Escaping::None);

// The markers: one character each, from the private use area, numbered in
// the order their places were marked. The context codes are the contexts and
// one more for values inserted as they are.
constexpr char16_t FirstMarker = 0xE000;
constexpr char16_t LastMarker = 0xF8FF;
constexpr int MaxMarkedPlaces = LastMarker - FirstMarker + 1;
constexpr int VerbatimCode = 4;

} // namespace ZOZ
