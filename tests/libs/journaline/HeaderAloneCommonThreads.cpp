// Compiles the header on its own.
#include "CommonThreads.h"
