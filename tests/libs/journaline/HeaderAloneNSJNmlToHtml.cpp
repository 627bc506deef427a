// Compiles the header on its own.
#include "NSJNmlToHtml.h"
