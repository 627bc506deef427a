// Parametric-stereo mixing tables (see PsDec_tables.cpp for each index's meaning).
#ifndef PS_DEC_TABLES_H
#define PS_DEC_TABLES_H

#include <stdint.h>

extern const int32_t PsDec_IidScale[15];
extern const int32_t PsDec_IidScaleFine[31];
extern const int32_t PsDec_IccAlpha[8];

#endif
