// Compiles the header on its own.
#include "ZOZDab.h"
