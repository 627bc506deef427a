// A receiver library that only records which function was called, in order.
#include "RTKDAB.h"

#include <cstdio>
#include <cstdlib>

namespace {

int32_t logCall(const char *name)
{
    if (const char *path = std::getenv("FAKE_RTKDAB_LOG")) {
        if (FILE *file = std::fopen(path, "a")) {
            std::fprintf(file, "%s\n", name);
            std::fclose(file);
        }
    }
    return RTDAB_RESULT_SUCCESS;
}

} // namespace

extern "C" {
int32_t RTDAB_OpenDevice(void) { return logCall("OpenDevice"); }
int32_t RTDAB_Start(void) { return logCall("Start"); }
int32_t RTDAB_Stop(void) { return logCall("Stop"); }
int32_t RTDAB_CloseDevice(void) { return logCall("CloseDevice"); }
int32_t RTDAB_SetFreqAndBW(uint32_t, uint32_t) { return logCall("SetFreqAndBW"); }
int32_t RTDAB_GetFreqAndBW(uint32_t *, uint32_t *) { return logCall("GetFreqAndBW"); }
int32_t RTDAB_GetTunerRange(uint32_t *, uint32_t *) { return logCall("GetTunerRange"); }
int32_t RTDAB_AddServiceCom(uint8_t, uint8_t, uint16_t, uint8_t, uint8_t, uint8_t, uint16_t, uint16_t, uint8_t)
{
    return logCall("AddServiceCom");
}
int32_t RTDAB_ChangeSCOrg(uint8_t, uint8_t, uint16_t, uint8_t, uint8_t, uint8_t, uint16_t, uint16_t, uint8_t)
{
    return logCall("ChangeSCOrg");
}
int32_t RTDAB_DelServiceCom(uint8_t, uint8_t, uint16_t) { return logCall("DelServiceCom"); }
int32_t RTDAB_GetSignalLock(int *) { return logCall("GetSignalLock"); }
int32_t RTDAB_GetSignalPresent(int *) { return logCall("GetSignalPresent"); }
int32_t RTDAB_GetSignalQuality(int *) { return logCall("GetSignalQuality"); }
int32_t RTDAB_GetSignalStrength(int *) { return logCall("GetSignalStrength"); }
int32_t RTDAB_SetFICCallBack(RTDAB_FICCallBack) { return logCall("SetFICCallBack"); }
int32_t RTDAB_SetMSCCallBack(RTDAB_MSCCallBack) { return logCall("SetMSCCallBack"); }
int32_t RTDAB_SetPacketCallBack(RTDAB_PacketCallBack) { return logCall("SetPacketCallBack"); }
int32_t RTDAB_SetStreamDataCallBack(RTDAB_StreamDataCallBack) { return logCall("SetStreamDataCallBack"); }
#ifndef FAKE_RTKDAB_WITHOUT_DEBUGCMD
int32_t RTDAB_DebugCMD(uint32_t, uint32_t) { return logCall("DebugCMD"); }
#endif
}
