// Compiles the header on its own.
#include "DabMotDecoder.h"
