#pragma once

#include "ZOZClock.h"
#include "ZOZDabEnsemble.h"
#include "ZOZStreamConsumer.h"

#include <QMutex>
#include <QVector>

#include <atomic>

namespace ZOZ {

class DabStick;
class EnsembleDatabase;

// One component the user selected, as the receiver needs it to queue its
// sub-channel: the ensemble that carries it, its sub-channel id and its
// packet address (0xFFFF in stream mode), with a reference to its service
// when a service asked for it.
struct DabSelection
{
    DabSelection() = default;
    DabSelection(int ensembleIndex, int streamId, quint16 packetAddress, bool packetMode = false,
                 ConsumerReference service = {})
        : ensembleIndex(ensembleIndex)
        , streamId(streamId)
        , packetAddress(packetAddress)
        , packetMode(packetMode)
        , service(std::move(service))
    {
    }

    int ensembleIndex = -1;
    int streamId = -1;
    quint16 packetAddress = 0xFFFF;
    bool packetMode = false;
    ConsumerReference service;
};

// One sub-channel the stick delivers: slot 0 stream mode, slots 1 and 2
// packet mode.
class SubChannelSlot
{
public:
    SubChannelSlot() = default;
    SubChannelSlot(const SubChannelSlot &) = delete;
    SubChannelSlot &operator=(const SubChannelSlot &) = delete;

    bool isActive() const { return activeComponent.valid || activeComponent.changed; }
    int activeId() const { return m_activeId.load(std::memory_order_relaxed); }
    // Keeps the id the library's thread matches data against in step with
    // the active component.
    void setActiveComponent(const DabServiceComponent &component);
    void clearRequest();
    void reset();
    // Turns the active sub-channel back into a request, so that the next
    // ticks activate it again after a reopen.
    void makeActivePending();

    ConsumerReference service; // slot 0: the service whose stream is wanted
    bool pending = false;
    int requestedId = -1;
    AtomicStamp dataTimer; // restarted on the library's thread
    DabServiceComponent activeComponent;
    DabServiceComponent requestedComponent;
    QVector<quint16> activeAddresses;
    QVector<quint16> requestedAddresses;

private:
    std::atomic<int> m_activeId { -1 };
};

// The three sub-channels the stick receives at a time (one stream-mode, two
// packet-mode), how a selection is queued into them, and their activation
// once their components are known from the FIC.
//
// The selection is handed over from any thread under the selection mutex and
// taken by the receiver thread, which only tries that mutex, so a hand-over
// in progress delays the selection by one tick and never blocks the thread.
// The slots themselves belong to the receiver thread; the library's thread
// only matches data against their active ids and restarts their data timers,
// both atomic.
class SubChannelSlots
{
public:
    static constexpr int Count = 3;

    // A slot as it stands (the receiver thread; tests set slots up directly).
    SubChannelSlot &operator[](int index) { return m_slots[index]; }
    const SubChannelSlot &operator[](int index) const { return m_slots[index]; }

    // Any thread: replaces the selection that the next tick takes.
    void handOver(const QVector<DabSelection> &selection);
    // Receiver thread: takes the selection handed over, unless a hand-over is
    // in progress (false).
    bool takeSelection(QVector<DabSelection> &selection);

    // Queues the sub-channels of a selection. With KeepActive the slots keep
    // what they receive and only drop their requests; with Reset (another
    // ensemble) they start empty.
    enum class QueueMode { KeepActive, Reset };
    void queueSelection(const QVector<DabSelection> &selection, QueueMode mode);
    bool anyPending() const;
    // Looks the requested sub-channels up in the current ensemble's record and
    // activates them on the stick.
    void rtkActivateServiceComponents(EnsembleDatabase &database, int currentIndex, DabStick &stick, bool quiet);

    // The library's thread: restarts the data timer of the slot that receives
    // the sub-channel; false when none does.
    bool noteData(quint8 subChId);
    // The stream slot got no data for 2500 ms, or, without one, a packet slot
    // none for 30000 ms.
    bool hasTimedOut() const;
    // Milliseconds until hasTimedOut() turns true, with the data received so
    // far; a large number when no slot is active.
    qint64 msUntilTimeout() const;
    // Turns every active slot back into a pending one.
    void requeueActive();

private:
    void rtkEnableServiceComponentInternal(const DabSelection &selection);
    void activatePacketSlot(SubChannelSlot &slot, DabStick &stick);

    QMutex m_selectionMutex;
    QVector<DabSelection> m_selected;
    SubChannelSlot m_slots[Count];
};

} // namespace ZOZ
