#pragma once

#include "settings/ZOZSettingsReport.h"

namespace ZOZ {

// The help and version windows of a start with "-h" or "--version". They are
// widgets, so they live with the user interface and reach the settings
// through the window presenter that install() sets.
class HelpWindows
{
public:
    static void install();
    static void uninstall();

    // False when there is no widget application to show it in.
    static bool show(SettingsReport::Window window, const QString &text);
    static bool showHelpWindow(const QString &text);
    static bool showVersionWindow(const QString &text);
};

} // namespace ZOZ
