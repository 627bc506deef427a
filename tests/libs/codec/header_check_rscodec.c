/* RsCodec.h compiles alone as C. */
#include "RsCodec.h"

int rsCodecHeaderCheck(void)
{
    return (int)sizeof(RsCodecContext);
}
