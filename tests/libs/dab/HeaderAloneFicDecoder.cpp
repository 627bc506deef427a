// Compiles the header on its own.
#include "DabFicDecoder.h"
