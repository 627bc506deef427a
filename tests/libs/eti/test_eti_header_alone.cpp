// The public header must compile on its own.
#include "zoz_eti.h"
