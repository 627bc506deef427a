/* The C interfaces compile as C on their own. */
#include "DabCrc16.h"
#include "DabFicDecoder.h"
#include "DabMemory.h"
#include "DabPacketDecoder.h"

int zozDabHeadersCompileAsC(void) { return (int)sizeof(FicFigRecord) + (int)sizeof(DabPmStatistics); }
