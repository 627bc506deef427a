// MOT objects (header core, header extension, body) cut into segments and
// carried in MSC data groups: type 3 for the header, type 4 for the body.
#pragma once

#include "Contents.h"

#include <string>
#include <vector>

namespace ZOZ::EnsembleGen {

struct MotObject {
    int transportId = 1;
    int contentType = 2;      // 2 image
    int contentSubType = 1;   // 1 JPEG, 3 PNG
    std::string contentName;  // ContentName parameter, UTF-8
    Bytes body;
    Bytes extraParameters;    // further header extension parameters, already coded
};

// Header core and extension of the object.
Bytes motHeader(const MotObject &object);

// One header extension parameter: `id` with `data` in the shortest form.
Bytes motParameter(int id, const Bytes &data);

// The data groups of the object on packet `address`: the header in one
// segment, the body in segments of at most `segmentBytes`. Continuity indices
// count per data group type from `continuity` (updated).
std::vector<DataGroup> motDataGroups(const MotObject &object, int address, size_t segmentBytes, int continuity[16]);

} // namespace ZOZ::EnsembleGen
