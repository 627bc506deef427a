#include "ZOZReceiver.h"

#include "ZOZDabUsbPrivate.h"
#include "base/ZOZLog.h"

#include <QMutexLocker>

namespace ZOZ {

namespace {

constexpr quint32 LogDab = LogSource::ReceiverDab;
constexpr quint16 StreamMode = 0xFFFF;

bool isEmpty(const DabServiceComponent &component)
{
    return !component.valid && !component.changed;
}

bool asksFor(const DabUsbPrivate::SubChannelSlot &slot, int id)
{
    return slot.requestedId == id || (slot.isActive() && slot.activeId() == id);
}

// Adds an address to a packet slot that carries or is about to carry the
// sub-channel. Only a new address makes the slot pending; on a slot already
// receiving the sub-channel the active component serves as the requested one,
// so the activation needs no new look-up and the slot does not wait for ever.
void queueAddress(DabUsbPrivate::SubChannelSlot &slot, quint16 address)
{
    if (slot.activeAddresses.contains(address) || slot.requestedAddresses.contains(address))
        return;
    slot.requestedAddresses.append(address);
    slot.pending = true;
    if (slot.requestedId < 0 && isEmpty(slot.requestedComponent) && slot.isActive())
        slot.requestedComponent = slot.activeComponent;
}

QString describe(const DabServiceComponent &component, quint16 address)
{
    const bool packetMode = !(component.audio && component.dabPlusAudio) && component.isPacketMode;
    const QString protection = component.isEep ? QStringLiteral("EEP %1").arg(component.protectionCode)
                                               : QStringLiteral("UEP %1").arg(component.uepIndex);
    return QStringLiteral("'%1' [%2, subChId: %3, packAddr: %4, CUstart: %5, CUnum: %6, EP: %7, idx: 0x%8, FECscheme: %9]")
        .arg(component.label, packetMode ? QStringLiteral("PM") : QStringLiteral("audio"))
        .arg(component.subChId)
        .arg(address == StreamMode ? 0 : address)
        .arg(component.cuStart)
        .arg(component.cuCount)
        .arg(protection)
        .arg(component.uepIndex, 0, 16)
        .arg(component.fecScheme);
}

} // namespace

void Receiver::rtkEnableServiceComponentInternal(const DabSelection &selection)
{
    DabUsbPrivate *usb = m_usb.get();
    const int id = selection.streamId;
    if (id < 0)
        return;
    auto &stream = usb->channelSlots[0];
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
    auto &first = usb->channelSlots[1];
    auto &second = usb->channelSlots[2];
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

void Receiver::rtkActivateServiceComponents(bool quiet)
{
    DabUsbPrivate *usb = m_usb.get();
    bool anyRequested = false;
    for (const auto &slot : usb->channelSlots)
        anyRequested = anyRequested || slot.requestedId >= 0;
    if (anyRequested) {
        QMutexLocker locker(&usb->ensembleMutex);
        DabEnsemble *ensemble = usb->currentEnsemble();
        if (!ensemble || !ensemble->valid)
            return;
        auto match = [usb](const DabServiceComponent &component) {
            const int first = component.audio ? 0 : 1;
            const int last = component.audio ? 0 : 2;
            for (int s = first; s <= last; ++s) {
                auto &slot = usb->channelSlots[s];
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

    auto &stream = usb->channelSlots[0];
    if (!isEmpty(stream.requestedComponent)) {
        rtkRemoveServiceComponent(stream.activeComponent, StreamMode);
        if (rtkActivateServiceComponent(stream.requestedComponent, StreamMode)) {
            stream.setActiveComponent(stream.requestedComponent);
            stream.requestedComponent = DabServiceComponent();
            stream.requestedComponent.valid = false;
            stream.requestedComponent.changed = false;
            stream.pending = false;
            stream.dataTimer.restart();
        }
    }
    activatePacketSlot(usb->channelSlots[1]);
    activatePacketSlot(usb->channelSlots[2]);
    if (!quiet)
        ZOZ_LOG(LogDab | LogFlag::Notice, QStringLiteral("Receiver::rtkActivateServiceComponents() -> activated selected components!"));
}

void Receiver::activatePacketSlot(DabUsbPrivate::SubChannelSlot &slot)
{
    if (isEmpty(slot.requestedComponent))
        return;
    if (slot.requestedComponent.subChId != slot.activeComponent.subChId) {
        for (quint16 address : slot.activeAddresses)
            rtkRemoveServiceComponent(slot.activeComponent, address);
        slot.activeAddresses.clear();
    }
    bool errors = false;
    for (quint16 address : slot.requestedAddresses) {
        if (rtkActivateServiceComponent(slot.requestedComponent, address))
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

bool Receiver::rtkActivateServiceComponent(const DabServiceComponent &component, quint16 address)
{
    if (!m_api)
        return false;
    const quint8 packetMode = (component.audio && component.dabPlusAudio) ? 0 : quint8(component.isPacketMode);
    const int32_t result = m_api->addServiceCom(packetMode, quint8(component.subChId), component.cuStart,
                                                quint8(component.isEep), component.uepIndex, component.protectionCode,
                                                component.cuCount, address == StreamMode ? 0 : address,
                                                component.fecScheme);
    if (result == RTDAB_RESULT_SUCCESS || result == RTDAB_RESULT_ALREADY_SELECTED) {
        ZOZ_LOG(LogDab | LogFlag::Notice,
                QStringLiteral("Receiver::rtkActivateServiceComponent() -> %1 %2")
                    .arg(result == RTDAB_RESULT_SUCCESS ? QStringLiteral("new active serviceComponent")
                                              : QStringLiteral("already existing active serviceComponent"),
                         describe(component, address)));
        return true;
    }
    ZOZ_LOG(LogDab | LogFlag::Error, QStringLiteral("Receiver::rtkActivateServiceComponent() -> could not set active serviceComponent %1")
                                         .arg(describe(component, address)));
    return false;
}

bool Receiver::rtkRemoveServiceComponent(const DabServiceComponent &component, quint16 address)
{
    if (isEmpty(component))
        return true;
    if (!m_api)
        return false;
    const quint8 packetMode = (component.audio && component.dabPlusAudio) ? 0 : quint8(component.isPacketMode);
    const int32_t result = m_api->delServiceCom(packetMode, quint8(component.subChId), address == StreamMode ? 0 : address);
    if (result == RTDAB_RESULT_SUCCESS) {
        ZOZ_LOG(LogDab | LogFlag::Notice, QStringLiteral("Receiver::rtkActivateServiceComponent() -> removed serviceComponent %1")
                                              .arg(describe(component, address)));
        return true;
    }
    ZOZ_LOG(LogDab | LogFlag::Error, QStringLiteral("Receiver::rtkActivateServiceComponent() -> could not remove serviceComponent %1")
                                         .arg(describe(component, address)));
    return false;
}

} // namespace ZOZ
