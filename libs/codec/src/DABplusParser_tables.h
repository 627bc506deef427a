// Constant tables of the DAB+ parser.
#ifndef DABPLUS_PARSER_TABLES_H
#define DABPLUS_PARSER_TABLES_H

#include <cstdint>

// Layer II bit rate in kbit/s by bitrate_index, ISO/IEC 11172-3 (ID = 1, 48 kHz);
// indices 0 (free format) and 15 (forbidden) hold 0.
extern const uint32_t DABplusParser_Layer2BitrateMpeg1[16];
// The same for the lower sampling frequencies of ISO/IEC 13818-3 (ID = 0, 24 kHz).
extern const uint32_t DABplusParser_Layer2BitrateLsf[16];

#endif
