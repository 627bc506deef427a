#pragma once

#include <QString>
#include <QStringList>

namespace ZOZ {

// One pass over the process arguments. Each parser finds its option anywhere
// in the list, reads the entries after it and removes them, so whatever stays
// behind at the end is what nobody understood.
class CommandLine
{
public:
    explicit CommandLine(const QStringList &arguments);
    virtual ~CommandLine();

    int count() const;
    bool isValid() const;

    bool hasFlag(const char *name);
    bool parseString(const char *name, QString &value);
    bool parseString2(const char *name, QString &first, QString &second);
    bool parseInt(const char *name, int &value);
    bool parseInt4(const char *name, int &a, int &b, int &c, int &d);
    bool takeFirst(QString &value);

    const QStringList &remaining() const { return m_arguments; }

private:
    int find(const char *name, int from, int valuesNeeded) const;
    void removeAt(int index, int valueCount);

    QStringList m_arguments;
    bool m_ok = true;
};

} // namespace ZOZ
