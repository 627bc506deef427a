/* The C interfaces compile as C on their own. */
#include "DabCrc16.h"
#include "DabDlDecoder.h"
#include "DabFicDecoder.h"
#include "DabMemory.h"
#include "DabMotDecoder.h"
#include "DabPacketDecoder.h"
#include "DabPadDecoder.h"

int zozDabHeadersCompileAsC(void) { return (int)sizeof(FicFigRecord) + (int)sizeof(DabPmStatistics); }
