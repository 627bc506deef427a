#pragma once

#include "settings/ZOZSettings.h"

#include <functional>

namespace ZOZ {

// The texts the settings give the user to read: the settings dump logged
// after the command line, the version text, the help text and the feature
// list, and where they are shown.
class SettingsReport
{
public:
    enum class Window { Help, Version };
    // Shows a text in its window; false when it cannot (no widgets), so that
    // the text goes to standard output instead. The user interface installs it;
    // the settings need no widgets of their own.
    using WindowPresenter = std::function<bool(Window window, const QString &text)>;
    static void setWindowPresenter(WindowPresenter presenter);

    // With a graphical user interface in the presenter's window, else as
    // UTF-8 with a line feed on standard output.
    static void show(Window window, const QString &text, bool graphicalUI);

    // One line per runtime setting: " - " + name padded to 20 + ": " + value + CR LF.
    static QString dump(const Settings &settings);
    static QStringList featureList(bool graphicalUI);
    static QString featuresText();
    static QString versionText();
    // The version text, the table of help entries and the log's switch-file help.
    static QString helpText(const QList<Settings::HelpEntry> &entries);
    // Cuts the next chunk of at most `width` characters off `remaining` for the help table.
    static QString appendWrapped(QString &remaining, int width, bool skipBlanksAfter);
};

} // namespace ZOZ
