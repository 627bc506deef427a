#include "settings/ZOZCommandLine.h"

#include "base/ZOZLog.h"

namespace ZOZ {

CommandLine::CommandLine(const QStringList &arguments) : m_arguments(arguments) {}

CommandLine::~CommandLine() = default;

int CommandLine::count() const
{
    return int(m_arguments.size());
}

bool CommandLine::isValid() const
{
    return m_ok;
}

// An option counts only when enough entries follow it for its values, so an
// option standing last without its value stays in the list as unknown.
int CommandLine::find(const char *name, int from, int valuesNeeded) const
{
    const QLatin1String option(name);
    for (int i = from; i < count() - valuesNeeded; ++i) {
        if (m_arguments.at(i) == option)
            return i;
    }
    return -1;
}

void CommandLine::removeAt(int index, int valueCount)
{
    // From the top down, so the lower indexes stay valid.
    for (int i = index + valueCount; i >= index; --i)
        m_arguments.removeAt(i);
}

bool CommandLine::hasFlag(const char *name)
{
    const int i = find(name, 0, 0);
    if (i < 0)
        return false;
    removeAt(i, 0);
    return true;
}

bool CommandLine::parseString(const char *name, QString &value)
{
    const int i = find(name, 0, 1);
    if (i < 0)
        return false;
    value = m_arguments.at(i + 1);
    removeAt(i, 1);
    return true;
}

bool CommandLine::parseString2(const char *name, QString &first, QString &second)
{
    const int i = find(name, 0, 2);
    if (i < 0)
        return false;
    first = m_arguments.at(i + 1);
    second = m_arguments.at(i + 2);
    removeAt(i, 2);
    return true;
}

bool CommandLine::parseInt(const char *name, int &value)
{
    for (int i = find(name, 0, 1); i >= 0; i = find(name, i + 1, 1)) {
        bool converted = false;
        value = m_arguments.at(i + 1).toInt(&converted, 10);
        m_ok = m_ok && converted;
        if (converted) {
            removeAt(i, 1);
            return true;
        }
        ZOZ_LOG(LogSource::CommandLine | LogFlag::Warning,
                QStringLiteral("CommandLine::parseInt() -> warning: illegal value for argument [%1]")
                    .arg(QLatin1String(name)));
    }
    return false;
}

bool CommandLine::parseInt4(const char *name, int &a, int &b, int &c, int &d)
{
    for (int i = find(name, 0, 4); i >= 0; i = find(name, i + 1, 4)) {
        bool convertedA = false, convertedB = false, convertedC = false, convertedD = false;
        a = m_arguments.at(i + 1).toInt(&convertedA, 10);
        b = m_arguments.at(i + 2).toInt(&convertedB, 10);
        c = m_arguments.at(i + 3).toInt(&convertedC, 10);
        d = m_arguments.at(i + 4).toInt(&convertedD, 10);
        const bool converted = convertedA && convertedB && convertedC && convertedD;
        m_ok = m_ok && converted;
        if (converted) {
            removeAt(i, 4);
            return true;
        }
        ZOZ_LOG(LogSource::CommandLine | LogFlag::Warning,
                QStringLiteral("CommandLine::parseInt4() -> warning: illegal value for argument [%1]")
                    .arg(QLatin1String(name)));
    }
    return false;
}

bool CommandLine::takeFirst(QString &value)
{
    if (count() < 2)
        return false;
    value = m_arguments.takeAt(1);
    return true;
}

} // namespace ZOZ
