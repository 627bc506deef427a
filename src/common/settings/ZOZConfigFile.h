#pragma once

#include "settings/ZOZSettings.h"

class QDomElement;

namespace ZOZ {

// The optional XML configuration file: read once at start-up before the
// command line, and again by the settings reload whenever its modification
// time changed. Each pass applies the root's children in document order.
class ConfigFile
{
public:
    explicit ConfigFile(Settings &settings);

    // True when the file was read and its elements applied.
    bool parse(Settings::ConfigPass pass);

    // A channel label of the grids or a frequency in kHz; 0 when it is neither.
    static int scanFrequencyFor(const QString &frequencyOrId);

private:
    void apply(const QDomElement &element, bool initial);
    void applyServerPort(const QString &text);
    void applyScanFrequencies(const QDomElement &element);
    void applyEntryList(const QDomElement &element);
    void applyRefreshTime(const QString &text);

    Settings &m_settings;
};

} // namespace ZOZ
