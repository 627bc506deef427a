/* PAD decoder: splits the programme-associated data (PAD) of one audio frame
 * into its fixed part (F-PAD) and its extended part (X-PAD), reassembles the
 * X-PAD data groups of each registered application type and hands every
 * complete group to that application's callback.
 *
 * Calling order: DAB_Bb_Ruz_PadDecoderGetSize, allocate that many bytes
 * (aligned for any scalar, as malloc returns), DAB_Bb_Ruz_PadDecoderInit,
 * DAB_Bb_Ruz_PadDecoderAddApplication for each wanted X-PAD application type,
 * then DAB_Bb_Ruz_PadDecoderProcessPad once per decoded audio frame, in frame
 * order (the X-PAD state carries over from one frame to the next: a frame
 * without contents indicators continues the previous one).
 *
 * The PAD buffer, as an audio service hands it over:
 *   - the bytes in the order the frame carries them, ending with the two F-PAD
 *     bytes (F-PAD byte L-1 at pad[length-2], byte L at pad[length-1]);
 *   - the X-PAD directly below the F-PAD. A frame carries the X-PAD reversed:
 *     its first byte (the first contents indicator) is pad[length-3], the next
 *     ones go down from there. The decoder reads it that way and copies every
 *     data subfield into the application buffer in the X-PAD's own order, so a
 *     delivered data group reads forwards.
 *   - Layer II (DAB): the frame ends with X-PAD, the scale-factor CRC (2 bytes
 *     at 48 kHz below 56 kbit/s per channel, else 4) and the F-PAD. Remove the
 *     CRC bytes first (move the F-PAD pair down over them) so the F-PAD follows
 *     the X-PAD; the Layer II decoder's PAD area is processed as
 *     [X-PAD ...][F-PAD L-1][F-PAD L], length = PAD bytes - CRC bytes.
 *   - DAB+: the PAD of an access unit (its data stream element) is already in
 *     that form; hand it over as it is, one call per access unit that has one.
 *
 * An audio service sets one instance up when it opens its decoder:
 *   DAB_Bb_Ruz_PadDecoderInit(decoder);
 *   DAB_Bb_Ruz_PadDecoderAddApplication(decoder, PAD_APP_TYPE_DYNAMIC_LABEL, 1,
 *       dlBuffer, 128, dynamicLabelCallback, dlDecoder);
 *   for each data service carried in its X-PAD:
 *     DAB_Bb_Ruz_PadDecoderAddApplication(decoder, xpadAppType, 1,
 *         serviceBuffer, 8215, dataCallback, service);
 * (DAB_Bb_Ruz_PadDecoderRemoveApplication when such a service goes), and per
 * decoded frame calls, under the lock that guards the instance and its
 * applications:
 *   DAB_Bb_Ruz_PadDecoderProcessPad(decoder, pad, padLength);
 * which calls, inside, the Dynamic Label callback with each complete Dynamic
 * Label data group (hand it to DAB_Bb_Ruz_DlDecoderProcessDataGroup) and a
 * data service's callback with each of its complete X-PAD data groups (hand
 * them to the service's receive operation).
 *
 * Applications are registered by X-PAD application type: 2 for Dynamic Label
 * (its continuation type 3 follows automatically), and for a data service the
 * X-PAD application type that the service component's user application
 * information signals (12 for MOT, e.g. SlideShow; 13 is its continuation) --
 * never the user application type itself, whose SlideShow value 2 is the
 * X-PAD type of Dynamic Label. Register with useLength 1: the group's length
 * then comes from the data group length indicator (type 1) in front of it, or,
 * for Dynamic Label, from the label's own prefix. With useLength 0 every
 * subfield of the type is delivered alone as it arrives.
 *
 * The library allocates nothing and locks nothing: one instance belongs to one
 * caller at a time. Application buffers belong to the caller and must live
 * until their type is removed. Callbacks run inside ProcessPad and must not
 * call back into the same instance.
 *
 * Result codes of the int functions are the PAD_DECODER_ values below (their
 * log texts: ZOZ::padDecoderErrorText). */
