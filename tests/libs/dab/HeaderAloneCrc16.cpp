// Compiles the header on its own.
#include "DabCrc16.h"
