#include "ZOZSchedulerCache.h"

#include "base/ZOZLog.h"

#include <QFile>

namespace ZOZ {

const QString SchedulerCache::FileName = QStringLiteral("Scheduler.zoz");
const QString SchedulerCache::LegacyFileName = QStringLiteral("scheduler.dat");
const QString SchedulerCache::LegacyMagic = QStringLiteral("ZOZ-SCHEDULER-DB.v1#DATABEGIN");

namespace {

constexpr quint32 LogStorage = LogSource::Storage;

bool readItem(QDataStream &stream, ScheduleItem &item)
{
    quint32 timestamp = 0;
    quint32 duration = 0;
    qint32 selectorId = -1;
    qint32 ensembleId = -1;
    qint64 serviceId = -1;
    stream >> timestamp >> duration >> selectorId >> ensembleId >> serviceId;
    if (stream.status() != QDataStream::Ok)
        return false;
    QString label;
    QString description;
    if (!StorageRead::string(stream, label) || !StorageRead::string(stream, description))
        return false;
    quint32 reserved = 0;
    qint32 format = -1;
    stream >> reserved >> format;
    if (stream.status() != QDataStream::Ok)
        return false;
    item = ScheduleItem();
    item.timestamp = timestamp;
    item.duration = duration;
    item.SID = selectorId;
    item.ensembleId = ensembleId;
    item.serviceId = serviceId;
    item.label = label;
    item.description = description;
    item.reserved = reserved;
    item.format = format;
    return true;
}

} // namespace

SchedulerCache::SchedulerCache(const QString &directory)
    : Storage(directory, FileName, SchedulerType)
{
    // Only when there is no cache file at all: a damaged one keeps the old
    // file for a later look.
    if (!m_valid && !m_file.isOpen())
        importLegacy();
}

bool SchedulerCache::readList(QDataStream &stream, ScheduleItems &items)
{
    items.clear();
    qint32 count = 0;
    // No check against the bytes left: a truncated file still yields the
    // entries before the cut.
    if (!StorageRead::count(stream, count, MaxItems, 0))
        return false;
    for (qint32 i = 0; i < count; ++i) {
        ScheduleItem item;
        if (!readItem(stream, item))
            return false;
        items.append(item);
    }
    return true;
}

void SchedulerCache::writeList(QDataStream &stream, const ScheduleItems &items)
{
    stream << qint32(items.size());
    for (const ScheduleItem &item : items) {
        stream << item.timestamp << item.duration << item.SID << item.ensembleId << item.serviceId << item.label
               << item.description << item.reserved << item.format;
    }
}

bool SchedulerCache::read(ScheduleItems &items)
{
    items.clear();
    if (!m_valid || !hasReadDevice())
        return false;
    if (!readList(m_stream, items)) {
        ZOZ_LOG(LogStorage, QStringLiteral("SchedulerCache::read() -> damaged Scheduler cache, kept the %1 entries before the damage")
                                .arg(items.size()));
        return false;
    }
    ZOZ_LOG(LogStorage, QStringLiteral("SchedulerCache::read() -> successfully read Scheduler cache"));
    return true;
}

bool SchedulerCache::write(const ScheduleItems &items)
{
    if (!setWriteMode(FormatVersion))
        return false;
    writeList(m_stream, items);
    if (!finishWrite())
        return false;
    ZOZ_LOG(LogStorage, QStringLiteral("SchedulerCache::write() -> successfully wrote Scheduler cache"));
    return true;
}

void SchedulerCache::importLegacy()
{
    QFile legacy(m_directory + LegacyFileName);
    if (!legacy.open(QIODevice::ReadOnly))
        return;
    QDataStream stream(&legacy);
    stream.setVersion(StreamVersion);
    QString magic;
    bool keep = false;
    if (StorageRead::string(stream, magic, 256) && magic == LegacyMagic) {
        ScheduleItems items;
        readList(stream, items);
        // The old file goes only once its entries are safe in the new one.
        keep = !write(items);
        setReadMode();
    }
    legacy.close();
    if (!keep)
        legacy.remove();
}

} // namespace ZOZ
