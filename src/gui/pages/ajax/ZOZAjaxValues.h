#pragma once

#include "ZOZAjaxTable.h"
#include "http/ZOZHttpRequest.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace ZOZ {

// Reading the values of the commands that change settings, and answering
// them. Every value is checked before it is used: a value that does not parse
// or lies outside its range changes nothing and is answered with an error
// that names the command, the parameter and the text sent.
namespace AjaxValues {

extern const QByteArray Success;

// {"success":false,"error":"..."}; the warning is also logged.
QByteArray refuse(const QString &command, const QString &parameter, const QString &raw, const QString &why);

// A decimal number, as the pages send it; no sign for an unsigned one, no
// blanks, no leading "+".
std::optional<qint64> parseInteger(const QString &text);

// The value of `parameter` (the command's own key when they are the same) as
// an integer within [minimum, maximum]. On failure `reply` holds the refusal.
std::optional<qint64> integerIn(const HttpRequest &request, const QString &command, const QString &parameter,
                                qint64 minimum, qint64 maximum, QByteArray &reply);

// "true" or "false"; any other text is refused.
std::optional<bool> boolean(const HttpRequest &request, const QString &command, QByteArray &reply);

// A command whose own value is one integer within [minimum, maximum]: a
// valid value goes to `apply` and is acknowledged, any other is refused.
void bindInteger(AjaxTable &table, const QString &command, qint64 minimum, qint64 maximum,
                 std::function<void(qint64)> apply);

} // namespace AjaxValues

} // namespace ZOZ
