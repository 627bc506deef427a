#pragma once

#include <QString>
#include <QVector>

namespace ZOZ {

// One planned recording. Start and length are whole seconds; every sum of
// the two is taken in 64 bits, so an entry near the end of the 32-bit range
// never wraps into the past.
struct ScheduleItem
{
    bool recording = false;   // being recorded now; never stored
    quint32 timestamp = 0;    // start, seconds since 1970 UTC
    quint32 duration = 0;     // seconds; the entry ends before timestamp + duration
    qint32 SID = -1;          // selector id of the service
    qint32 ensembleId = -1;
    qint64 serviceId = -1;
    QString label;
    QString description;
    quint32 reserved = 0;     // stored and loaded, read by nothing
    qint32 format = -1;       // recording format while recording; other than 0..2 keeps the configured one

    qint64 start() const { return qint64(timestamp); }
    qint64 end() const { return qint64(timestamp) + qint64(duration); }

    // The identity of an entry: its service and its start.
    bool sameEntry(const ScheduleItem &other) const
    {
        return ensembleId == other.ensembleId && serviceId == other.serviceId && timestamp == other.timestamp;
    }
    bool isDuplicateOf(const ScheduleItem &other) const { return sameEntry(other) && duration == other.duration; }
    // Whether the two time slots overlap; two zero-length entries at the same
    // second do not.
    bool collidesWith(const ScheduleItem &other) const
    {
        if (start() > other.start())
            return start() < other.end();
        if (start() < other.start())
            return end() > other.start();
        return duration != 0 || other.duration != 0;
    }
};

using ScheduleItems = QVector<ScheduleItem>;

} // namespace ZOZ
