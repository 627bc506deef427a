#pragma once

#include <QString>

namespace ZOZ {

// Short duration for notifications: "59s", "1m 30s", "2h 1m".
QString durationText(const int &seconds);

} // namespace ZOZ
