#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include <cstdint>

namespace ZOZ {

// A typed, named value of the tree that page producers fill and that is written out
// as JSON (ajax answers) or published to templates.
class TemplateValue
{
public:
    enum Type {
        Bool = 2,
        Number = 4,
        String = 8,
        List = 256,
        Map = 512,
        None = 4096,
    };

    // An empty, unnamed map.
    TemplateValue();
    explicit TemplateValue(Type type);
    TemplateValue(const QString &name, Type type);
    TemplateValue(const QString &name, uint8_t number);
    TemplateValue(const QString &name, uint16_t number);
    TemplateValue(const QString &name, int number);
    TemplateValue(const QString &name, unsigned int number);
    TemplateValue(const QString &name, long number);
    TemplateValue(const QString &name, long long number);
    TemplateValue(const QString &name, double number);
    TemplateValue(const QString &name, bool value);
    // Text is stored with its white space simplified.
    TemplateValue(const QString &name, const QString &text, Type type = String);
    TemplateValue(const QString &name, const char *text);
    // A copy of `other` under a new name.
    TemplateValue(const QString &name, const TemplateValue &other);
    // List items or map members, by `type`.
    TemplateValue(const QString &name, const QVector<TemplateValue> &children, Type type);

    TemplateValue &append(const TemplateValue &child);
    TemplateValue &operator<<(const TemplateValue &child) { return append(child); }
    TemplateValue &appendNumber(const QString &name, int number);
    TemplateValue &clearName();

    bool isEmpty() const;
    void removeListItems(const QString &name, const QString &value);
    // Drops the first `count` list items (the oldest, where items are appended).
    void removeFirstListItems(qsizetype count);
    // Strings written without HTML escaping carry HTML or script text; the JSON
    // escapes are always applied.
    TemplateValue &setEscape(bool htmlEscaped);

    QString toJson() const;
    QString toJsonDocument() const;
    // The JSON of a scalar of the given type with this text, as a value of that
    // type writes itself; `htmlEscaped` as setEscape() says for strings.
    static void appendScalarJson(QString &out, const QString &text, Type type, bool htmlEscaped = true);
    QByteArray toUtf8() const;

    int escape() const { return m_escape; }
    int type() const { return m_type; }
    const QString &name() const { return m_name; }
    const QString &value() const { return m_value; }
    const QVector<TemplateValue> &mapChildren() const { return m_mapChildren; }
    const QVector<TemplateValue> &listChildren() const { return m_listChildren; }

private:
    enum NameMode { WithName, WithoutName };
    QString json(NameMode nameMode) const;
    void appendJson(QString &out, NameMode nameMode) const;
    void setNumber(const QString &name, const QString &text);

    int m_escape = 1;
    int m_type = Map;
    QString m_name;
    QString m_value;
    QVector<TemplateValue> m_mapChildren;
    QVector<TemplateValue> m_listChildren;
};

} // namespace ZOZ
