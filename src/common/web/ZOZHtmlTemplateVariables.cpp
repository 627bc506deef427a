#include "web/ZOZHtmlTemplatePrivate.h"

#include "web/ZOZTemplateRowPattern.h"
#include "web/ZOZTemplateScalar.h"
#include "web/ZOZTemplateValue.h"

#include <QRegularExpression>

#include <optional>

namespace ZOZ {

namespace {

Escaping escapingOf(const TemplateVariable &field)
{
    return field.escape ? Escaping::ByContext : Escaping::None;
}

void expandList(QString &text, const QString &name, const TemplateVariable::Rows &rows);

void setField(QString &text, const QString &fullName, const TemplateVariable &field)
{
    if (field.isList)
        expandList(text, fullName, field.items);
    else
        setScalar(text, fullName, field.value, escapingOf(field));
}

void expandList(QString &text, const QString &name, const TemplateVariable::Rows &rows)
{
    setScalar(text, name, rows.isEmpty() ? QStringLiteral("false") : QStringLiteral("true"));

    const QString begin = QLatin1String("<!-- begin:") + name + QLatin1String(" -->");
    const QString end = QLatin1String("<!-- end:") + name + QLatin1String(" -->");
    const QString prefix = name + QLatin1Char(':');
    const ScalarForms indexName(prefix + QLatin1String("__INDEX__"));
    const ScalarForms indexOneName(prefix + QLatin1String("__INDEX+ONE__"));
    const ScalarForms firstName(prefix + QLatin1String("__FIRST_ITEM__"));
    const ScalarForms lastName(prefix + QLatin1String("__LAST_ITEM__"));
    // Rows usually carry the same fields in the same order.
    QVector<ScalarForms> fieldForms;

    qsizetype p = text.indexOf(begin);
    while (p >= 0) {
        const qsizetype patternStart = p + begin.size();
        const qsizetype e = text.indexOf(end, patternStart);
        if (e < 0) {
            text.remove(p, begin.size());
            p = text.indexOf(begin, p);
            continue;
        }
        const QString pattern = text.mid(patternStart, e - patternStart);
        QString output;
        output.reserve(pattern.size() * rows.size());
        std::optional<TemplateRowPattern> compiled;
        for (qsizetype i = 0; i < rows.size(); ++i) {
            const TemplateVariable::Row &row = rows.at(i);
            if (!compiled) {
                QVector<QString> fullNames;
                for (const TemplateVariable &field : row)
                    fullNames.append(prefix + field.name);
                compiled.emplace(pattern, prefix, fullNames);
            }
            if (compiled->appendRow(output, row, i, rows.size()))
                continue;
            QString copy = pattern;
            for (qsizetype f = 0; f < row.size(); ++f) {
                const TemplateVariable &field = row.at(f);
                const QString fullName = prefix + field.name;
                if (field.isList) {
                    expandList(copy, fullName, field.items);
                    continue;
                }
                if (f >= fieldForms.size())
                    fieldForms.append(ScalarForms(fullName));
                else if (fieldForms.at(f).name != fullName)
                    fieldForms[f] = ScalarForms(fullName);
                setScalar(copy, fieldForms.at(f), field.value, escapingOf(field));
            }
            setScalar(copy, indexName, QString::number(i));
            setScalar(copy, indexOneName, QString::number(i + 1));
            setScalar(copy, firstName, i == 0 ? QStringLiteral("true") : QStringLiteral("false"));
            setScalar(copy, lastName, i == rows.size() - 1 ? QStringLiteral("true") : QStringLiteral("false"));
            output += copy;
        }
        text.replace(p, e + end.size() - p, output);
        // The rows hold values from outside (labels, texts); searching through
        // them again could expand a begin comment a value brought in, forever.
        p = text.indexOf(begin, p + output.size());
    }
}

} // namespace

void HtmlTemplate::applyField(QString &text, const QString &fullName, const TemplateVariable &field)
{
    setField(text, fullName, field);
}

void HtmlTemplate::setVariable(const QString &name, const QString &value, QString *target)
{
    if (name.isEmpty())
        return;
    if (!target) {
        d->variables.append(TemplateVariable(name, value));
        target = &d->working;
    }
    setScalar(*target, name, value);
    d->dirty = true;
}

void HtmlTemplate::setTextVariable(const QString &name, const QString &value, QString *target)
{
    if (name.isEmpty())
        return;
    if (!target) {
        d->variables.append(TemplateVariable(name, value, true));
        target = &d->working;
    }
    setScalar(*target, name, value, Escaping::ByContext);
    d->dirty = true;
}

void HtmlTemplate::setVariable(const QString &name, const char *value, QString *target)
{
    setVariable(name, QString::fromLatin1(value), target);
}

void HtmlTemplate::setVariable(const QString &name, bool value, QString *target)
{
    setVariable(name, value ? QStringLiteral("true") : QStringLiteral("false"), target);
}

void HtmlTemplate::setVariable(const QString &name, quint8 value, QString *target)
{
    setVariable(name, QString::number(value), target);
}

void HtmlTemplate::setVariable(const QString &name, int value, QString *target)
{
    setVariable(name, QString::number(value), target);
}

void HtmlTemplate::setVariable(const QString &name, unsigned int value, QString *target)
{
    setVariable(name, QString::number(value), target);
}

void HtmlTemplate::setVariable(const QString &name, float value, QString *target)
{
    setVariable(name, QString::asprintf("%g", double(value)), target);
}

void HtmlTemplate::expandLoops(const QString &name, const TemplateVariable::Rows &rows, QString *target)
{
    if (name.isEmpty())
        return;
    if (!target) {
        d->variables.append(TemplateVariable(name, rows));
        target = &d->working;
    }
    QString &text = *target;
    expandList(text, name, rows);

    const QRegularExpression directive(QLatin1String("<!--\\s*#json\\s*") + QRegularExpression::escape(name)
                                       + QLatin1String("\\s*as\\s*([^\\s]*)\\s*-->"));
    for (QRegularExpressionMatch match = directive.match(text); match.hasMatch();) {
        const QString variableName = match.captured(1);
        QString statement;
        // A directive without a variable name cannot declare anything.
        if (!variableName.isEmpty()) {
            const QString json = listJson(name);
            statement.reserve(variableName.size() + json.size() + 8);
            statement += QLatin1String("var ");
            statement += variableName;
            statement += QLatin1String(" = ");
            statement += json;
            statement += QLatin1Char(';');
        }
        text.replace(match.capturedStart(), match.capturedLength(), statement);
        match = directive.match(text, match.capturedStart() + statement.size());
    }
    d->dirty = true;
}

void HtmlTemplate::setRecord(const QString &name, const TemplateVariable::Row &fields, QString *target)
{
    if (!target) {
        d->variables.append(TemplateVariable(name, TemplateVariable::Rows{fields}));
        target = &d->working;
    }
    QString &text = *target;
    if (!name.isEmpty())
        setScalar(text, name, fields.isEmpty() ? QStringLiteral("false") : QStringLiteral("true"));
    for (const TemplateVariable &field : fields)
        setField(text, name.isEmpty() ? field.name : name + QLatin1Char(':') + field.name, field);
    d->dirty = true;
}

const TemplateVariable *HtmlTemplate::recordedVariable(const QString &name) const
{
    const TemplateVariable *found = nullptr;
    for (const QString &part : name.split(QLatin1Char('.'), Qt::SkipEmptyParts)) {
        for (const TemplateVariable &variable : d->variables) {
            if (variable.name == part) {
                found = &variable;
                break;
            }
        }
    }
    return found;
}

QString HtmlTemplate::listJson(const QString &name) const
{
    // A long list is written straight from its rows; its value tree would
    // only be built to be written.
    const TemplateVariable *found = recordedVariable(name);
    if (found && found->isList) {
        QString json;
        TemplateVariable::appendRowsJson(json, found->items);
        return json;
    }
    TemplateValue tree = toValueTree(name);
    tree.clearName();
    return tree.toJsonDocument();
}

TemplateValue HtmlTemplate::toValueTree(const QString &name) const
{
    TemplateValue content(QStringLiteral("content"), TemplateValue::Map);
    if (name.isEmpty()) {
        for (const TemplateVariable &variable : d->variables)
            content.append(variable.toTemplateValue());
        return content;
    }
    const TemplateVariable *found = recordedVariable(name);
    if (!found)
        return content;
    return TemplateValue(QStringLiteral("content"), found->toTemplateValue());
}

} // namespace ZOZ
