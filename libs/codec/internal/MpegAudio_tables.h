/* Constant tables of MPEG audio shared by the libraries of the codec family
 * (the DAB+ parser's Layer II recognition and the Layer II decoder). Internal:
 * not part of any public interface. */
#ifndef MPEG_AUDIO_TABLES_H
#define MPEG_AUDIO_TABLES_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Layer II bit rate in kbit/s by [version][bitrate_index]: version 0 is
 * ISO/IEC 11172-3 (ID = 1), version 1 the lower sampling frequencies of
 * ISO/IEC 13818-3 (ID = 0). Indices 0 (free format) and 15 (forbidden) hold 0. */
extern const uint16_t MpegAudio_Layer2_bitrate_index[2][16];

#ifdef __cplusplus
}
#endif

#endif
