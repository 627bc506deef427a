// Compiles the header on its own.
#include "DabUepTable.h"
