#include "web/ZOZTemplateVariable.h"

#include "web/ZOZTemplateValue.h"
#include "web/ZOZWebText.h"

namespace ZOZ {

namespace {

TemplateVariable number(const QString &name, const QString &text, bool escape)
{
    TemplateVariable variable(name, text, escape);
    variable.type = TemplateVariable::Number;
    return variable;
}

TemplateValue::Type valueType(int type)
{
    return type == TemplateVariable::Bool     ? TemplateValue::Bool
           : type == TemplateVariable::Number ? TemplateValue::Number
                                              : TemplateValue::String;
}

TemplateValue rowToMap(const TemplateVariable::Row &row)
{
    TemplateValue map(TemplateValue::Map);
    for (const TemplateVariable &field : row)
        map.append(field.toTemplateValue());
    return map;
}

} // namespace

TemplateVariable::TemplateVariable(const QString &name, quint8 value, bool escape)
    : TemplateVariable(number(name, QString::number(value), escape))
{
}

TemplateVariable::TemplateVariable(const QString &name, quint16 value, bool escape)
    : TemplateVariable(number(name, QString::number(value), escape))
{
}

TemplateVariable::TemplateVariable(const QString &name, int value, bool escape)
    : TemplateVariable(number(name, QString::number(value), escape))
{
}

TemplateVariable::TemplateVariable(const QString &name, unsigned int value, bool escape)
    : TemplateVariable(number(name, QString::number(value), escape))
{
}

TemplateVariable::TemplateVariable(const QString &name, qint64 value, bool escape)
    : TemplateVariable(number(name, QString::number(value), escape))
{
}

TemplateVariable::TemplateVariable(const QString &name, bool value, bool escape)
    : name(name), value(value ? QStringLiteral("true") : QStringLiteral("false")), type(Bool),
      escape(escape)
{
}

TemplateVariable::TemplateVariable(const QString &name, const char *value, bool escape)
    : name(name), value(QString::fromUtf8(value)), type(String), escape(escape)
{
}

TemplateVariable::TemplateVariable(const QString &name, const QString &value, bool escape)
    : name(name), value(value), type(String), escape(escape)
{
}

TemplateVariable::TemplateVariable(const QString &name, const Rows &rows)
    : name(name), type(List), isList(true), escape(false), items(rows)
{
}

TemplateValue TemplateVariable::toTemplateValue() const
{
    if (isList) {
        TemplateValue list(name, TemplateValue::List);
        for (const Row &row : items)
            list.append(rowToMap(row));
        return list;
    }
    return TemplateValue(name, value, valueType(type));
}

TemplateValue TemplateVariable::rowsToTemplateValue(const Rows &rows)
{
    TemplateValue list(TemplateValue::List);
    for (const Row &row : rows)
        list.append(rowToMap(row));
    return list;
}

void TemplateVariable::appendRowsJson(QString &out, const Rows &rows)
{
    out += QLatin1Char('[');
    for (qsizetype r = 0; r < rows.size(); ++r) {
        if (r > 0)
            out += QLatin1Char(',');
        out += QLatin1Char('{');
        bool first = true;
        for (const TemplateVariable &field : rows.at(r)) {
            // A map leaves out members without a name.
            if (field.name.isEmpty())
                continue;
            if (!first)
                out += QLatin1Char(',');
            first = false;
            out += QLatin1Char('"');
            out += escapeJsonName(field.name);
            out += QLatin1String("\":");
            if (field.isList)
                appendRowsJson(out, field.items);
            else
                TemplateValue::appendScalarJson(out, field.value.simplified(), valueType(field.type));
        }
        out += QLatin1Char('}');
    }
    out += QLatin1Char(']');
}

} // namespace ZOZ
