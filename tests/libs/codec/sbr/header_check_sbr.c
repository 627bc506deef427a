#include "SbrDec.h"

int sbr_header_check(void)
{
    return SBRDEC_MAX_ELEMENTS;
}
