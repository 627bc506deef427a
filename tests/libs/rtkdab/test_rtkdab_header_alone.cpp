// The public header must compile on its own.
#include "RTKDAB.h"
