#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QMutex>
#include <QVector>

#include <atomic>
#include <functional>

class QObject;

namespace ZOZ {

class Pointer;

// A slot to run on the main thread: target, slot signature in the form of the
// SLOT() macro ("1closeApp()"), delay in milliseconds after the next flush.
struct DeferredCall
{
    QObject *target = nullptr;
    QByteArray slot;
    int delayMs = 0;
};

// Work that other threads hand to the main thread: deferred calls, shared
// objects to delete once nobody holds them, and the free-space guard of
// running recordings. Owned by the application object; the static entry
// points do nothing while there is none.
class MainThreadServices
{
public:
    // Free space below this stops a running recording.
    static constexpr qint64 MinimumFreeBytes = 41943040;
    static constexpr int FreeSpaceCheckIntervalMs = 5000;

    MainThreadServices();
    ~MainThreadServices();
    MainThreadServices(const MainThreadServices &) = delete;
    MainThreadServices &operator=(const MainThreadServices &) = delete;

    static MainThreadServices *instance() { return s_instance.load(std::memory_order_acquire); }

    // Any thread, also a signal's self-pipe reader.
    static void queueInvoke(const DeferredCall &call);
    // Any thread; the list takes one reference of the object.
    static void addDisposable(Pointer *object);

    // Called on the queuing thread after a call or a disposable object was
    // queued, so that the main thread need not poll for work.
    using WakeUp = std::function<void()>;
    void setWakeUp(WakeUp wakeUp);

    // Main thread: starts a single-shot timer for every queued call, in order.
    void runDeferredCalls();
    // Main thread: deletes the objects that only the list still holds.
    void checkDisposables();
    // Shutdown: releases every object of the list.
    void clearDisposables();
    int pendingDisposables() const;

    // Returns the bytes available to the user on the folder, or -1 when the
    // system cannot tell.
    using FreeSpaceProbe = std::function<qint64(const QString &folder)>;
    void setFreeSpaceProbe(FreeSpaceProbe probe) { m_freeSpaceProbe = std::move(probe); }
    // Main thread, every flush while recording: true when the recording
    // must stop for lack of space (asks the system at most every 5 s).
    bool isRecordingOutOfSpace(const QString &recordingFolder);

    static qint64 availableBytes(const QString &folder);

private:
    static std::atomic<MainThreadServices *> s_instance;

    QMutex m_deferredMutex;
    QVector<DeferredCall> m_deferredCalls;
    mutable QMutex m_disposablesMutex;
    QVector<Pointer *> m_disposables;
    QElapsedTimer m_freeSpaceTimer;
    FreeSpaceProbe m_freeSpaceProbe = &MainThreadServices::availableBytes;
    QMutex m_wakeUpMutex;
    WakeUp m_wakeUp;

    void wakeUp();
};

} // namespace ZOZ
