#include "ZOZSubChannelSlots.h"

#include "ZOZDabStick.h"
#include "ZOZEnsembleDatabase.h"
#include "base/ZOZLog.h"

#include <QMutexLocker>

#include <algorithm>
#include <limits>

namespace ZOZ {

namespace {

constexpr quint32 LogDab = LogSource::ReceiverDab;
constexpr quint16 StreamMode = 0xFFFF;
constexpr qint64 StreamSlotTimeoutMs = 2500;
constexpr qint64 PacketSlotTimeoutMs = 30000;

bool isEmpty(const DabServiceComponent &component)
{
    return !component.valid && !component.changed;
}

bool asksFor(const SubChannelSlot &slot, int id)
{
    return slot.requestedId == id || (slot.isActive() && slot.activeId() == id);
}

// Adds an address to a packet slot that carries or is about to carry the
// sub-channel. Only a new address makes the slot pending; on a slot already
// receiving the sub-channel the active component serves as the requested one,
// so the activation needs no new look-up and the slot does not wait for ever.
void queueAddress(SubChannelSlot &slot, quint16 address)
{
    if (slot.activeAddresses.contains(address) || slot.requestedAddresses.contains(address))
        return;
    slot.requestedAddresses.append(address);
    slot.pending = true;
    if (slot.requestedId < 0 && isEmpty(slot.requestedComponent) && slot.isActive())
        slot.requestedComponent = slot.activeComponent;
}

} // namespace

void SubChannelSlot::setActiveComponent(const DabServiceComponent &component)
{
    activeComponent = component;
    m_activeId.store(isActive() ? component.subChId : -1, std::memory_order_relaxed);
}

void SubChannelSlot::clearRequest()
{
    pending = false;
    requestedId = -1;
    requestedAddresses.clear();
}

void SubChannelSlot::reset()
{
    clearRequest();
    service.reset();
    dataTimer.invalidate();
    setActiveComponent(DabServiceComponent());
    requestedComponent = DabServiceComponent();
    activeAddresses.clear();
}

void SubChannelSlot::makeActivePending()
{
    requestedId = activeComponent.subChId;
    requestedAddresses = activeAddresses;
    activeAddresses.clear();
    pending = true;
}

void SubChannelSlots::handOver(const QVector<DabSelection> &selection)
{
    QMutexLocker locker(&m_selectionMutex);
    m_selected = selection;
}

bool SubChannelSlots::takeSelection(QVector<DabSelection> &selection)
{
    if (!m_selectionMutex.tryLock())
        return false;
    selection.swap(m_selected);
    m_selected.clear();
    m_selectionMutex.unlock();
    return true;
}

void SubChannelSlots::queueSelection(const QVector<DabSelection> &selection, QueueMode mode)
{
    for (auto &slot : m_slots) {
        if (mode == QueueMode::KeepActive)
            slot.clearRequest();
        else
            slot.reset();
    }
    for (const DabSelection &item : selection)
        rtkEnableServiceComponentInternal(item);
    // The stick takes one packet sub-channel beside a stream one.
    if (m_slots[0].pending && m_slots[2].pending)
        m_slots[2].clearRequest();
}

bool SubChannelSlots::anyPending() const
{
    for (const auto &slot : m_slots) {
        if (slot.pending)
            return true;
    }
    return false;
}

bool SubChannelSlots::noteData(quint8 subChId)
{
    for (auto &slot : m_slots) {
        if (slot.activeId() == subChId) {
            slot.dataTimer.restart();
            return true;
        }
    }
    return false;
}

bool SubChannelSlots::hasTimedOut() const
{
    const auto &stream = m_slots[0];
    if (stream.isActive())
        return stream.dataTimer.elapsed() > StreamSlotTimeoutMs;
    return (m_slots[1].isActive() && m_slots[1].dataTimer.elapsed() > PacketSlotTimeoutMs)
        || (m_slots[2].isActive() && m_slots[2].dataTimer.elapsed() > PacketSlotTimeoutMs);
}

qint64 SubChannelSlots::msUntilTimeout() const
{
    constexpr qint64 Never = std::numeric_limits<qint64>::max() / 2;
    const auto remaining = [](const SubChannelSlot &slot, qint64 timeoutMs) {
        const qint64 elapsed = slot.dataTimer.elapsed();
        return elapsed > timeoutMs ? 0 : timeoutMs + 1 - elapsed;
    };
    if (m_slots[0].isActive())
        return remaining(m_slots[0], StreamSlotTimeoutMs);
    qint64 next = Never;
    for (int i = 1; i < Count; ++i)
        if (m_slots[i].isActive())
            next = std::min(next, remaining(m_slots[i], PacketSlotTimeoutMs));
    return next;
}

void SubChannelSlots::requeueActive()
{
    for (auto &slot : m_slots) {
        if (slot.isActive())
            slot.makeActivePending();
    }
}

void SubChannelSlots::rtkEnableServiceComponentInternal(const DabSelection &selection)
{
    const int id = selection.streamId;
    if (id < 0)
        return;
    auto &stream = m_slots[0];
    const bool packetMode = selection.packetMode || selection.packetAddress != StreamMode;
    // A packet-mode container has no address of its own: its packet services
    // come with the selection themselves.
    if (packetMode && selection.packetAddress == StreamMode)
        return;
    if (!packetMode) {
        if (stream.pending || (stream.isActive() && stream.activeId() == id))
            return;
        stream.requestedId = id;
        stream.pending = true;
        stream.service = selection.service;
        return;
    }
    auto &first = m_slots[1];
    auto &second = m_slots[2];
    if (asksFor(first, id)) {
        queueAddress(first, selection.packetAddress);
    } else if (asksFor(second, id)) {
        queueAddress(second, selection.packetAddress);
    } else if (first.pending) {
        if (!second.pending) {
            second.requestedId = id;
            second.requestedComponent = DabServiceComponent();
            queueAddress(second, selection.packetAddress);
        } else {
            ZOZ_LOG(LogDab | LogFlag::Notice,
                    QStringLiteral("Receiver::rtkEnableServiceComponentInternal() -> warning: ServiceManager tried to queue up too many packetMode subchannels!"));
        }
    } else {
        first.requestedId = id;
        first.requestedComponent = DabServiceComponent();
        queueAddress(first, selection.packetAddress);
    }
}

void SubChannelSlots::rtkActivateServiceComponents(EnsembleDatabase &database, int currentIndex, DabStick &stick,
                                                   bool quiet)
{
    bool anyRequested = false;
    for (const auto &slot : m_slots)
        anyRequested = anyRequested || slot.requestedId >= 0;
    if (anyRequested) {
        const auto locker = database.lock();
        DabEnsemble *ensemble = database.find(currentIndex);
        if (!ensemble || !ensemble->valid)
            return;
        auto match = [this](const DabServiceComponent &component) {
            const int first = component.audio ? 0 : 1;
            const int last = component.audio ? 0 : 2;
            for (int s = first; s <= last; ++s) {
                auto &slot = m_slots[s];
                if (slot.requestedId >= 0 && slot.requestedId == component.subChId) {
                    slot.requestedComponent = component;
                    slot.requestedId = -1;
                    return;
                }
            }
        };
        for (const DabService &service : ensemble->services) {
            if (!service.valid)
                continue;
            match(service.primary);
            for (const DabServiceComponent &component : service.components)
                match(component);
        }
    }

    auto &stream = m_slots[0];
    if (!isEmpty(stream.requestedComponent)) {
        stick.rtkRemoveServiceComponent(stream.activeComponent, StreamMode);
        if (stick.rtkActivateServiceComponent(stream.requestedComponent, StreamMode)) {
            stream.setActiveComponent(stream.requestedComponent);
            stream.requestedComponent = DabServiceComponent();
            stream.requestedComponent.valid = false;
            stream.requestedComponent.changed = false;
            stream.pending = false;
            stream.dataTimer.restart();
        }
    }
    activatePacketSlot(m_slots[1], stick);
    activatePacketSlot(m_slots[2], stick);
    if (!quiet)
        ZOZ_LOG(LogDab | LogFlag::Notice, QStringLiteral("Receiver::rtkActivateServiceComponents() -> activated selected components!"));
}

void SubChannelSlots::activatePacketSlot(SubChannelSlot &slot, DabStick &stick)
{
    if (isEmpty(slot.requestedComponent))
        return;
    if (slot.requestedComponent.subChId != slot.activeComponent.subChId) {
        for (quint16 address : slot.activeAddresses)
            stick.rtkRemoveServiceComponent(slot.activeComponent, address);
        slot.activeAddresses.clear();
    }
    bool errors = false;
    for (quint16 address : slot.requestedAddresses) {
        if (stick.rtkActivateServiceComponent(slot.requestedComponent, address))
            slot.activeAddresses.append(address);
        else
            errors = true;
    }
    slot.setActiveComponent(slot.requestedComponent);
    slot.requestedComponent = DabServiceComponent();
    slot.requestedComponent.valid = false;
    slot.requestedComponent.changed = false;
    slot.requestedAddresses.clear();
    slot.pending = false;
    if (errors)
        ZOZ_LOG(LogDab | LogFlag::Notice, QStringLiteral("rtkActivateServiceComponentsPM()-> some errors"));
    slot.dataTimer.restart();
}

} // namespace ZOZ
