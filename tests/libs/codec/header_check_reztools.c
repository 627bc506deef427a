/* RezTools.h compiles alone as C. */
#include "RezTools.h"

int rezToolsHeaderCheck(void)
{
    RezBitStream bs;
    RezTools_BitStreamInit(&bs, 0, 0, 0, REZ_BIT_READ);
    return (int)sizeof(LIB_INFO);
}
