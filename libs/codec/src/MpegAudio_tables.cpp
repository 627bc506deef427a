// Transcribed from ISO/IEC 11172-3 and ISO/IEC 13818-3 (Layer II bitrate_index).
#include "MpegAudio_tables.h"

const uint16_t MpegAudio_Layer2_bitrate_index[2][16] = {
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
};
