// Compiles the header on its own.
#include "NSJRenderer.h"
