#pragma once

#include <QString>

#include <cstdint>

namespace ZOZ {

// The receiver library's 19 functions, resolved at run time. The receiver
// calls the library only through this table, so tests can drive it with a
// scripted one.
struct RtkApi
{
    using FicCallback = void (*)(uint8_t *data, int length);
    using MscCallback = void (*)(uint8_t *data, int length, uint8_t subChId);
    using PacketCallback = void (*)(uint8_t *data, int length, uint32_t ignored, uint8_t subChId);
    using StreamDataCallback = void (*)(uint8_t *data, int length);

    int32_t (*AddServiceCom)(uint8_t isPacketMode, uint8_t subChId, uint16_t cuStart, uint8_t isEep,
                             uint8_t uepIndex, uint8_t eepProtection, uint16_t cuCount,
                             uint16_t packetAddress, uint8_t fecScheme) = nullptr;
    int32_t (*ChangeSCOrg)(uint8_t isPacketMode, uint8_t subChId, uint16_t cuStart, uint8_t isEep,
                           uint8_t uepIndex, uint8_t eepProtection, uint16_t cuCount,
                           uint16_t packetAddress, uint8_t fecScheme) = nullptr;
    int32_t (*CloseDevice)() = nullptr;
    int32_t (*DebugCMD)(uint32_t command, uint32_t argument) = nullptr;
    int32_t (*DelServiceCom)(uint8_t isPacketMode, uint8_t subChId, uint16_t packetAddress) = nullptr;
    int32_t (*GetFreqAndBW)(uint32_t *frequency, uint32_t *bandwidth) = nullptr;
    int32_t (*GetSignalLock)(int *value) = nullptr;
    int32_t (*GetSignalPresent)(int *value) = nullptr;
    int32_t (*GetSignalQuality)(int *value) = nullptr;
    int32_t (*GetSignalStrength)(int *value) = nullptr;
    int32_t (*GetTunerRange)(uint32_t *lowest, uint32_t *highest) = nullptr;
    int32_t (*OpenDevice)() = nullptr;
    int32_t (*SetFICCallBack)(FicCallback callback) = nullptr;
    int32_t (*SetFreqAndBW)(uint32_t frequency, uint32_t bandwidth) = nullptr;
    int32_t (*SetMSCCallBack)(MscCallback callback) = nullptr;
    int32_t (*SetPacketCallBack)(PacketCallback callback) = nullptr;
    int32_t (*SetStreamDataCallBack)(StreamDataCallback callback) = nullptr;
    int32_t (*Start)() = nullptr;
    int32_t (*Stop)() = nullptr;
};

// Result codes of the library's functions.
enum RtkResult : int32_t {
    RtkFailed = 0,
    RtkSuccess = 1,
    RtkNoDevice = 2,
    RtkNoSuchComponent = 4,
    RtkAlreadySelected = 5,
};

QString rtkResultText(int32_t result);

} // namespace ZOZ
