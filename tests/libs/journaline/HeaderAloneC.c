/* The decoder core's interface compiles as C on its own. */
#include "NSJDecoder.h"

int zozJournalineHeaderCompilesAsC(void) { return (int)sizeof(NSJ_ObjectRecord) + (int)sizeof(NSJ_Statistics); }
