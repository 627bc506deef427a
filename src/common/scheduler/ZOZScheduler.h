#pragma once

#include "ZOZScheduleItem.h"
#include "ZOZScheduledRecorder.h"

#include <QMutex>
#include <QThread>

#include <atomic>
#include <functional>
#include <optional>

namespace ZOZ {

class Settings;

// Keeps the planned recordings and records them unattended: its thread wakes
// every 100 ms, ends the recording whose time is up and starts the first
// entry whose start has come. The list lives in "Scheduler.zoz" in the data
// folder. Web requests add, remove and read entries from their own threads.
//
// Lock order: the scheduler's mutex comes before the notifications' mutex
// (notify is called under it); it is never held while the recorder finds or
// selects a service.
class Scheduler : public QThread
{
public:
    static constexpr int PassPeriodMs = 100;
    static constexpr qint64 AdvanceNoticeSeconds = 60;
    static constexpr qint64 SaveDelaySeconds = 8;
    static constexpr unsigned long ShutdownWaitMs = 1000;

    // Seconds since 1970 UTC; tests install their own.
    using WallClock = std::function<qint64()>;
    static qint64 systemNow();

    // Loads the list from `dataFolder`; the thread is started by the caller.
    Scheduler(Settings *settings, ScheduledRecorder *recorder, const QString &dataFolder,
              WallClock clock = &Scheduler::systemNow);
    // Saves a changed list and gives back the recording format a running
    // entry changed; the recording itself ends with the program.
    ~Scheduler() override;

    bool schedule(ScheduleItem entry);
    bool unschedule(const ScheduleItem &entry);
    // Ends the scheduled recording in progress with the next pass; false
    // when none runs.
    bool stopRecording();
    ScheduleItems items() const;
    int count() const;
    bool isRecording() const { return m_active.load(); }

    // One pass of the thread; public so that tests drive the clock.
    void pass();

protected:
    void run() override;

private:
    void load();
    void save();
    void setSaveDue(qint64 now);
    void stopActive();
    void startFirst(const ScheduleItem &first, qint64 now);
    void removeOldEntries(qint64 now);
    void restoreFormat();
    void notify(const QString &html, const QString &type, int duration);
    static QString listEntry(const ScheduleItem &item);

    Settings *m_settings;
    ScheduledRecorder *m_recorder;
    const QString m_dataFolder;
    const WallClock m_clock;

    std::atomic<bool> m_running { true };
    std::atomic<bool> m_stopRequested { false };
    std::atomic<bool> m_noticeShown { false };
    std::atomic<qint64> m_saveDue { 0 };
    // A change not yet in the file: an unchanged list never rewrites the
    // file, so a damaged file is not replaced by what could be read of it.
    std::atomic<bool> m_dirty { false };
    // Scheduler thread only, apart from the reads of m_active.
    std::atomic<bool> m_active { false };
    ScheduleItem m_current;
    qint32 m_activeSelectorId = -1;
    QString m_activeLabel;
    struct SavedFormat
    {
        int recordingType;
        int format;
    };
    std::optional<SavedFormat> m_savedFormat;

    mutable QMutex m_mutex;
    ScheduleItems m_items; // by start; the entry being recorded is first
};

} // namespace ZOZ
