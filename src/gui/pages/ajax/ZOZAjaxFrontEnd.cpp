// The receiver front end's settings, as the front-end page changes them. The
// commands only store; the receiver reads the settings.

#include "ZOZAjaxCommands.h"
#include "ZOZAjaxValues.h"

#include "settings/ZOZSettings.h"

#include <QFileInfo>

#include <limits>

namespace ZOZ {

namespace {

using namespace AjaxValues;

constexpr qint64 IntMin = std::numeric_limits<int>::min();
constexpr qint64 IntMax = std::numeric_limits<int>::max();
constexpr qint64 UIntMax = std::numeric_limits<unsigned>::max();

// Option ids of the settings' front-end options that only these commands use.
constexpr int OptionAntennaSelect = 4;
constexpr int OptionDacAuto = 6;
constexpr int OptionDacValue = 7;

struct BoolOption
{
    const char *key;
    int option;
};
const BoolOption BoolOptions[] = {
    {"setFeSwapIq", Settings::OptionSwapIq}, {"setFeDacAuto", OptionDacAuto}, {"setFeFilter", Settings::OptionFilter},
    {"setFeAgc", Settings::OptionAgc},       {"setFeMixer", Settings::OptionMixer}, {"setFeLna", Settings::OptionLna},
};

struct IntOption
{
    const char *key;
    int option;
    qint64 minimum;
};
// The gain comes in tenths of a dB, as the page's slider sends it.
const IntOption IntOptions[] = {
    {"setFeDacValue", OptionDacValue, IntMin},
    {"setFeGain", Settings::OptionGain, IntMin},
    {"setFeAntennaSelect", OptionAntennaSelect, 0},
};

// A frequency only when the text is the number printed back exactly: "0225"
// or "+225" name files.
bool isCanonicalNumber(const QString &text, unsigned &number)
{
    bool ok = false;
    number = text.toUInt(&ok, 10);
    return ok && QString::number(number) == text;
}

} // namespace

void addFrontEndCommands(AjaxTable &table, const AjaxContext &context)
{
    Settings *settings = context.settings;
    if (!settings)
        return;

    bindInteger(table, QStringLiteral("setFeMode"), Settings::ModeNone, Settings::ModeDrmFm,
                [settings](qint64 mode) { settings->setFrontEndMode(int(mode)); });
    bindInteger(table, QStringLiteral("setFeFrequency"), 0, UIntMax,
                [settings](qint64 frequency) { settings->setFrontEndFrequency(unsigned(frequency)); });
    table.setHandler(QStringLiteral("setFeInput"), [settings](const HttpRequest &request, HttpResponse &response) {
        const QString key = QStringLiteral("setFeInput");
        const QString input = request.query.value(key);
        unsigned frequency = 0;
        if (isCanonicalNumber(input, frequency)) {
            settings->setFrontEndFrequency(frequency);
        } else if (input.isEmpty() || QFileInfo(input).isFile()) {
            // Empty: no input file. A folder, a device or a missing path could
            // not be read as a recording.
            settings->setFrontEndFileName(input);
        } else {
            response.body = refuse(key, key, input, QStringLiteral("neither a frequency nor a regular file"));
            return true;
        }
        response.body = Success;
        return true;
    });
    for (const BoolOption &entry : BoolOptions) {
        const QString key = QString::fromLatin1(entry.key);
        const int option = entry.option;
        table.setHandler(key, [settings, key, option](const HttpRequest &request, HttpResponse &response) {
            if (const auto on = boolean(request, key, response.body)) {
                settings->setFrontEndOption(option, *on);
                response.body = Success;
            }
            return true;
        });
    }
    for (const IntOption &entry : IntOptions) {
        const QString key = QString::fromLatin1(entry.key);
        const int option = entry.option;
        bindInteger(table, key, entry.minimum, IntMax,
                    [settings, option](qint64 value) { settings->setFrontEndOption(option, int(value)); });
    }
}

} // namespace ZOZ
