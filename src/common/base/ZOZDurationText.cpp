#include "base/ZOZDurationText.h"

namespace ZOZ {

QString durationText(const int &seconds)
{
    const int hours = seconds / 3600;
    const int minutes = (seconds - 3600 * hours) / 60;
    const int rest = seconds - 60 * (minutes + 60 * hours);
    if (hours < 1 && minutes < 1)
        return QString::number(rest) + QLatin1Char('s');

    QString text;
    if (hours >= 1)
        text += QString::number(hours) + QStringLiteral("h ");
    if (minutes >= 1)
        text += QString::number(minutes) + QStringLiteral("m ");
    if (rest >= 1)
        text += QString::number(rest) + QStringLiteral("s ");
    return text.trimmed();
}

} // namespace ZOZ
