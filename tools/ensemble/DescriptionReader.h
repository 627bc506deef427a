// Reads an ensemble description from JSON. Numbers may be written as JSON
// numbers or as "0x" hexadecimal texts; paths are relative to the file.
//
// {
//   "seconds": 30,                               length of the recording
//   "time": "2026-06-21T10:00:00",               FIG 0/10, UTC, advancing
//   "ensemble": {"eid", "ecc", "label", "shortLabelFlags", "localTimeOffset" (half hours), "mode"},
//   "subChannels": [{"id", "bitRate", "protection": "EEP-3A" | "EEP-2B" | "UEP-14",
//                    "startAddress" (default: packed), "fecScheme",
//                    "content": {"type": "pattern"}
//                             | {"type": "mp2", "tone": [Hz...] | "speech": text | "wav": file,
//                                "labels": [Dynamic Label texts], "labelSeconds",
//                                "slides": [{"file", "name", "transportId", "trigger"}]} MOT in X-PAD
//                             | {"type": "packet", "enhanced": bool,
//                                "groups": [{"address", "type", "hex" | "text", "segment", "transportId"}],
//                                "motObjects": [{"address", "file", "name", "transportId",
//                                                "contentType", "contentSubType"}]}}],
//   "services": [{"sid", "data" (32-bit SId), "label", "shortLabelFlags", "extendedLabel",
//                 "extendedEncoding": "utf8" | "ucs2", "programmeType", "language",
//                 "announcementSupport", "clusters": [ids],
//                 "components": [{"kind": "audio" | "data" | "packet", "subChannel", "type",
//                                 "primary", "scIdS", "scId", "packetAddress", "language",
//                                 "label", "global" (FIG 0/8),
//                                 "applications": [{"type", "data": hex}]}]}],
//   "announcements": [{"cluster", "flags", "subChannel", "fromSecond", "toSecond"}],
//   "faults": [{"kind": "fibCrc" | "headerCrc" | "mstCrc" | "lostFrame" | "reconfiguration"
//                       | "eidChange", "frame", "count", "value"}],
//   "next": { the configuration a "reconfiguration" fault switches to }
// }
#pragma once

#include "EnsembleDescription.h"

#include <QString>

namespace ZOZ::EnsembleGen {

struct DescriptionFile {
    EnsembleDescription description;
    int frames = 0;
};

// False with *error set when the file cannot be read or a value is wrong.
// Audio contents are encoded here: speech through espeak-ng and sox when they
// are installed (a tone otherwise, with a note in *warnings).
bool readDescription(const QString &path, DescriptionFile *out, QString *error, QStringList *warnings);

} // namespace ZOZ::EnsembleGen
