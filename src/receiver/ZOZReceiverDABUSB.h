#pragma once

#include "ZOZClock.h"
#include "ZOZDabStick.h"
#include "settings/ZOZSettings.h"
#include "ZOZSubChannelSlots.h"

#include <QString>
#include <QVector>

#include <atomic>

namespace ZOZ {

class EnsembleDatabase;
class Receiver;

// The USB part of the receiver: the tune and scan state machine that the
// receiver thread ticks every 40 ms, and the two callback bodies through
// which the library's thread feeds FIC and sub-channel bytes in. It is the
// only place that tunes the stick, keeps it open, notices a lost stick or a
// dead sub-channel and reopens, steps a scan from channel to channel and
// turns the user's selection into activated sub-channels.
//
// One per receiver, created at its start and destroyed at its end. The
// state belongs to the receiver thread (and to the main thread at start-up,
// before that thread runs); what the library's thread and other threads read
// or write is atomic: the current index, the switching, enabled and scanning
// flags, the FIC timer and the slots' data timers. It has no lock of its own;
// it takes the ensemble mutex of the database and, by trying only, the
// selection mutex of the slots, never both at once.
class DabUsbPrivate
{
public:
    enum State { Idle = 0, ScanNext = 1, Reopen = 2, Tune = 3, Running = 4 };
    using SubChannelSlot = ZOZ::SubChannelSlot;

    // The receiver is the object whose slots the user's answers call and
    // whose FIC and MSC intake gets the bytes; the settings may be null.
    DabUsbPrivate(Receiver &receiver, EnsembleDatabase &database, DabStick &stick, const Settings *settings);
    ~DabUsbPrivate();
    DabUsbPrivate(const DabUsbPrivate &) = delete;
    DabUsbPrivate &operator=(const DabUsbPrivate &) = delete;

    // Makes this the target of the library's callbacks (one at a time in the
    // process), and stops being it.
    void publish();
    void unpublish();

    // Set from the front-end mode: only "DAB" uses the stick.
    void updateEnabled();
    bool isEnabled() const { return m_enabled.load(); }

    // Loads the library and opens the stick; a library that cannot be loaded
    // ends the application.
    bool openDevice();
    // Opens the stick, or asks for it; asks for a scan when no ensemble is
    // current, and otherwise tunes.
    void rtkRequestDevice();
    // At start-up with a database from the cache: the ensemble received last,
    // or the first one with data.
    void resumeLastEnsemble();

    // The receiver thread.
    void tickDabUsb();
    // Tells the user, on the console and the pages, what the library found
    // wrong with its source. True when there was something to tell.
    bool reportSourceProblem();
    // How long the receiver thread may sleep before the next tick could do
    // anything, given what it knows now; a command or a selection wakes it
    // earlier. TickMs is the cadence of the states that poll the stick.
    qint64 msUntilNextTick(qint64 tickMs) const;
    bool rtkActivateEnsemble(bool quiet);
    // Tunes to an ensemble: switches while receiving, else tunes from idle
    // (not during a scan).
    void requestEnsemble(int ensembleIndex);
    void rtkScanStart(bool keepPrevious, bool scanAdditional);
    // Resumes a scan that was put on hold.
    void rtkScanContinue();
    // Ends the scan on the user's request and tells what it found.
    void abortScan();
    // Any thread: the selection the next tick queues.
    void rtkSetSelectedComponents(const QVector<DabSelection> &selection);

    // The library's thread.
    void onFicData(const quint8 *data, int length);
    void onSubchannelData(const quint8 *data, int length, quint8 subChId);

    State state() const { return m_state; }
    int currentIndex() const { return m_currentIndex.load(); }
    bool isSwitching() const { return m_switching.load(); }
    bool isLocked() const { return m_locked; }
    bool isScanning() const { return m_scanning.load(); }
    bool keepPrevious() const { return m_keepPrevious; }
    bool scanAdditional() const { return m_scanAdditional; }
    // Scan progress in percent and the label of the channel being scanned.
    int progress() const { return m_progress; }
    QString currentLabel() const { return m_currentLabel; }
    SubChannelSlots &channelSlots() { return m_slots; }

private:
    static void ficCallback(uint8_t *data, int length);
    static void mscCallback(uint8_t *data, int length, uint8_t subChId);
    static void packetCallback(uint8_t *data, int length, uint32_t ignored, uint8_t subChId);
    static void streamDataCallback(uint8_t *data, int length);

    void runningStep();
    void takeSelection();
    bool closeOrDie(const char *where);
    void fatalExit(const QString &what);
    void rtkScanNext();
    void rtkEndScan();
    void countServices(bool dropEmptyCurrent);

    Receiver &m_receiver;
    EnsembleDatabase &m_database;
    DabStick &m_stick;
    const Settings *m_settings;

    // The configured frequencies a scan walks; empty: the channel grids.
    QVector<Settings::FrontEndFrequency> m_scanList;
    int m_scanPosition = 0;
    std::atomic<bool> m_enabled { true };
    std::atomic<bool> m_scanning { false };
    bool m_keepPrevious = true;
    bool m_scanAdditional = true;
    int m_tuneFailures = 0;
    int m_progress = 0;
    QString m_currentLabel;
    State m_state = Idle;
    // While set, FIC is dropped: the tuner is between two ensembles.
    std::atomic<bool> m_switching { false };
    Stamp m_channelTimer;
    Stamp m_stateTimer;
    AtomicStamp m_ficTimer; // restarted on the library's thread
    bool m_locked = false;
    std::atomic<int> m_currentIndex { -1 };
    int m_previousIndex = -1;
    int m_requestedIndex = -1;
    SubChannelSlots m_slots;
};

} // namespace ZOZ
