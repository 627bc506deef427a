/* MpegAudio_tables.h, shared by the codec libraries, compiles alone as C. */
#include "MpegAudio_tables.h"

int mpegAudioTablesHeaderCheck(void)
{
    return MpegAudio_Layer2_bitrate_index[0][1];
}
