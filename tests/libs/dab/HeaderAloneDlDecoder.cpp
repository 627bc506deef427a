// Compiles the header on its own.
#include "DabDlDecoder.h"
