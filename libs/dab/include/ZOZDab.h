// Public interface of the DAB data library (zoz_dab): everything other code
// includes of it.
#ifndef ZOZ_DAB_H
#define ZOZ_DAB_H

#include "DabChannelGrids.h"
#include "DabCodeTables.h"
#include "DabCrc16.h"
#include "DabDlDecoder.h"
#include "DabFicDecoder.h"
#include "DabMemory.h"
#include "DabPacketDecoder.h"
#include "DabPadDecoder.h"
#include "DabUepTable.h"

#endif
