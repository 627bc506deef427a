// Compiles the header on its own.
#include "NSJAPIProvider.h"
