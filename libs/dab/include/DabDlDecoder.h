/* Dynamic Label decoder: takes the Dynamic Label data groups of one programme
 * (2-byte prefix, up to 16 bytes of label characters or a command body, 2-byte
 * CRC), collects the up to 8 segments of a label and hands each complete label
 * whose text is new to a label callback; hands the commands (remove label, the
 * DL Plus command) to a command callback without looking inside them.
 *
 * Calling order: DAB_Bb_Ruz_DlDecoderGetSize, allocate that many bytes
 * (aligned for any scalar, as malloc returns), DAB_Bb_Ruz_DlDecoderInit, then
 * DAB_Bb_Ruz_DlDecoderProcessDataGroup with every data group as it arrives (the
 * PAD decoder's Dynamic Label application callback is the place to call it).
 * DAB_Bb_Ruz_DlDecoderReset forgets everything, the label shown included, when
 * the programme's decoding starts anew.
 *
 * Delivery rules: a label is delivered once per toggle-bit change and only when
 * its text differs from the last label delivered (after a remove-label command
 * any text counts as new). A command is delivered once per toggle; a DL Plus
 * command only while its link bit matches the toggle of the label shown.
 *
 * The library allocates nothing and locks nothing: one instance belongs to one
 * caller at a time. Callbacks run inside ProcessDataGroup; the text and body
 * pointers are valid only during the callback.
 *
 * Result codes are the DL_DECODER_ values below (their log texts:
 * ZOZ::dlDecoderErrorText). */
#ifndef ZOZ_DAB_DL_DECODER_H
#define ZOZ_DAB_DL_DECODER_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
    DL_DECODER_OK = 0,
    DL_DECODER_INVALID_PARAMETER = 1,
    DL_DECODER_ASSEMBLY_FAILED = 2,
    DL_DECODER_CRC_ERROR = 3
};

/* Command codes of a command group. */
enum {
    DL_COMMAND_REMOVE_LABEL = 1,
    DL_COMMAND_DL_PLUS = 2
};

enum {
    DL_MAX_SEGMENTS = 8,
    DL_SEGMENT_CHARACTERS = 16,
    DL_MAX_LABEL_BYTES = DL_MAX_SEGMENTS * DL_SEGMENT_CHARACTERS
};

typedef struct DabDlDecoder DabDlDecoder; /* opaque */

/* A new label: its character set as the first segment's prefix gives it (the
 * 4-bit DAB character set code, e.g. 0 the complete EBU Latin based repertoire,
 * 15 UTF-8), the bytes (zero-terminated after `length`) and the context given
 * at Init. */
typedef void (*DabDlLabelCallback)(uint8_t charset, const uint8_t *text, uint32_t length, void *context);

/* A command: its code (DL_COMMAND_...), its body (empty for remove label; the
 * DL Plus command's bytes after the prefix, CRC excluded) and the context. */
typedef void (*DabDlCommandCallback)(uint8_t command, const uint8_t *body, uint32_t length, void *context);

/* Version of the library. Each pointer may be null; the given ones receive the
 * tag, two dates, the revision as text and as a number, the version text and
 * its three parts. Returns 1 when all nine are null, else 0. */
int DAB_Bb_Ruz_DlDecoderGetVersion(const char **tag, const char **date, const char **buildDate,
                                   const char **revisionText, uint32_t *revision, const char **version,
                                   uint32_t *major, uint32_t *minor, uint32_t *patch);

/* Bytes to allocate for one instance. */
uint32_t DAB_Bb_Ruz_DlDecoderGetSize(void);

/* Resets the instance and stores the context and the callbacks; either callback
 * may be null (what it would get is then dropped as if delivered).
 * Returns 0, or 1 for a null instance. */
int DAB_Bb_Ruz_DlDecoderInit(DabDlDecoder *decoder, void *context, DabDlLabelCallback labelCallback,
                             DabDlCommandCallback commandCallback);

/* Forgets the group being collected and the label shown, so the next complete
 * label is delivered whatever its text. Returns 0, or 1 for a null instance. */
int DAB_Bb_Ruz_DlDecoderReset(DabDlDecoder *decoder);

/* Processes one data group of `length` bytes. Returns
 *   0 taken (delivered, collected, or dropped as already delivered);
 *   1 null instance or data, or fewer than 4 bytes;
 *   2 the prefix announces more bytes than the group holds: the group being
 *     collected is given up;
 *   3 bad CRC: the group is ignored, the collection kept. */
int DAB_Bb_Ruz_DlDecoderProcessDataGroup(DabDlDecoder *decoder, const uint8_t *data, uint32_t length);

#ifdef __cplusplus
}
#endif

#endif
