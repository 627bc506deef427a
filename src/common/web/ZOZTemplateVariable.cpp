#include "web/ZOZTemplateVariable.h"

#include "web/ZOZTemplateValue.h"

namespace ZOZ {

namespace {

TemplateVariable number(const QString &name, const QString &text, bool escape)
{
    TemplateVariable variable(name, text, escape);
    variable.type = TemplateVariable::Number;
    return variable;
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
    const TemplateValue::Type valueType = type == Bool     ? TemplateValue::Bool
                          : type == Number ? TemplateValue::Number
                                           : TemplateValue::String;
    return TemplateValue(name, value, valueType);
}

TemplateValue TemplateVariable::rowsToTemplateValue(const Rows &rows)
{
    TemplateValue list(TemplateValue::List);
    for (const Row &row : rows)
        list.append(rowToMap(row));
    return list;
}

} // namespace ZOZ
