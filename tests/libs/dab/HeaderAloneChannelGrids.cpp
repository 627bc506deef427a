// Compiles the header on its own.
#include "DabChannelGrids.h"
