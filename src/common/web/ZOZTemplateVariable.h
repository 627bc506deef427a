#pragma once

#include <QString>
#include <QVector>

namespace ZOZ {

class TemplateValue;

// One variable given to a page template: a scalar with its text, or a list
// whose rows are vectors of field records.
class TemplateVariable
{
public:
    enum Type { Bool = 1, Number = 2, String = 3, List = 4 };
    using Row = QVector<TemplateVariable>;
    using Rows = QVector<Row>;

    TemplateVariable() = default;
    TemplateVariable(const QString &name, quint8 value, bool escape = false);
    TemplateVariable(const QString &name, quint16 value, bool escape = false);
    TemplateVariable(const QString &name, int value, bool escape = false);
    TemplateVariable(const QString &name, unsigned int value, bool escape = false);
    TemplateVariable(const QString &name, qint64 value, bool escape = false);
    TemplateVariable(const QString &name, bool value, bool escape = false);
    TemplateVariable(const QString &name, const char *value, bool escape = false);
    TemplateVariable(const QString &name, const QString &value, bool escape = false);
    TemplateVariable(const QString &name, const Rows &rows);

    TemplateValue toTemplateValue() const;
    static TemplateValue rowsToTemplateValue(const Rows &rows);
    // The JSON of rowsToTemplateValue(rows), written without building the values.
    static void appendRowsJson(QString &out, const Rows &rows);

    QString name;
    QString value;
    int type = String;
    bool isList = false;
    bool escape = false;
    Rows items;
};

} // namespace ZOZ