#ifndef ZOZ_DAB_PAD_DECODER_H
#define ZOZ_DAB_PAD_DECODER_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
    PAD_DECODER_OK = 0,
    PAD_DECODER_INVALID_PARAMETER = 1,
    PAD_DECODER_BUFFER_TOO_SMALL = 2,
    PAD_DECODER_CRC_ERROR = 3,
    PAD_DECODER_TABLE_FULL = 4,
    PAD_DECODER_APPLICATION_EXISTS = 5,
    PAD_DECODER_NO_APPLICATION = 6,
    PAD_DECODER_INVALID_XPAD = 7
};

/* X-PAD application types with a meaning of their own to the decoder. */
enum {
    PAD_APP_TYPE_END_MARKER = 0,        /* ends a contents indicator list */
    PAD_APP_TYPE_DATA_GROUP_LENGTH = 1, /* data group length indicator */
    PAD_APP_TYPE_DYNAMIC_LABEL = 2      /* Dynamic Label start; 3 continues it */
};

enum {
    PAD_MAX_APPLICATIONS = 31
};

typedef struct DabPadDecoder DabPadDecoder; /* opaque */

/* Receives one complete data group (or, without useLength, one subfield): the
 * application's buffer, the bytes in it and the context given at registration.
 * Its result becomes the result of the ProcessPad call that delivered it. */
typedef int (*DabPadApplicationCallback)(uint8_t *buffer, uint32_t length, void *context);

/* Version of the library. Each pointer may be null; the given ones receive the
 * tag, two dates, the revision as text and as a number, the version text and
 * its three parts. Returns 1 when all nine are null, else 0. */
int DAB_Bb_Ruz_PadDecoderGetVersion(const char **tag, const char **date, const char **buildDate,
                                    const char **revisionText, uint32_t *revision, const char **version,
                                    uint32_t *major, uint32_t *minor, uint32_t *patch);

/* Bytes to allocate for one instance. */
uint32_t DAB_Bb_Ruz_PadDecoderGetSize(void);

/* Prepares an instance: no applications, no X-PAD state.
 * Returns 0, or 1 for a null instance. */
int DAB_Bb_Ruz_PadDecoderInit(DabPadDecoder *decoder);

/* Registers an X-PAD application type with the caller's buffer of `capacity`
 * bytes (a group longer than that is dropped with result 2, the entry stays
 * free for the next one), its callback and a context handed back with every
 * group. Returns 0; 1 for a null instance, buffer or callback or a capacity of
 * 0; 5 when the type is registered already; 4 when 31 types are. */
int DAB_Bb_Ruz_PadDecoderAddApplication(DabPadDecoder *decoder, uint8_t appType, uint8_t useLength,
                                        uint8_t *buffer, uint32_t capacity, DabPadApplicationCallback callback,
                                        void *context);

/* Unregisters an application type; the out-pointers, when given, receive its
 * buffer and context (a group in progress is dropped). Returns 0; 1 for a null
 * instance; 6 when the type is not registered. */
int DAB_Bb_Ruz_PadDecoderRemoveApplication(DabPadDecoder *decoder, uint8_t appType, uint8_t **buffer,
                                           void **context);

/* Processes the PAD of one frame (`length` bytes, see the buffer layout above;
 * the bytes are only read). Returns the result of the last step that ran:
 *   0 done (also for a PAD without X-PAD, or F-PAD only);
 *   1 null instance or buffer, or fewer than 2 bytes;
 *   2 a data group longer than its application's buffer, dropped;
 *   3 a data group length indicator with a bad CRC (the group it announces is
 *     then ignored);
 *   6 X-PAD data of a type no application is registered for;
 *   7 invalid X-PAD: a reserved F-PAD type, too few bytes for the X-PAD the
 *     F-PAD announces, subfields beyond the PAD, a continuation of nothing;
 *   or the result of the last application callback that ran. */
int DAB_Bb_Ruz_PadDecoderProcessPad(DabPadDecoder *decoder, const uint8_t *pad, uint32_t length);

#ifdef __cplusplus
}
#endif

#endif
