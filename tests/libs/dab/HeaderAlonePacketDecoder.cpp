// Compiles the header on its own.
#include "DabPacketDecoder.h"
