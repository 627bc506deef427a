#include "PcmDmx.h"

int pcmdmx_header_check(void)
{
    return PCMDMX_OK;
}
