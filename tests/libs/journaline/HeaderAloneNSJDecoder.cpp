// Compiles the header on its own.
#include "NSJDecoder.h"
