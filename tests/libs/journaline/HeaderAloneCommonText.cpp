// Compiles the header on its own.
#include "CommonText.h"
