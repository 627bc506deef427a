#pragma once

#include "ZOZDabEnsemble.h"
#include "ZOZRtkLibrary.h"

#include <QString>

#include <atomic>
#include <functional>

namespace ZOZ {

// The stick as the receiver drives it through the receiver library: loading
// the library and registering its callbacks, opening, starting, tuning and
// closing the stick, adding and removing sub-channels, and the signal values
// it reported last.
//
// Used on the receiver thread, and on the main thread at start-up and at the
// end while that thread does not run; so the opened and started flags need no
// lock. The signal values are read from any thread.
class DabStick
{
public:
    // The library's four callbacks, registered on every load.
    struct Callbacks
    {
        RTDAB_FICCallBack fic = nullptr;
        RTDAB_MSCCallBack msc = nullptr;
        RTDAB_PacketCallBack packet = nullptr;
        RTDAB_StreamDataCallBack streamData = nullptr;
    };

    DabStick();
    DabStick(const DabStick &) = delete;
    DabStick &operator=(const DabStick &) = delete;

    // Everything that needs the receiver library goes through this table; it
    // is loaded on the first opening unless one was given here.
    void setLibrary(const RtkFunctions *functions);
    // Where the receiver library is looked for before the system's paths.
    void setLibraryDirectory(const QString &directory) { m_libraryDirectory = directory; }
    // The model code of the first supported stick that is present, 0 for none.
    void setDeviceProbe(std::function<int()> probe) { m_deviceProbe = std::move(probe); }
    int deviceModel() const { return m_deviceModel; }

    bool isOpened() const { return m_opened; }
    bool isStarted() const { return m_started; }

    // Loads the library unless it is given or a stick is open, and registers
    // the callbacks. False, logged, when either fails.
    bool rtkLoad(bool quiet, const Callbacks &callbacks);
    // Opens the stick and starts the tuner, each unless done already.
    bool rtkOpenDevice(bool quiet);
    // Stops the tuner and closes the stick, each unless done already.
    bool rtkCloseDevice(bool quiet);
    // Lets go of a loaded library for good (the receiver's end).
    void unloadLibrary();

    bool hasLibrary() const { return m_api != nullptr; }
    // RTDAB_SetFreqAndBW; failed without a library.
    int32_t setFrequency(quint32 frequencyKHz, quint32 bandwidth);
    // Activates and deactivates a sub-channel (with one packet address in
    // packet mode); logged either way.
    bool rtkActivateServiceComponent(const DabServiceComponent &component, quint16 address);
    bool rtkRemoveServiceComponent(const DabServiceComponent &component, quint16 address);

    // RTDAB_GetSignalLock; failed without a library.
    int32_t signalLock(int *locked);
    // Asks for presence, quality and strength and keeps each answer given.
    void readSignalValues();
    void resetSignalInfo();
    // A problem with the library's source not taken before (a path that does
    // not exist, a recording that is not ETI-NI, a failing command), empty
    // when there is none or the library cannot tell.
    QString takeSourceProblem();
    // The last problem taken.
    QString sourceProblem() const { return m_sourceProblem; }
    bool signalPresent() const { return m_signalPresent.load(); }
    int signalQuality() const { return m_signalQuality.load(); }
    int signalStrength() const { return m_signalStrength.load(); }

private:
    // Start and stop go through the binding, which must know whether the
    // tuner runs before it may unload the library.
    int32_t startTuner();
    int32_t stopTuner();

    const RtkFunctions *m_api = nullptr;
    bool m_apiGiven = false;
    QString m_libraryDirectory;
    std::function<int()> m_deviceProbe;
    int m_deviceModel = 0;
    bool m_opened = false;
    bool m_started = false;
    int32_t m_sourceProblemSerial = 0;
    QString m_sourceProblem;

    std::atomic<bool> m_signalPresent { false };
    std::atomic<int> m_signalQuality { 0 };
    std::atomic<int> m_signalStrength { 0 };
};

} // namespace ZOZ
