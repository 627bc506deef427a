// Compiles the header on its own.
#include "NSJRendererHTML.h"
