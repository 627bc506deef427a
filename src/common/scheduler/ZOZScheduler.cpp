#include "ZOZScheduler.h"

#include "ZOZSchedulerCache.h"
#include "base/ZOZLog.h"
#include "base/ZOZThreadName.h"
#include "settings/ZOZSettings.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QMutexLocker>

#include <algorithm>

namespace ZOZ {

namespace {

constexpr quint32 LogScheduler = LogSource::Scheduler;

QString tr(const char *text)
{
    return QCoreApplication::translate("Notifications", text);
}

QDateTime localTime(qint64 seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds).toLocalTime();
}

QString shortDateTime(qint64 seconds)
{
    return QLocale().toString(localTime(seconds), QLocale::ShortFormat);
}

QString shortTime(qint64 seconds)
{
    return QLocale().toString(localTime(seconds).time(), QLocale::ShortFormat);
}

QString isoDateTime(qint64 seconds)
{
    return localTime(seconds).toString(Qt::ISODate);
}

QString hex(qint64 value)
{
    return QString::number(quint32(value), 16);
}

// "- " and the description, or nothing without one.
QString descriptionText(const ScheduleItem &item)
{
    return item.description.isEmpty() ? QString() : QStringLiteral("- ") + item.description.toHtmlEscaped();
}

// Fills "%1 - %2:<br/>%3 %4" with the entry's start and end, label and
// description in one step, so that user text holding "%" stays as it is.
QString describe(const char *text, const ScheduleItem &item, bool translated = true)
{
    const QString format = translated ? tr(text) : QString::fromLatin1(text);
    return format.arg(shortDateTime(item.start()), shortDateTime(item.end()), item.label.toHtmlEscaped(),
                      descriptionText(item));
}

bool startsEarlier(const ScheduleItem &a, const ScheduleItem &b)
{
    return a.timestamp < b.timestamp;
}

} // namespace

qint64 Scheduler::systemNow()
{
    return QDateTime::currentSecsSinceEpoch();
}

Scheduler::Scheduler(Settings *settings, ScheduledRecorder *recorder, const QString &dataFolder, WallClock clock)
    : m_settings(settings)
    , m_recorder(recorder)
    , m_dataFolder(dataFolder)
    , m_clock(std::move(clock))
{
    load();
}

Scheduler::~Scheduler()
{
    m_running = false;
    if (!wait(ShutdownWaitMs)) {
        terminate();
        wait();
    }
    if (m_dirty)
        save();
    // The configured format must not stay changed by an entry that was cut
    // short by the end of the program.
    restoreFormat();
}

// --- requests -----------------------------------------------------------

bool Scheduler::schedule(ScheduleItem entry)
{
    const qint64 now = m_clock();
    if (entry.duration == 0) {
        notify(tr("<b>Not possible</b><br/>This recording has no length!"), QStringLiteral("error"), 5);
        return false;
    }
    if (entry.end() <= now) {
        notify(tr("<b>Not possible</b><br/>This recording is in the past!"), QStringLiteral("error"), 5);
        return false;
    }
    QString collisions;
    {
        QMutexLocker locker(&m_mutex);
        for (const ScheduleItem &existing : std::as_const(m_items)) {
            if (existing.isDuplicateOf(entry)) {
                notify(tr("<b>Already scheduled</b><br/>This recording has already been scheduled!"),
                       QStringLiteral("info"), 2);
                return false;
            }
            if (entry.collidesWith(existing))
                collisions += listEntry(existing);
        }
    }
    if (!collisions.isEmpty()) {
        notify(tr("<b>Schedule collision</b><br/>Planned recording is colliding with following entries: <ul>%1</ul>")
                   .arg(collisions),
               QStringLiteral("error"), 6);
        return false;
    }

    if (const std::optional<ScheduledService> service =
            m_recorder->findService(entry.SID, entry.ensembleId, qint32(entry.serviceId))) {
        entry.label = service->label;
        const int component = (quint32(service->selectorId) >> 8) & 0xFF;
        if (component != 0)
            entry.label += QStringLiteral(" (SecAudio: %1)").arg(component);
        entry.SID = service->selectorId;
        // An entry named by selector id alone takes its service's identity,
        // so that it is told apart from others and found again after the
        // services were renumbered; the identifier is kept the way the
        // schedule command hands it in (32 bits, sign-extended).
        if (entry.ensembleId == -1 && entry.serviceId == -1) {
            entry.ensembleId = service->ensembleId;
            entry.serviceId = qint64(qint32(service->serviceId));
        }
    } else {
        entry.label = QString::number(entry.SID);
    }
    entry.recording = false;

    ZOZ_LOG(LogScheduler, QStringLiteral("Scheduler::schedule() -> scheduled new recording %1 - %2 (%3:%4:%5)")
                              .arg(localTime(entry.start()).time().toString(Qt::ISODate),
                                   localTime(entry.end()).time().toString(Qt::ISODate), hex(entry.ensembleId),
                                   hex(entry.serviceId), entry.label));
    notify(tr("<b>Scheduled new recording</b><br/>%1 - %2:<br/>%3 %4")
               .arg(shortTime(entry.start()), shortTime(entry.end()), entry.label.toHtmlEscaped(),
                    descriptionText(entry)),
           QStringLiteral("info"), -1);

    QMutexLocker locker(&m_mutex);
    m_items.append(entry);
    // The entry being recorded stays first: anything that would start
    // before it collides with it and was refused above.
    std::stable_sort(m_items.begin(), m_items.end(), startsEarlier);
    setSaveDue(m_clock());
    return true;
}

