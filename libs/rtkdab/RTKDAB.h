/* The receiver library's C interface: open, tune and start the receiver, add
 * and remove sub-channels, ask for the signal state, and receive FIC and
 * sub-channel bytes through callbacks on the library's own thread.
 *
 * This library serves ETI-NI recordings, or the output of a command that
 * writes ETI-NI, named by the environment variable RTKDAB_SOURCE:
 *   a folder     recordings named by channel label or kHz: 5C.eti, 178352.eti
 *   file@channel one recording served on one channel: /data/rec.eti@5C
 *   |command     run on each tune with %c (channel label) and %f (kHz)
 *                replaced, ETI-NI read from its standard output
 * RTKDAB_SPEED (a positive factor, 0 for no pacing) speeds up delivery, which
 * otherwise runs at one frame per 24 ms. Recordings loop at their end.
 *
 * Every function returns one of the RTDAB_RESULT_ codes. Callbacks run on the
 * library's delivery thread with no lock of the library held; they may arrive
 * at any time between RTDAB_Start and the return of RTDAB_Stop (or
 * RTDAB_CloseDevice, or unloading the library), never after it.
 */
#ifndef RTKDAB_H
#define RTKDAB_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define RTDAB_RESULT_FAILED 0
#define RTDAB_RESULT_SUCCESS 1
#define RTDAB_RESULT_NO_DEVICE 2
#define RTDAB_RESULT_NO_SUCH_COMPONENT 4
#define RTDAB_RESULT_ALREADY_SELECTED 5

#if defined(__GNUC__)
#define RTDAB_API __attribute__((visibility("default")))
#else
#define RTDAB_API
#endif

/* FIC bytes of one frame: 96 bytes (three FIBs) in modes I, II and IV, 128 in mode III. */
typedef void (*RTDAB_FICCallBack)(uint8_t *data, int length);
/* The bytes of one frame of an added stream-mode sub-channel (bit rate x 3). */
typedef void (*RTDAB_MSCCallBack)(uint8_t *data, int length, uint8_t subChId);
/* The bytes of one frame of an added packet-mode sub-channel, once however
 * many packet addresses were added; `reserved` is always 0. */
typedef void (*RTDAB_PacketCallBack)(uint8_t *data, int length, uint32_t reserved, uint8_t subChId);
/* Accepted for compatibility; never called. */
typedef void (*RTDAB_StreamDataCallBack)(uint8_t *data, int length);

/* 1, or 2 when RTKDAB_SOURCE is unset or names nothing that exists.
 * Opening an open device answers 1. */
RTDAB_API int32_t RTDAB_OpenDevice(void);
/* Starts the delivery thread: 1, 0 when the device is not open or the thread
 * cannot start. Starting a started device answers 1. */
RTDAB_API int32_t RTDAB_Start(void);
/* Stops the delivery thread and waits for it: 1, 0 when the device is not open.
 * No callback arrives after it returns (called from a callback, it only asks
 * the thread to end). */
RTDAB_API int32_t RTDAB_Stop(void);
/* Stops as RTDAB_Stop, removes every sub-channel and forgets the tuning:
 * 1, 0 when the device is not open. */
RTDAB_API int32_t RTDAB_CloseDevice(void);
/* Tunes to `frequency` kHz (the bandwidth code is accepted and ignored) and
 * removes every added sub-channel: 1, 0 when the device is not open or the
 * frequency is 0. A frequency without a recording is no error: it gives no
 * lock and no FIC. */
RTDAB_API int32_t RTDAB_SetFreqAndBW(uint32_t frequency, uint32_t bandwidth);
/* Current frequency (kHz, 0 before tuning) and bandwidth code: 1, 0 for null pointers. */
RTDAB_API int32_t RTDAB_GetFreqAndBW(uint32_t *frequency, uint32_t *bandwidth);
/* Lowest and highest frequency of the channel grids, in kHz: 1, 0 for null pointers. */
RTDAB_API int32_t RTDAB_GetTunerRange(uint32_t *lowest, uint32_t *highest);
/* Adds a sub-channel, checked against the stream table of the tuned ensemble
 * (waiting up to half a second for its first frame): 1; 4 when no stream of the
 * frame has this sub-channel id and start address; 5 when this sub-channel
 * (stream mode) or this packet address (packet mode) is already added; 0 when
 * the device is not open. eepProtection is option x 4 + level. */
RTDAB_API int32_t RTDAB_AddServiceCom(uint8_t isPacketMode, uint8_t subChId, uint16_t cuStart, uint8_t isEEP,
                                      uint8_t uepIndex, uint8_t eepProtection, uint16_t cuCount,
                                      uint16_t packetAddress, uint8_t fecScheme);
/* Changes the organisation of an added sub-channel: 1, 4 when it is not
 * added, 0 when the device is not open. */
RTDAB_API int32_t RTDAB_ChangeSCOrg(uint8_t isPacketMode, uint8_t subChId, uint16_t cuStart, uint8_t isEEP,
                                    uint8_t uepIndex, uint8_t eepProtection, uint16_t cuCount,
                                    uint16_t packetAddress, uint8_t fecScheme);
/* Removes a stream sub-channel, or one packet address of a packet sub-channel
 * (the sub-channel goes with its last address): 1, 4 when not added, 0 when
 * the device is not open. */
RTDAB_API int32_t RTDAB_DelServiceCom(uint8_t isPacketMode, uint8_t subChId, uint16_t packetAddress);
/* The signal state, from the frames of the last 1.2 s: lock (1 while frames with a
 * good header arrive), presence (1 while frames arrive at all), quality (percentage
 * of error-free frames) and strength (percentage of frames with a good header).
 * Each answers 1 and sets *value, or 0 for a null pointer or a closed device. */
RTDAB_API int32_t RTDAB_GetSignalLock(int *value);
RTDAB_API int32_t RTDAB_GetSignalPresent(int *value);
RTDAB_API int32_t RTDAB_GetSignalQuality(int *value);
RTDAB_API int32_t RTDAB_GetSignalStrength(int *value);
/* Register a callback (null removes it): always 1. */
RTDAB_API int32_t RTDAB_SetFICCallBack(RTDAB_FICCallBack callback);
RTDAB_API int32_t RTDAB_SetMSCCallBack(RTDAB_MSCCallBack callback);
RTDAB_API int32_t RTDAB_SetPacketCallBack(RTDAB_PacketCallBack callback);
RTDAB_API int32_t RTDAB_SetStreamDataCallBack(RTDAB_StreamDataCallBack callback);
/* No debug commands exist: always 0. */
RTDAB_API int32_t RTDAB_DebugCMD(uint32_t command, uint32_t argument);

/* The last thing found wrong with the source RTKDAB_SOURCE names (unset, a
 * path that does not exist, a recording that is not ETI-NI, a command that
 * fails or does not exist), as one line naming the path or command. Copies at
 * most size - 1 bytes and a terminating zero to `text` (when not null) and
 * answers the problem's serial number, which grows with every new problem:
 * 0 while there has been none. A hardware stick's library has no such
 * function, so callers resolve it optionally. */
RTDAB_API int32_t RTDAB_GetSourceProblem(char *text, int32_t size);

#ifdef __cplusplus
}
#endif

#endif
