#include "TdLimiter.h"

int tdlimiter_header_check(void)
{
    return TDLIMIT_OK;
}
