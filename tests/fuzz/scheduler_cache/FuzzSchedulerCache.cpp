// Feeds arbitrary bytes to the schedule list reader as the payload after the
// cache header, then writes what it kept and reads that back: the entries
// read before any damage must survive the round trip unchanged.
#include "base/ZOZStorage.h"
#include "scheduler/ZOZSchedulerCache.h"

#include <QBuffer>
#include <QByteArray>
#include <QDataStream>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

bool sameItems(const ZOZ::ScheduleItems &a, const ZOZ::ScheduleItems &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const ZOZ::ScheduleItem &x = a.at(i);
        const ZOZ::ScheduleItem &y = b.at(i);
        if (!x.isDuplicateOf(y) || x.SID != y.SID || x.label != y.label || x.description != y.description
            || x.reserved != y.reserved || x.format != y.format || x.recording || y.recording)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer input(&bytes);
    input.open(QIODevice::ReadOnly);
    QDataStream stream(&input);
    stream.setVersion(ZOZ::Storage::StreamVersion);
    ZOZ::ScheduleItems items;
    ZOZ::SchedulerCache::readList(stream, items);

    QByteArray written;
    {
        QBuffer output(&written);
        output.open(QIODevice::WriteOnly);
        QDataStream out(&output);
        out.setVersion(ZOZ::Storage::StreamVersion);
        ZOZ::SchedulerCache::writeList(out, items);
    }
    QBuffer again(&written);
    again.open(QIODevice::ReadOnly);
    QDataStream in(&again);
    in.setVersion(ZOZ::Storage::StreamVersion);
    ZOZ::ScheduleItems reread;
    if (!ZOZ::SchedulerCache::readList(in, reread) || !sameItems(items, reread))
        std::abort();
    return 0;
}