bool Scheduler::unschedule(const ScheduleItem &entry)
{
    QMutexLocker locker(&m_mutex);
    const auto found = std::find_if(m_items.begin(), m_items.end(),
                                    [&entry](const ScheduleItem &item) { return item.sameEntry(entry); });
    if (found == m_items.end())
        return false;
    if (found->recording && m_active) {
        m_stopRequested = true;
        return true;
    }
    // An entry whose start is under way but not yet recording is simply
    // removed: the start checks that it is still there.
    ZOZ_LOG(LogScheduler, QStringLiteral("Scheduler::schedule() -> unscheduled recording %1 - %2 (%3:%4:%5)")
                              .arg(isoDateTime(entry.start()), isoDateTime(entry.end()), hex(entry.ensembleId),
                                   hex(entry.serviceId), entry.label));
    ScheduleItem shown = *found;
    shown.timestamp = entry.timestamp;
    shown.duration = entry.duration;
    notify(describe("<b>Removed scheduled recording</b><br/>%1 - %2:<br/>%3 %4", shown), QStringLiteral("info"), -1);
    m_items.erase(found);
    setSaveDue(m_clock());
    return true;
}

bool Scheduler::stopRecording()
{
    if (!m_active)
        return false;
    m_stopRequested = true;
    return true;
}

ScheduleItems Scheduler::items() const
{
    QMutexLocker locker(&m_mutex);
    return m_items;
}

int Scheduler::count() const
{
    QMutexLocker locker(&m_mutex);
    return int(m_items.size());
}

// --- the thread ---------------------------------------------------------

void Scheduler::run()
{
    setThreadName("Scheduler");
    ZOZ_LOG(LogScheduler, QStringLiteral("Scheduler::run()"));
    while (m_running) {
        msleep(PassPeriodMs);
        if (m_running)
            pass();
    }
}

void Scheduler::pass()
{
    const qint64 now = m_clock();
    const qint64 saveDue = m_saveDue;
    if (saveDue != 0 && saveDue <= now)
        save();

    if (m_active) {
        if (!m_stopRequested && m_current.end() > now)
            return;
        stopActive();
    }

    ScheduleItem first;
    {
        QMutexLocker locker(&m_mutex);
        removeOldEntries(now);
        if (m_items.isEmpty())
            return;
        first = m_items.first();
        if (first.start() > now) {
            if (!m_noticeShown && first.start() <= now + AdvanceNoticeSeconds) {
                m_noticeShown = true;
                notify(describe("<b>Scheduled recording will start soon</b><br/>%1 - %2:<br/>%3 %4", first),
                       QStringLiteral("info"), 10);
            }
            return;
        }
        m_items.first().recording = true;
    }
    startFirst(first, now);
}

