#pragma once

#include "settings/ZOZSettings.h"

namespace ZOZ {

class CommandLine;

// Applies the process arguments to the settings, once at start-up: reads the
// configuration file first, then each option in a fixed order so that the
// command line wins, and reports what nobody understood. The same pass builds
// the help table that the help text prints.
class CommandLineOptions
{
public:
    explicit CommandLineOptions(Settings &settings);

    // False when a numeric option had an illegal value; unknown arguments are
    // reported but do not fail.
    bool apply(const QStringList &arguments);

private:
    void addHelp(std::initializer_list<const char *> variants, const QString &text);
    // Reports the illegal values and leftover arguments; the pass result.
    bool report(CommandLine &commandLine, bool portRefused);

    Settings &m_settings;
    QList<Settings::HelpEntry> m_help;
};

} // namespace ZOZ
