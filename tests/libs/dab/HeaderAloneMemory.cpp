// Compiles the header on its own.
#include "DabMemory.h"
