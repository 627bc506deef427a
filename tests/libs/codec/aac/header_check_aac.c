#include "AacDec.h"

int aac_header_check(void)
{
    return (int)sizeof(AacDecStreamInfo);
}
