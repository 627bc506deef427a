// Compiles the header on its own.
#include "DabCodeTables.h"
