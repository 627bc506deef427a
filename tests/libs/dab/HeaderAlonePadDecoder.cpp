// Compiles the header on its own.
#include "DabPadDecoder.h"
