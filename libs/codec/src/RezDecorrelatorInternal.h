// The decorrelator's configuration step with the all-pass coefficients given by the
// caller: the public initialisation looks them up, tests bring their own.
#ifndef REZ_DECORRELATOR_INTERNAL_H
#define REZ_DECORRELATOR_INTERNAL_H

#include "RezTools.h"

namespace rez {

// As RezTools_DecorrelatorInit; for types 0 and 2 coefficients[g] is the a0..aN table
// (N = the group's order) of group g, and a null table gives REZ_DECORRELATOR_UNAVAILABLE.
int decorrelatorInit(RezDecorrelator *d, int hybridBands, int type, int keepDuckerMode, int layoutIndex,
                     int configuration, int alternativeLayout, int extraFlag, int twentyParameterBands, int reset,
                     const int16_t *const coefficients[4]);

} // namespace rez

#endif
