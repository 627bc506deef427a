#include "base/ZOZMainThreadServices.h"

#include "base/ZOZPointer.h"

#include <QStorageInfo>
#include <QTimer>

namespace ZOZ {

std::atomic<MainThreadServices *> MainThreadServices::s_instance{nullptr};

MainThreadServices::MainThreadServices()
{
    s_instance.store(this, std::memory_order_release);
}

MainThreadServices::~MainThreadServices()
{
    MainThreadServices *self = this;
    s_instance.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
    clearDisposables();
}

void MainThreadServices::queueInvoke(const DeferredCall &call)
{
    MainThreadServices *services = instance();
    if (!services)
        return;
    {
        QMutexLocker locker(&services->m_deferredMutex);
        services->m_deferredCalls.append(call);
    }
    services->wakeUp();
}

void MainThreadServices::setWakeUp(WakeUp wakeUp)
{
    QMutexLocker locker(&m_wakeUpMutex);
    m_wakeUp = std::move(wakeUp);
}

void MainThreadServices::wakeUp()
{
    QMutexLocker locker(&m_wakeUpMutex);
    if (m_wakeUp)
        m_wakeUp();
}

void MainThreadServices::addDisposable(Pointer *object)
{
    MainThreadServices *services = instance();
    if (!services || !object)
        return;
    object->retain();
    {
        QMutexLocker locker(&services->m_disposablesMutex);
        services->m_disposables.append(object);
    }
    services->wakeUp();
}

void MainThreadServices::runDeferredCalls()
{
    QVector<DeferredCall> calls;
    {
        QMutexLocker locker(&m_deferredMutex);
        calls.swap(m_deferredCalls);
    }
    // Single-shot timers fire from the event loop, so a slot that queues a
    // new call runs it at a later flush.
    for (const DeferredCall &call : std::as_const(calls)) {
        if (call.target && !call.slot.isEmpty())
            QTimer::singleShot(call.delayMs, call.target, call.slot.constData());
    }
}

void MainThreadServices::checkDisposables()
{
    QVector<Pointer *> released;
    {
        QMutexLocker locker(&m_disposablesMutex);
        for (qsizetype i = m_disposables.size() - 1; i >= 0; --i) {
            Pointer *object = m_disposables.at(i);
            if (object->referenceCount() < 2) {
                m_disposables.removeAt(i);
                released.append(object);
            }
        }
    }
    // Released outside the lock: a destructor may hand over further objects.
    for (Pointer *object : std::as_const(released))
        object->release();
}

void MainThreadServices::clearDisposables()
{
    QVector<Pointer *> objects;
    {
        QMutexLocker locker(&m_disposablesMutex);
        objects.swap(m_disposables);
    }
    for (qsizetype i = objects.size() - 1; i >= 0; --i)
        objects.at(i)->release();
}

int MainThreadServices::pendingDisposables() const
{
    QMutexLocker locker(&m_disposablesMutex);
    return int(m_disposables.size());
}

bool MainThreadServices::isRecordingOutOfSpace(const QString &recordingFolder)
{
    if (m_freeSpaceTimer.isValid() && m_freeSpaceTimer.elapsed() <= FreeSpaceCheckIntervalMs)
        return false;
    m_freeSpaceTimer.start();
    const qint64 available = m_freeSpaceProbe ? m_freeSpaceProbe(recordingFolder) : -1;
    if (available < 0 || available >= MinimumFreeBytes)
        return false;
    m_freeSpaceTimer.invalidate();
    return true;
}

qint64 MainThreadServices::availableBytes(const QString &folder)
{
    QStorageInfo storage(folder);
    if (!storage.isValid() || !storage.isReady())
        return -1;
    return storage.bytesAvailable();
}

} // namespace ZOZ
