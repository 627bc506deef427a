#pragma once

#include "ZOZScheduleItem.h"
#include "base/ZOZStorage.h"

namespace ZOZ {

// The schedule list in "Scheduler.zoz" (and the import of the older
// "scheduler.dat" it replaces).
class SchedulerCache : public Storage
{
public:
    static const QString FileName;
    static const QString LegacyFileName;
    static const QString LegacyMagic;
    static constexpr quint32 FormatVersion = 1;
    // Far above any real schedule; a larger count is damage.
    static constexpr qint32 MaxItems = 100000;

    explicit SchedulerCache(const QString &directory);
    bool isValid() const override { return m_valid; }

    // Reads the entries in file order. A damaged entry ends the read: the
    // entries before it are kept, the rest is skipped with a log line, and
    // the result is false.
    bool read(ScheduleItems &items);
    bool write(const ScheduleItems &items);

    // The list payload on its own (no header): what the cache and the
    // legacy file hold after their heads.
    static bool readList(QDataStream &stream, ScheduleItems &items);
    static void writeList(QDataStream &stream, const ScheduleItems &items);

private:
    void importLegacy();
};

} // namespace ZOZ