void Scheduler::startFirst(const ScheduleItem &first, qint64 now)
{
    const std::optional<ScheduledService> service =
        m_recorder->findService(first.SID, first.ensembleId, qint32(first.serviceId));
    bool selected = false;
    if (service) {
        QMutexLocker locker(&m_mutex);
        const auto entry = std::find_if(m_items.begin(), m_items.end(),
                                        [&first](const ScheduleItem &item) { return item.sameEntry(first); });
        if (entry == m_items.end())
            return; // removed while its service was looked up
        entry->SID = service->selectorId;
        entry->label = service->label;
        m_current = *entry;
        m_active = true;
    }
    if (service) {
        // A recording of whatever plays now ends before the service changes
        // under it, so that its file holds only its own service.
        if (m_recorder->isRecording())
            m_recorder->stopRecording();
        selected = m_recorder->selectService(service->selectorId);
        if (!selected)
            m_active = false;
    }
    if (!selected) {
        if (!m_noticeShown) {
            m_noticeShown = true;
            notify(describe("<b>Service missing</b><br/>Scheduled recording is delayed until service is available "
                            "again!<br/>%1 - %2:<br/>%3 %4",
                            first),
                   QStringLiteral("warning"), -1);
        }
        QMutexLocker locker(&m_mutex);
        for (ScheduleItem &item : m_items) {
            if (item.sameEntry(first))
                item.recording = false;
        }
        m_current = ScheduleItem();
        m_stopRequested = false;
        return;
    }

    m_activeSelectorId = service->selectorId;
    m_activeLabel = service->label;
    if (service->isAudio) {
        const int format = m_settings->audioRecordingFormat(service->recordingType);
        m_savedFormat = SavedFormat { service->recordingType, format };
        if (m_current.format >= 0 && m_current.format <= 2)
            m_settings->setAudioRecordingFormat(service->recordingType, m_current.format);
    }
    m_recorder->startRecording(m_current.description);
    ZOZ_LOG(LogScheduler, QStringLiteral("Scheduler::run() -> STARTED scheduled recording %1 - %2 (%3:%4)")
                              .arg(isoDateTime(m_current.start()), isoDateTime(m_current.end()),
                                   hex(m_activeSelectorId), m_activeLabel));
    notify(describe("<b>Started scheduled recording</b><br/>%1 - %2:<br/>%3 %4", m_current),
           QStringLiteral("recording-start"), -1);
    QMutexLocker locker(&m_mutex);
    setSaveDue(now);
}

void Scheduler::stopActive()
{
    m_recorder->stopRecording();
    restoreFormat();
    ZOZ_LOG(LogScheduler, QStringLiteral("Scheduler::run() -> STOPPED scheduled recording %1 - %2 (%3:%4)")
                              .arg(isoDateTime(m_current.start()), isoDateTime(m_current.end()),
                                   hex(m_activeSelectorId), m_activeLabel));
    const char *text = m_stopRequested ? "<b>Scheduled recording stopped by user</b><br/>%1 - %2:<br/>%3 %4"
                                       : "<b>Scheduled recording finished</b><br/>%1 - %2:<br/>%3 %4";
    notify(describe(text, m_current), QStringLiteral("recording-stop"), -1);

    const ScheduleItem finished = m_current;
    m_current = ScheduleItem();
    m_activeSelectorId = -1;
    m_activeLabel.clear();
    m_stopRequested = false;
    m_noticeShown = false;
    QMutexLocker locker(&m_mutex);
    m_items.erase(std::remove_if(m_items.begin(), m_items.end(),
                                 [&finished](const ScheduleItem &item) { return item.sameEntry(finished); }),
                  m_items.end());
    m_active = false;
    setSaveDue(m_clock());
}

void Scheduler::restoreFormat()
{
    if (!m_savedFormat)
        return;
    m_settings->setAudioRecordingFormat(m_savedFormat->recordingType, m_savedFormat->format);
    m_savedFormat.reset();
}

void Scheduler::removeOldEntries(qint64 now)
{
    QString removed;
    for (qsizetype i = m_items.size() - 1; i >= 0; --i) {
        if (m_items.at(i).end() > now || m_items.at(i).recording)
            continue;
        removed += listEntry(m_items.at(i));
        m_items.removeAt(i);
    }
    if (removed.isEmpty())
        return;
    m_dirty = true;
    notify(tr("<b>Removed old entries</b><br/>Old entries were removed from scheduled recordings since they were in "
              "the past: <ul>%1</ul>")
               .arg(removed),
           QStringLiteral("warning"), 30);
}

// --- storage --------------------------------------------------------------

void Scheduler::load()
{
    SchedulerCache cache(m_dataFolder);
    if (!cache.isValid())
        return;
    ScheduleItems items;
    cache.read(items);
    std::stable_sort(items.begin(), items.end(), startsEarlier);
    QMutexLocker locker(&m_mutex);
    m_items = items;
    removeOldEntries(m_clock());
}

void Scheduler::save()
{
    m_saveDue = 0;
    QMutexLocker locker(&m_mutex);
    m_dirty = false;
    if (!m_items.isEmpty()) {
        SchedulerCache cache(m_dataFolder);
        if (!cache.write(m_items))
            m_dirty = true;
        return;
    }
    QFile::remove(m_dataFolder + SchedulerCache::FileName);
}

void Scheduler::setSaveDue(qint64 now)
{
    m_dirty = true;
    m_saveDue = now + SaveDelaySeconds;
}

// --- texts ----------------------------------------------------------------

void Scheduler::notify(const QString &html, const QString &type, int duration)
{
    m_recorder->notify(html, type, duration);
}

QString Scheduler::listEntry(const ScheduleItem &item)
{
    return describe("<li>%1 - %2:<br/><b>%3 %4</b></li>", item, false);
}

} // namespace ZOZ
