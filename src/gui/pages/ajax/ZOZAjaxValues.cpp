// Checked values of the commands that change settings.

#include "ZOZAjaxValues.h"

#include "base/ZOZLog.h"
#include "web/ZOZTemplateValue.h"

#include <QRegularExpression>

namespace ZOZ::AjaxValues {

const QByteArray Success = QByteArrayLiteral("{\"success\":true}");

QByteArray refuse(const QString &command, const QString &parameter, const QString &raw, const QString &why)
{
    // The raw text goes into the log and the answer shortened, so that a
    // flood of long values fills neither.
    constexpr qsizetype MaxShown = 64;
    const QString shown = raw.size() > MaxShown ? raw.left(MaxShown) + QStringLiteral("...") : raw;
    const QString message = QStringLiteral("%1 request with bad parameter (%2: %3): %4").arg(command, parameter, shown, why);
    ZOZ_LOG(LogSource::ServiceManager | LogFlag::Warning,
            QStringLiteral("ServiceManager::httpAjaxRequest() -> warning: ") + message);
    TemplateValue reply(QStringLiteral("success"), false);
    reply << TemplateValue(QStringLiteral("error"), message);
    return reply.toUtf8();
}

std::optional<qint64> parseInteger(const QString &text)
{
    static const QRegularExpression decimal(QStringLiteral("^-?[0-9]{1,18}$"));
    if (!decimal.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 10);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

std::optional<qint64> integerIn(const HttpRequest &request, const QString &command, const QString &parameter,
                                qint64 minimum, qint64 maximum, QByteArray &reply)
{
    const auto found = request.query.constFind(parameter);
    if (found == request.query.constEnd()) {
        reply = refuse(command, parameter, QString(), QStringLiteral("missing"));
        return std::nullopt;
    }
    const std::optional<qint64> value = parseInteger(*found);
    if (!value) {
        reply = refuse(command, parameter, *found, QStringLiteral("not a decimal number"));
        return std::nullopt;
    }
    if (*value < minimum || *value > maximum) {
        reply = refuse(command, parameter, *found, QStringLiteral("outside %1..%2").arg(minimum).arg(maximum));
        return std::nullopt;
    }
    return value;
}

std::optional<bool> boolean(const HttpRequest &request, const QString &command, QByteArray &reply)
{
    const QString text = request.query.value(command);
    if (text == QLatin1String("true"))
        return true;
    if (text == QLatin1String("false"))
        return false;
    reply = refuse(command, command, text, QStringLiteral("neither true nor false"));
    return std::nullopt;
}

void bindInteger(AjaxTable &table, const QString &command, qint64 minimum, qint64 maximum,
                 std::function<void(qint64)> apply)
{
    table.setHandler(command, [command, minimum, maximum, apply](const HttpRequest &request, HttpResponse &response) {
        if (const auto value = integerIn(request, command, command, minimum, maximum, response.body)) {
            apply(*value);
            response.body = Success;
        }
        return true;
    });
}

} // namespace ZOZ::AjaxValues
