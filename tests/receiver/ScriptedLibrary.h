#pragma once

#include "ZOZClock.h"
#include "ZOZRtkApi.h"

#include <QString>
#include <QStringList>

#include <atomic>

namespace ZOZ::Test {

// A receiver library driven by the test: results and signal values are set
// by hand, every call is recorded with the time of the installed clock, and
// the registered callbacks can be called as the library's thread would.
struct ScriptedLibrary
{
    int32_t openResult = RtkSuccess;
    int32_t startResult = RtkSuccess;
    int32_t stopResult = RtkSuccess;
    int32_t closeResult = RtkSuccess;
    int32_t tuneResult = RtkSuccess;
    int32_t addResult = RtkSuccess;
    int lock = 1;
    int present = 1;
    int quality = 80;
    int strength = 90;
    QStringList calls;
    RtkApi::FicCallback fic = nullptr;
    RtkApi::MscCallback msc = nullptr;
    RtkApi::PacketCallback packet = nullptr;

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

    static const RtkApi &api()
    {
        static const RtkApi table = [] {
            RtkApi t;
            t.AddServiceCom = [](uint8_t packetMode, uint8_t subChId, uint16_t cuStart, uint8_t, uint8_t, uint8_t,
                                 uint16_t cuCount, uint16_t address, uint8_t) -> int32_t {
                record(QStringLiteral("add %1 %2 %3 %4 %5").arg(packetMode).arg(subChId).arg(cuStart).arg(cuCount).arg(address));
                return current().addResult;
            };
            t.ChangeSCOrg = [](uint8_t, uint8_t, uint16_t, uint8_t, uint8_t, uint8_t, uint16_t, uint16_t, uint8_t) -> int32_t {
                return RtkFailed;
            };
            t.CloseDevice = []() -> int32_t {
                record(QStringLiteral("close"));
                return current().closeResult;
            };
            t.DebugCMD = [](uint32_t, uint32_t) -> int32_t { return RtkFailed; };
            t.DelServiceCom = [](uint8_t, uint8_t subChId, uint16_t) -> int32_t {
                record(QStringLiteral("del %1").arg(subChId));
                return RtkSuccess;
            };
            t.GetFreqAndBW = [](uint32_t *, uint32_t *) -> int32_t { return RtkFailed; };
            t.GetSignalLock = [](int *value) -> int32_t {
                *value = current().lock;
                return RtkSuccess;
            };
            t.GetSignalPresent = [](int *value) -> int32_t {
                *value = current().present;
                return RtkSuccess;
            };
            t.GetSignalQuality = [](int *value) -> int32_t {
                *value = current().quality;
                return RtkSuccess;
            };
            t.GetSignalStrength = [](int *value) -> int32_t {
                *value = current().strength;
                return RtkSuccess;
            };
            t.GetTunerRange = [](uint32_t *, uint32_t *) -> int32_t { return RtkFailed; };
            t.OpenDevice = []() -> int32_t {
                record(QStringLiteral("open"));
                return current().openResult;
            };
            t.SetFICCallBack = [](RtkApi::FicCallback callback) -> int32_t {
                current().fic = callback;
                return RtkSuccess;
            };
            t.SetFreqAndBW = [](uint32_t frequency, uint32_t) -> int32_t {
                record(QStringLiteral("tune %1").arg(frequency));
                return current().tuneResult;
            };
            t.SetMSCCallBack = [](RtkApi::MscCallback callback) -> int32_t {
                current().msc = callback;
                return RtkSuccess;
            };
            t.SetPacketCallBack = [](RtkApi::PacketCallback callback) -> int32_t {
                current().packet = callback;
                return RtkSuccess;
            };
            t.SetStreamDataCallBack = [](RtkApi::StreamDataCallback) -> int32_t { return RtkSuccess; };
            t.Start = []() -> int32_t {
                record(QStringLiteral("start"));
                return current().startResult;
            };
            t.Stop = []() -> int32_t {
                record(QStringLiteral("stop"));
                return current().stopResult;
            };
            return t;
        }();
        return table;
    }
};

} // namespace ZOZ::Test
