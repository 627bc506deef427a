#pragma once

#include "ZOZClock.h"
#include "ZOZRtkLibrary.h"

#include <QString>
#include <QStringList>

#include <atomic>

namespace ZOZ::Test {

// A receiver library driven by the test: results and signal values are set
// by hand, every call is recorded with the time of the installed clock, and
// the registered callbacks can be called as the library's thread would.
struct ScriptedLibrary
{
    int32_t openResult = RTDAB_RESULT_SUCCESS;
    int32_t startResult = RTDAB_RESULT_SUCCESS;
    int32_t stopResult = RTDAB_RESULT_SUCCESS;
    int32_t closeResult = RTDAB_RESULT_SUCCESS;
    int32_t tuneResult = RTDAB_RESULT_SUCCESS;
    int32_t addResult = RTDAB_RESULT_SUCCESS;
    int lock = 1;
    int present = 1;
    int quality = 80;
    int strength = 90;
    QStringList calls;
    RTDAB_FICCallBack fic = nullptr;
    RTDAB_MSCCallBack msc = nullptr;
    RTDAB_PacketCallBack packet = nullptr;

    static ScriptedLibrary &current()
    {
        static ScriptedLibrary library;
        return library;
    }
    static void reset() { current() = ScriptedLibrary(); }
    static void record(const QString &call) { current().calls << call; }
    int count(const QString &prefix) const
    {
        int n = 0;
        for (const QString &call : calls)
            n += call.startsWith(prefix) ? 1 : 0;
        return n;
    }

    static const RtkFunctions &api()
    {
        static const RtkFunctions table = [] {
            RtkFunctions t{};
            t.addServiceCom = [](uint8_t packetMode, uint8_t subChId, uint16_t cuStart, uint8_t isEep, uint8_t uepIndex,
                                 uint8_t protection, uint16_t cuCount, uint16_t address, uint8_t fecScheme) -> int32_t {
                record(QStringLiteral("add %1 %2 %3 %4 %5 eep %6 uep %7 protection %8 fec %9")
                           .arg(packetMode).arg(subChId).arg(cuStart).arg(cuCount).arg(address)
                           .arg(isEep).arg(uepIndex).arg(protection).arg(fecScheme));
                return current().addResult;
            };
            t.changeSCOrg = [](uint8_t, uint8_t, uint16_t, uint8_t, uint8_t, uint8_t, uint16_t, uint16_t, uint8_t) -> int32_t {
                return RTDAB_RESULT_FAILED;
            };
            t.closeDevice = []() -> int32_t {
                record(QStringLiteral("close"));
                return current().closeResult;
            };
            t.debugCmd = [](uint32_t, uint32_t) -> int32_t { return RTDAB_RESULT_FAILED; };
            t.delServiceCom = [](uint8_t, uint8_t subChId, uint16_t) -> int32_t {
                record(QStringLiteral("del %1").arg(subChId));
                return RTDAB_RESULT_SUCCESS;
            };
            t.getFreqAndBW = [](uint32_t *, uint32_t *) -> int32_t { return RTDAB_RESULT_FAILED; };
            t.getSignalLock = [](int *value) -> int32_t {
                *value = current().lock;
                return RTDAB_RESULT_SUCCESS;
            };
            t.getSignalPresent = [](int *value) -> int32_t {
                *value = current().present;
                return RTDAB_RESULT_SUCCESS;
            };
            t.getSignalQuality = [](int *value) -> int32_t {
                *value = current().quality;
                return RTDAB_RESULT_SUCCESS;
            };
            t.getSignalStrength = [](int *value) -> int32_t {
                *value = current().strength;
                return RTDAB_RESULT_SUCCESS;
            };
            t.getTunerRange = [](uint32_t *, uint32_t *) -> int32_t { return RTDAB_RESULT_FAILED; };
            t.openDevice = []() -> int32_t {
                record(QStringLiteral("open"));
                return current().openResult;
            };
            t.setFICCallBack = [](RTDAB_FICCallBack callback) -> int32_t {
                current().fic = callback;
                return RTDAB_RESULT_SUCCESS;
            };
            t.setFreqAndBW = [](uint32_t frequency, uint32_t) -> int32_t {
                record(QStringLiteral("tune %1").arg(frequency));
                return current().tuneResult;
            };
            t.setMSCCallBack = [](RTDAB_MSCCallBack callback) -> int32_t {
                current().msc = callback;
                return RTDAB_RESULT_SUCCESS;
            };
            t.setPacketCallBack = [](RTDAB_PacketCallBack callback) -> int32_t {
                current().packet = callback;
                return RTDAB_RESULT_SUCCESS;
            };
            t.setStreamDataCallBack = [](RTDAB_StreamDataCallBack) -> int32_t { return RTDAB_RESULT_SUCCESS; };
            t.start = []() -> int32_t {
                record(QStringLiteral("start"));
                return current().startResult;
            };
            t.stop = []() -> int32_t {
                record(QStringLiteral("stop"));
                return current().stopResult;
            };
            return t;
        }();
        return table;
    }
};

} // namespace ZOZ::Test
