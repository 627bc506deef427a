// The audio output (device, volume, mute), the decoding preferences and the
// recorder's settings and folder.

#include "ZOZAjaxCommands.h"
#include "ZOZAjaxValues.h"

#include "ZOZServiceManager.h"
#include "base/ZOZLog.h"
#include "scheduler/ZOZScheduler.h"
#include "settings/ZOZSettings.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <limits>

namespace ZOZ {

namespace {

using namespace AjaxValues;

constexpr qint64 IntMax = std::numeric_limits<int>::max();
constexpr float VolumeStep = 0.1f;
// A step down stops here: the last step never silences (mute does that).
constexpr float LowestSteppedLevel = 0.1f;
constexpr float UnityLevel = 1.0f;
constexpr int PercentPerUnit = 100;
constexpr qint64 OutputChannels = 6;
constexpr uint8_t SurroundChannels = 6;
constexpr uint8_t StereoChannels = 2;
constexpr uint8_t StereoMask = 3;
constexpr uint8_t AllChannels = 0x3F;

// The range of a settings row, as the command checks it.
std::pair<qint64, qint64> rangeOf(Setting id)
{
    const SettingRow &row = settingRow(id);
    return {row.minimum == SettingRow::NoLimit ? -IntMax : row.minimum,
            row.maximum == SettingRow::NoLimit ? IntMax : row.maximum};
}

Setting recordingFormatSetting(int recordingType)
{
    switch (recordingType) {
    case Settings::DabClassic: return Setting::RecordingFormatDabClassic;
    case Settings::DabPlus: return Setting::RecordingFormatDabPlus;
    case Settings::Drm: return Setting::RecordingFormatDrm;
    case Settings::Fm: return Setting::RecordingFormatFm;
    default: return Setting::RecordingFormatAm;
    }
}

float clampedLevel(float level)
{
    if (!std::isfinite(level))
        return UnityLevel;
    return std::clamp(level, AudioControl::MinimumLevel, AudioControl::MaximumLevel);
}

// A command that stores one ranged integer of the settings table.
void bindRangedSetting(AjaxTable &table, Settings *settings, const char *command, Setting id)
{
    const auto [minimum, maximum] = rangeOf(id);
    bindInteger(table, QString::fromLatin1(command), minimum, maximum,
                [settings, id](qint64 value) { settings->setValue(id, int(value)); });
}

} // namespace

void addAudioCommands(AjaxTable &table, const AjaxContext &context)
{
    Settings *settings = context.settings;
    const PageLinks *links = context.links;
    if (!settings || !links)
        return;

    bindInteger(table, QStringLiteral("setDevice"), -1, IntMax, [links](qint64 device) {
        links->withAudio([device](AudioControl &audio) { audio.setDevice(int(device)); });
    });
    table.setHandler(QStringLiteral("setSpokenLabelsActive"), [settings](const HttpRequest &request, HttpResponse &response) {
        if (const auto on = boolean(request, QStringLiteral("setSpokenLabelsActive"), response.body)) {
            settings->setSpokenLabelsActive(*on);
            response.body = Success;
        }
        return true;
    });
    bindRangedSetting(table, settings, "setAudioDecoderMode", Setting::DecoderMode);
    if (ServiceManager *manager = context.manager) {
        // Records the playing service; a press while a recording runs keeps it.
        // A press while a scheduled recording runs ends that one, whatever it asks.
        Scheduler *scheduler = context.scheduler;
        table.setHandler(QStringLiteral("switchRecording"), [manager, scheduler](const HttpRequest &request, HttpResponse &response) {
            if (scheduler && scheduler->stopRecording()) {
                response.body = Success;
                return true;
            }
            if (const auto on = boolean(request, QStringLiteral("switchRecording"), response.body)) {
                if (*on)
                    manager->recordings().startManual();
                else
                    manager->recordings().stop();
                response.body = Success;
            }
            return true;
        });
    }
    bindRangedSetting(table, settings, "setAudioRecordingTimelimit", Setting::RecordingTimelimit);
    bindRangedSetting(table, settings, "setAudioBinauralPreset", Setting::BinauralPreset);
    table.setHandler(QStringLiteral("setAudioRecordingFormat"), [settings](const HttpRequest &request, HttpResponse &response) {
        const QString key = QStringLiteral("setAudioRecordingFormat");
        const auto recordingType = integerIn(request, key, QStringLiteral("class"), Settings::DabClassic, Settings::Am, response.body);
        if (!recordingType)
            return true;
        const auto [minimum, maximum] = rangeOf(recordingFormatSetting(int(*recordingType)));
        if (const auto format = integerIn(request, key, key, minimum, maximum, response.body)) {
            settings->setAudioRecordingFormat(int(*recordingType), int(*format));
            response.body = Success;
        }
        return true;
    });

    bindInteger(table, QStringLiteral("adjustVolume"), 0, 1, [links](qint64 direction) {
        links->withAudio([direction](AudioControl &audio) {
            const float level = clampedLevel(audio.level());
            audio.setLevel(direction == 1 ? std::min(level + VolumeStep, UnityLevel)
                                          : std::max(level - VolumeStep, LowestSteppedLevel));
        });
    });
    bindInteger(table, QStringLiteral("setAudioMuted"), 0, 1, [links](qint64 muted) {
        links->withAudio([muted](AudioControl &audio) {
            if (audio.isMuted() != (muted == 1))
                audio.setMuted(muted == 1);
        });
    });
    table.setHandler(QStringLiteral("setAudioLevel"), [links](const HttpRequest &request, HttpResponse &response) {
        const QString key = QStringLiteral("setAudioLevel");
        // Loud levels are taken down to the output's limit rather than refused.
        const auto percent = integerIn(request, key, key, qint64(AudioControl::MinimumLevel * PercentPerUnit),
                                       std::numeric_limits<qint64>::max(), response.body);
        if (!percent)
            return true;
        if (request.query.contains(QStringLiteral("channel"))) {
            if (const auto channel = integerIn(request, key, QStringLiteral("channel"), 0, OutputChannels - 1, response.body)) {
                const float level = float(std::min<qint64>(*percent, qint64(AudioControl::MaximumLevel * PercentPerUnit)))
                                    / PercentPerUnit;
                links->withAudio([channel, level](AudioControl &audio) { audio.setLevelChannel(unsigned(*channel), level); });
                response.body = Success;
            }
            return true;
        }
        const float level = clampedLevel(float(std::min<qint64>(*percent, qint64(AudioControl::MaximumLevel * PercentPerUnit)))
                                         / PercentPerUnit);
        links->withAudio([level](AudioControl &audio) { audio.setLevel(level); });
        response.body = Success;
        return true;
    });

    bindInteger(table, QStringLiteral("setAudioMaxVolume"), 0, qint64(AudioControl::MaximumLevel * PercentPerUnit),
                [links](qint64 percent) {
                    links->withAudio([percent](AudioControl &audio) { audio.setVolumeMax(float(percent) / PercentPerUnit); });
                });
    bindInteger(table, QStringLiteral("setAudioShift"), -PercentPerUnit, PercentPerUnit, [links](qint64 percent) {
        links->withAudio([percent](AudioControl &audio) { audio.setShift(float(percent) / PercentPerUnit); });
    });
    bindInteger(table, QStringLiteral("setAudioBalance"), -PercentPerUnit, PercentPerUnit, [links](qint64 percent) {
        links->withAudio([percent](AudioControl &audio) { audio.setBalance(float(percent) / PercentPerUnit); });
    });
    // The speaker test starts with every channel quiet until one is chosen.
    table.setHandler(QStringLiteral("switchAudioTestMode"), [links](const HttpRequest &, HttpResponse &response) {
        links->withAudio([](AudioControl &audio) {
            audio.setTestMode(audio.testMode().active ? TestToneMode {false, SurroundChannels, AllChannels}
                                                      : TestToneMode {true, SurroundChannels, 0});
        });
        response.body = Success;
        return true;
    });
    // 3 is the stereo test with both channels; any other mask a speaker set of the six.
    bindInteger(table, QStringLiteral("setAudioTestChannel"), 0, IntMax, [links](qint64 mask) {
        links->withAudio([mask](AudioControl &audio) {
            audio.setTestMode(mask == StereoMask ? TestToneMode {true, StereoChannels, StereoMask}
                                                 : TestToneMode {true, SurroundChannels, uint8_t(mask & 0xFF)});
        });
    });

    // Both need the window, which is on this machine: the table lets only
    // local requests through.
    table.setHandler(QStringLiteral("requestRecordingDirectoryChange"), [links](const HttpRequest &, HttpResponse &response) {
        response.body = Success;
        links->withHost([](PageHost &host) { host.chooseRecordingDirectory(); });
        return true;
    });
    table.setHandler(QStringLiteral("requestRecordingDirectoryOpen"), [links, settings](const HttpRequest &, HttpResponse &response) {
        response.body = Success;
        const QString folder = settings->audioRecordingDirectory();
        if (!folder.isEmpty() && QFileInfo(folder).isDir())
            links->withHost([&folder](PageHost &host) { host.openUrl(QUrl::fromLocalFile(folder)); });
        return true;
    });
}

} // namespace ZOZ
