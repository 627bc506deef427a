// Compiles the header on its own.
#include "DabMotTime.h"
