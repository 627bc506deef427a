#pragma once

#include "ZOZClock.h"
#include "ZOZDabEnsemble.h"
#include "settings/ZOZSettings.h"
#include "ZOZStreamConsumer.h"

#include <QList>
#include <QMutex>
#include <QRecursiveMutex>
#include <QString>
#include <QVector>

#include <atomic>

namespace ZOZ {

class Receiver;

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

// State of the receiving side: the stick, the tune and scan state machine and
// the ensemble database. Owned by the receiver.
class DabUsbPrivate
{
public:
    enum State { Idle = 0, ScanNext = 1, Reopen = 2, Tune = 3, Running = 4 };

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

    explicit DabUsbPrivate(Receiver *receiver);

    bool isExcludedService(qint32 ensembleId, qint64 serviceId) const;
    // The ensemble being received, or null; call with the ensemble mutex held.
    DabEnsemble *currentEnsemble();
    void countServices(bool dropEmptyCurrent);
    // Of two ensembles that carry one service, keeps it where it was received
    // with fewer errors and remembers the other pair as excluded.
    void removeDuplicateServices(DabEnsemble &current, DabEnsemble &other);

    Receiver *receiver;
    // The configured frequencies a scan walks; empty: the channel grids.
    QVector<Settings::FrontEndFrequency> scanList;
    int scanPosition = 0;
    QList<DabEnsembleCacheEntry> excludedServices;

    QMutex selectionMutex;
    QVector<DabSelection> selected;

    QRecursiveMutex ensembleMutex;
    DabEnsembleMap ensembles;

    std::atomic<bool> enabled { true };
    std::atomic<bool> scanning { false };
    bool keepPrevious = true;
    bool scanAdditional = true;
    int tuneFailures = 0;
    int progress = 0;
    int numEnsembles = 0;
    int numServices = 0;
    int numAudioComponents = 0;
    int numDataApplications = 0;
    QString currentLabel;
    State state = Idle;
    // While set, FIC is dropped: the tuner is between two ensembles.
    std::atomic<bool> switching { false };
    bool opened = false;
    bool started = false;
    Stamp channelTimer;
    Stamp stateTimer;
    AtomicStamp ficTimer; // restarted on the library's thread
    bool themePending = true;
    bool locked = false;
    std::atomic<int> currentIndex { -1 };
    int previousIndex = -1;
    int requestedIndex = -1;
    SubChannelSlot channelSlots[3]; // "slots" is taken by Qt
};

} // namespace ZOZ
