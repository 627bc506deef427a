#include "web/ZOZTemplateValue.h"

#include "web/ZOZWebText.h"

#include <cmath>

namespace ZOZ {

namespace {

// Number text as the JSON grammar wants it: optional minus, digits without a leading
// zero, optional fraction and exponent.
bool isJsonNumber(const QString &text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto digits = [&] {
        const qsizetype start = i;
        while (i < n && text.at(i).isDigit() && text.at(i).unicode() < 128)
            ++i;
        return i - start;
    };
    if (i < n && text.at(i) == QLatin1Char('-'))
        ++i;
    const qsizetype start = i;
    const qsizetype integerDigits = digits();
    if (integerDigits == 0 || (integerDigits > 1 && text.at(start) == QLatin1Char('0')))
        return false;
    if (i < n && text.at(i) == QLatin1Char('.')) {
        ++i;
        if (digits() == 0)
            return false;
    }
    if (i < n && (text.at(i) == QLatin1Char('e') || text.at(i) == QLatin1Char('E'))) {
        ++i;
        if (i < n && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-')))
            ++i;
        if (digits() == 0)
            return false;
    }
    return i == n;
}

void appendQuoted(QString &out, const QString &text)
{
    out += QLatin1Char('"');
    out += text;
    out += QLatin1Char('"');
}

} // namespace

TemplateValue::TemplateValue() = default;

TemplateValue::TemplateValue(Type type) : m_type(type) {}

TemplateValue::TemplateValue(const QString &name, Type type) : m_type(type), m_name(name) {}

void TemplateValue::setNumber(const QString &name, const QString &text)
{
    m_escape = 0;
    m_type = Number;
    m_name = name;
    m_value = text;
}

TemplateValue::TemplateValue(const QString &name, uint8_t number) { setNumber(name, QString::number(number)); }
TemplateValue::TemplateValue(const QString &name, uint16_t number) { setNumber(name, QString::number(number)); }
TemplateValue::TemplateValue(const QString &name, int number) { setNumber(name, QString::number(number)); }
TemplateValue::TemplateValue(const QString &name, unsigned int number) { setNumber(name, QString::number(number)); }
TemplateValue::TemplateValue(const QString &name, long number) { setNumber(name, QString::number(number)); }
TemplateValue::TemplateValue(const QString &name, long long number) { setNumber(name, QString::number(number)); }

TemplateValue::TemplateValue(const QString &name, double number)
{
    // NaN and infinity have no JSON form.
    setNumber(name, std::isfinite(number) ? QString::number(number, 'g', 6) : QStringLiteral("null"));
}

TemplateValue::TemplateValue(const QString &name, bool value)
    : m_escape(0), m_type(Bool), m_name(name), m_value(value ? QStringLiteral("true") : QStringLiteral("false"))
{
}

TemplateValue::TemplateValue(const QString &name, const QString &text, Type type)
    : m_type(type), m_name(name), m_value(text.simplified())
{
}

TemplateValue::TemplateValue(const QString &name, const char *text)
    : m_type(String), m_name(name), m_value(QString::fromUtf8(text).simplified())
{
}

TemplateValue::TemplateValue(const QString &name, const TemplateValue &other) : m_type(other.m_type), m_name(name)
{
    switch (other.m_type) {
    case Bool:
    case Number:
    case String:
        m_value = other.m_value;
        break;
    case List:
        m_listChildren = other.m_listChildren;
        break;
    case Map:
        m_mapChildren = other.m_mapChildren;
        break;
    default:
        m_type = String;
        break;
    }
}

TemplateValue::TemplateValue(const QString &name, const QVector<TemplateValue> &children, Type type)
    : m_type(type), m_name(name)
{
    if (type == List)
        m_listChildren = children;
    else if (type == Map)
        m_mapChildren = children;
    else if (type == None)
        m_type = String;
}

TemplateValue &TemplateValue::append(const TemplateValue &child)
{
    if (child.m_type == None)
        return *this;
    switch (m_type) {
    case List:
        m_listChildren.append(child);
        break;
    case Map:
        m_mapChildren.append(child);
        break;
    case Bool:
    case Number:
    case String:
        if (!isEmpty())
            m_mapChildren.append(TemplateValue(m_name, m_value, Type(m_type)));
        m_type = Map;
        m_name.clear();
        m_value.clear();
        m_mapChildren.append(child);
        break;
    default:
        break;
    }
    return *this;
}

TemplateValue &TemplateValue::appendNumber(const QString &name, int number)
{
    return append(TemplateValue(name, number));
}

TemplateValue &TemplateValue::clearName()
{
    m_name.clear();
    return *this;
}

bool TemplateValue::isEmpty() const
{
    switch (m_type) {
    case Bool:
    case Number:
    case String:
        return m_name.isEmpty();
    case List:
        return m_name.isEmpty() && m_listChildren.isEmpty();
    case Map:
        return m_mapChildren.isEmpty();
    default:
        return true;
    }
}

void TemplateValue::removeListItems(const QString &name, const QString &value)
{
    if (m_type != List)
        return;
    for (qsizetype i = m_listChildren.size() - 1; i >= 0; --i) {
        const TemplateValue &item = m_listChildren.at(i);
        if (item.m_type != Map)
            continue;
        for (const TemplateValue &member : item.m_mapChildren) {
            if (member.m_name == name && member.m_value == value) {
                m_listChildren.removeAt(i);
                break;
            }
        }
    }
}

void TemplateValue::removeFirstListItems(qsizetype count)
{
    if (m_type != List || count <= 0)
        return;
    m_listChildren.remove(0, qMin(count, m_listChildren.size()));
}

TemplateValue &TemplateValue::setEscape(bool htmlEscaped)
{
    m_escape = htmlEscaped ? 1 : 0;
    return *this;
}

QString TemplateValue::toJson() const
{
    return json(WithName);
}

QString TemplateValue::json(NameMode nameMode) const
{
    QString json;
    appendJson(json, nameMode);
    return json;
}

// Appends to one buffer: building each member as a string of its own and
// gluing them together copied a long list once per level.
void TemplateValue::appendJson(QString &out, NameMode nameMode) const
{
    if (nameMode == WithName && !m_name.isEmpty()) {
        appendQuoted(out, escapeJsonName(m_name));
        out += QLatin1Char(':');
    }
    switch (m_type) {
    case String:
    case Bool:
    case Number:
        appendScalarJson(out, m_value, Type(m_type), m_escape != 0);
        break;
    case List: {
        out += QLatin1Char('[');
        bool first = true;
        for (const TemplateValue &item : m_listChildren) {
            if (!first)
                out += QLatin1Char(',');
            first = false;
            // A name inside a list has no place in JSON.
            item.appendJson(out, WithoutName);
        }
        out += QLatin1Char(']');
        break;
    }
    case Map: {
        out += QLatin1Char('{');
        bool first = true;
        for (const TemplateValue &member : m_mapChildren) {
            // Unnamed members have no key to stand under; they are left out like
            // unnamed scalars.
            if (member.isEmpty() || member.m_name.isEmpty())
                continue;
            if (!first)
                out += QLatin1Char(',');
            first = false;
            member.appendJson(out, WithName);
        }
        out += QLatin1Char('}');
        break;
    }
    default:
        out += QLatin1String("null");
        break;
    }
}

void TemplateValue::appendScalarJson(QString &out, const QString &text, Type type, bool htmlEscaped)
{
    switch (type) {
    case Bool:
        // Text stored under a scalar type is written as a string unless it is a valid literal.
        if (text == QLatin1String("true") || text == QLatin1String("false"))
            out += text;
        else
            appendQuoted(out, escapeJsonText(text));
        break;
    case Number:
        if (isJsonNumber(text) || text == QLatin1String("null"))
            out += text;
        else
            appendQuoted(out, escapeJsonText(text));
        break;
    default:
        appendQuoted(out, htmlEscaped ? escapeJsonText(text) : escapeJsonName(text));
        break;
    }
}

QString TemplateValue::toJsonDocument() const
{
    // An unnamed scalar is a complete JSON text on its own; braces around it would not be.
    if (m_name.isEmpty())
        return toJson();
    QString json(QLatin1Char('{'));
    appendJson(json, WithName);
    json += QLatin1Char('}');
    return json;
}

QByteArray TemplateValue::toUtf8() const
{
    return toJsonDocument().toUtf8();
}

} // namespace ZOZ
