#pragma once

#include <QMutex>

#include <atomic>
#include <functional>

namespace ZOZ {

// Selector ids: ensemble, service, component and data index, one byte each.
inline qint32 topLevelId(int ensemble, int index)
{
    return qint32(((quint32(ensemble & 0xFF) << 8) + quint32(index & 0xFF)) << 16);
}

inline qint32 withComponentIndex(qint32 id, int index)
{
    return qint32((quint32(id) & 0xFFFF0000u) | ((quint32(index) << 8) & 0xFF00u));
}

inline qint32 withDataIndex(qint32 id, int index)
{
    return qint32((quint32(id) & 0xFFFFFF00u) | quint32(index & 0xFF));
}

// What changed since the pages last looked, shared by the service manager's
// parts: each flag is set by whoever changes the data and taken by whoever
// rebuilds from it. Lock-free, so any part may set a flag under its own locks.
class ServiceChanges
{
public:
    // The list and the channel values are stale; with `servicesToo` the
    // selection page as well.
    void setDirty(bool servicesToo)
    {
        serviceListDirty.store(true);
        channelsDirty.store(true);
        if (servicesToo && !servicesDirty.exchange(true)) {
            QMutexLocker locker(&m_listenerMutex);
            if (m_servicesDirtyListener)
                m_servicesDirtyListener();
        }
    }

    // Called (on the thread that set it, under its locks) when the selection
    // page turns stale, so that whoever rebuilds it need not poll the flag.
    void setServicesDirtyListener(std::function<void()> listener)
    {
        QMutexLocker locker(&m_listenerMutex);
        m_servicesDirtyListener = std::move(listener);
    }

    // The cycle the pages poll to know when to reload the service list.
    int refreshCycle() const { return m_refreshCycle.load(); }
    void bumpRefreshCycle()
    {
        const int cycle = m_refreshCycle.fetch_add(1) + 1;
        QMutexLocker locker(&m_listenerMutex);
        if (m_cycleListener)
            m_cycleListener(cycle);
    }
    void setCycleListener(std::function<void(int)> listener)
    {
        QMutexLocker locker(&m_listenerMutex);
        m_cycleListener = std::move(listener);
    }

    std::atomic<bool> serviceListDirty { true };
    std::atomic<bool> channelsDirty { true };
    std::atomic<bool> servicesDirty { true };
    std::atomic<bool> variablesDirty { true };
    std::atomic<bool> scanActive { false };

private:
    std::atomic<int> m_refreshCycle { 0 };
    QMutex m_listenerMutex;
    std::function<void(int)> m_cycleListener;
    std::function<void()> m_servicesDirtyListener;
};

} // namespace ZOZ
