#include "DABplusDecoder.h"

int dabplus_header_check(void)
{
    return (int)sizeof(DABplusDecoderFrameInfo);
}
