// Compiles the header on its own.
#include "ZOZJournaline.h"
