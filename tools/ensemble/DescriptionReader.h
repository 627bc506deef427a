// Reads an ensemble description from JSON. Numbers may be written as JSON
// numbers or as "0x" hexadecimal texts; paths are relative to the file.
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
