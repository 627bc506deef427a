// Public interface of the Journaline library (zoz_journaline): everything
// other code includes of it.
#ifndef ZOZ_JOURNALINE_H
#define ZOZ_JOURNALINE_H

#include "CommonText.h"
#include "CommonThreads.h"
#include "NSJAPIProvider.h"
#include "NSJDecoder.h"
#include "NSJRenderer.h"

#endif
