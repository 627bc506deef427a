#include "Layer2Dec.h"

int layer2_header_check(void)
{
    return (int)sizeof(Layer2StreamInfo);
}
