// Compiles the header on its own.
#include "HtmlTemplate.h"
