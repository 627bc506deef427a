// The receiver library, loaded at run time by name: its 19 RTDAB_ functions,
// a reference count, and the started state of the tuner so that the library
// is never unloaded under a running delivery thread.
#pragma once

#include "RTKDAB.h"

#include <QString>

namespace ZOZ {

struct RtkFunctions {
    decltype(&RTDAB_AddServiceCom) addServiceCom;
    decltype(&RTDAB_ChangeSCOrg) changeSCOrg;
    decltype(&RTDAB_CloseDevice) closeDevice;
    decltype(&RTDAB_DebugCMD) debugCmd;
    decltype(&RTDAB_DelServiceCom) delServiceCom;
    decltype(&RTDAB_GetFreqAndBW) getFreqAndBW;
    decltype(&RTDAB_GetSignalLock) getSignalLock;
    decltype(&RTDAB_GetSignalPresent) getSignalPresent;
    decltype(&RTDAB_GetSignalQuality) getSignalQuality;
    decltype(&RTDAB_GetSignalStrength) getSignalStrength;
    decltype(&RTDAB_GetTunerRange) getTunerRange;
    decltype(&RTDAB_OpenDevice) openDevice;
    decltype(&RTDAB_SetFICCallBack) setFICCallBack;
    decltype(&RTDAB_SetFreqAndBW) setFreqAndBW;
    decltype(&RTDAB_SetMSCCallBack) setMSCCallBack;
    decltype(&RTDAB_SetPacketCallBack) setPacketCallBack;
    decltype(&RTDAB_SetStreamDataCallBack) setStreamDataCallBack;
    decltype(&RTDAB_Start) start;
    decltype(&RTDAB_Stop) stop;
};

// The 19 names in the order they are resolved.
extern const char *const RtkFunctionNames[19];

// Counts one reference and loads the library ("RTKDAB", from `directory` when
// given, else next to the executable and then by the system's search) unless it
// is loaded. True when loaded; false when it is missing or any of the 19
// functions does not resolve (the loader's text is printed to standard output).
bool rtkLoadLibrary(const QString &directory = QString());

// Drops one reference; at the last one stops a started tuner, frees the library
// and returns true. False while references remain.
bool rtkUnloadLibrary();

bool rtkIsLoaded();

// The resolved functions; null while the library is not loaded.
const RtkFunctions *rtkFunctions();

// RTDAB_GetSourceProblem: not among the 19, since only the ETI-NI library
// has it; null when the loaded library lacks it or none is loaded.
decltype(&RTDAB_GetSourceProblem) rtkSourceProblemFunction();

// RTDAB_Start and RTDAB_Stop, keeping track of the started state.
int32_t rtkStart();
int32_t rtkStop();
bool rtkIsStarted();

// Registers the callbacks in the order FIC, MSC, packet, stream data. Returns 0
// when all four answered 1, else the position (1-4) of the first that did not,
// with its result in *result.
int rtkSetCallbacks(RTDAB_FICCallBack fic, RTDAB_MSCCallBack msc, RTDAB_PacketCallBack packet,
                    RTDAB_StreamDataCallBack streamData, int32_t *result);

// "failed", "success", "no device found", "no such service component",
// "already selected service component", or "unknown".
QString rtkResultText(int32_t result);

} // namespace ZOZ
