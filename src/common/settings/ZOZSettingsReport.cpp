#include "settings/ZOZSettingsReport.h"

#include "base/ZOZLog.h"
#include "base/ZOZVersion.h"

#include <cstdio>

namespace ZOZ {

namespace {

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QString dumpLine(const char *name, const QString &value)
{
    return QStringLiteral(" - %1: %2\r\n").arg(QLatin1String(name), -20).arg(value);
}

QString flagLine(const Settings &settings, RuntimeFlag flag)
{
    return dumpLine(runtimeFlagRow(flag).dumpName, boolText(settings.flag(flag)));
}

QString flagLines(const Settings &settings, std::initializer_list<RuntimeFlag> flags)
{
    QString text;
    for (const RuntimeFlag flag : flags)
        text += flagLine(settings, flag);
    return text;
}

void printLine(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

SettingsReport::WindowPresenter &presenterStorage()
{
    static SettingsReport::WindowPresenter presenter;
    return presenter;
}

} // namespace

void SettingsReport::setWindowPresenter(WindowPresenter presenter)
{
    presenterStorage() = std::move(presenter);
}

void SettingsReport::show(Window window, const QString &text, bool graphicalUI)
{
    const WindowPresenter &presenter = presenterStorage();
    if (!graphicalUI || !presenter || !presenter(window, text))
        printLine(text);
}

QString SettingsReport::dump(const Settings &s)
{
    using F = RuntimeFlag;
    QString text;
    text += dumpLine("initialLanguage", s.initialLanguage().isEmpty() ? QStringLiteral("none") : s.initialLanguage());
    text += dumpLine("homePath", s.homePath());
    text += dumpLine("archivesPath", s.archivesPath());
    text += dumpLine("cachePath", s.cachePath());
    text += dumpLine("styleRoot", s.styleRoot());
    text += dumpLine("theme", s.theme().isEmpty() ? QStringLiteral("default") : s.theme());
    text += dumpLine("configFileName", s.configFileName());
    QString options;
    for (const Settings::ConfigOption &option : s.configOptions()) {
        if (option.value != 0)
            options += option.tag.toLower() + QLatin1Char(' ');
    }
    text += dumpLine("config options", options);
    text += flagLines(s, {F::HasGraphicalUI, F::HasRemoteService, F::HasAudioService, F::HasAudioSystem,
                          F::IsFullscreen, F::IsBorderless});
    const QRect geometry = s.fixedGeometry();
    text += dumpLine("fixedGeometry", geometry.isValid() ? QStringLiteral("true (pos:%1,%2) (size:%3,%4)")
                                                               .arg(geometry.x())
                                                               .arg(geometry.y())
                                                               .arg(geometry.width())
                                                               .arg(geometry.height())
                                                         : QStringLiteral("false"));
    text += flagLine(s, F::LoopFiles);
    text += dumpLine("clearServicesOnLoss",
                     s.clearServicesOnLoss() ? QStringLiteral("true, timeout: %1").arg(s.clearServicesTimeout())
                                             : QStringLiteral("false"));
    text += flagLines(s, {F::FeVerbose, F::ForceFrontEndMode, F::FeUdpCommands});
    text += dumpLine("feMode", s.frontEndModeName());
    text += dumpLine("feAGC", boolText(s.frontEndOption(Settings::OptionAgc) != 0));
    text += dumpLine("feGain", QString::number(s.frontEndOption(Settings::OptionGain)));
    text += dumpLine("feMixer", boolText(s.frontEndOption(Settings::OptionMixer) != 0));
    text += dumpLine("feLna", boolText(s.frontEndOption(Settings::OptionLna) != 0));
    text += dumpLine("feSwapIq", boolText(s.frontEndOption(Settings::OptionSwapIq) != 0));
    text += dumpLine("feFrequency", QString::number(s.frontEndFrequency()));
    text += dumpLine("feFileName", s.frontEndFileName());
    const QString serviceId = QString::number(s.autoServiceId(), 16);
    text += QStringLiteral(" - %1: 0x%2:0x%3%4\r\n")
                .arg(QLatin1String("autoServiceId"), -20)
                .arg(serviceId, serviceId, s.isAutoServiceFixed() ? QStringLiteral(" (fixed)") : QString());
    text += flagLines(s, {F::AudioSingleDecode, F::NoSurround, F::HasRawAudioOutput, F::HasWavAudioOutput});
    text += dumpLine("http-port", s.httpPort() == -1 ? QStringLiteral("random") : QString::number(s.httpPort()));
    text += flagLines(s, {F::NoFileMinimize, F::NoTemplateCache, F::ShowTemplateInstructions});
    text += dumpLine("http-refresh-time", QString::number(s.httpRefreshTime()));
    text += dumpLine("http-root-url", s.httpRootUrl());
    return text;
}

QStringList SettingsReport::featureList(bool graphicalUI)
{
    QStringList features{QStringLiteral("DAB (REVEV)"), QStringLiteral("Audio (Binaural)")};
    if (graphicalUI)
        features.append(QStringLiteral("Gui"));
    features << QStringLiteral("Recording") << QStringLiteral("Data Decoding") << QStringLiteral("SPI");
    return features;
}

QString SettingsReport::featuresText()
{
    return featureList(true).join(QStringLiteral(", "));
}

QString SettingsReport::versionText()
{
    QString text = QStringLiteral("DAB Radarovaz - digital radio player for DAB and DAB+\n");
    text += QStringLiteral(" Version: %1 Date: %2 Rev: %3")
                .arg(QLatin1String(versionStringLong()), buildDateTime(), QLatin1String(buildNumber()));
    text += QStringLiteral("\n(c) The ZOZ developers");
    text += QStringLiteral("\n\nArchive: ") + QLatin1String(buildTag());
    text += QStringLiteral("\n\nFeatures: ") + featuresText();
    text += QStringLiteral("\n\nLinked Libs:\n");
    for (const VersionPair &library : versionReport())
        text += QStringLiteral("  %1 : %2\n").arg(library.name, -30).arg(library.version);
    text += QLatin1Char('\n');
    return text;
}

QString SettingsReport::appendWrapped(QString &remaining, int width, bool skipBlanksAfter)
{
    QString chunk;
    if (remaining.size() <= width) {
        chunk = remaining;
        remaining.clear();
        return chunk;
    }
    const auto isBlank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n'); };
    qsizetype point = width;
    while (point < remaining.size() && !isBlank(remaining.at(point)))
        ++point;
    qsizetype cut = width;
    qsizetype skip = 0;
    if (point == width) {
        cut = width;
        skip = point < remaining.size() ? 1 : 0;
    } else {
        qsizetype blank = point - 1;
        while (blank > 0 && !isBlank(remaining.at(blank)))
            --blank;
        if (blank > 0) {
            cut = blank;
            skip = 1;
        }
    }
    chunk = remaining.left(cut);
    remaining.remove(0, cut + skip);
    if (skipBlanksAfter) {
        qsizetype blanks = 0;
        while (blanks < remaining.size()
               && (remaining.at(blanks) == QLatin1Char(' ') || remaining.at(blanks) == QLatin1Char('\t')))
            ++blanks;
        remaining.remove(0, blanks);
    }
    return chunk;
}

QString SettingsReport::helpText(const QList<Settings::HelpEntry> &entries)
{
    QString text = versionText();
    text += QStringLiteral("\nAvailable options: (SYNTAX: OPTION PARAM1 PARAM2 .. PARAMN)\n\n");
    constexpr int MaxNamesWidth = 33;
    constexpr int LineWidth = 78;
    int namesWidth = 0;
    for (const Settings::HelpEntry &entry : entries) {
        int width = 0;
        for (const QString &variant : entry.variants)
            width += int(variant.size()) + 1;
        namesWidth = std::max(namesWidth, width);
    }
    namesWidth = std::min(namesWidth, MaxNamesWidth);
    const int helpWidth = LineWidth - namesWidth;
    for (const Settings::HelpEntry &entry : entries) {
        QString names;
        for (qsizetype i = 0; i < entry.variants.size(); ++i) {
            names += QLatin1Char(' ') + entry.variants.at(i);
            if (i + 1 < entry.variants.size())
                names += QLatin1String(" |");
        }
        QString help = entry.text;
        while (!names.isEmpty() || !help.isEmpty()) {
            text += appendWrapped(names, namesWidth, false).leftJustified(namesWidth, QLatin1Char(' '));
            text += QLatin1String("  ");
            text += appendWrapped(help, helpWidth, true);
            text += QLatin1Char('\n');
        }
        text += QLatin1Char('\n');
    }
    // Without a DAB stick the receiver library reads what this names.
    text += QStringLiteral("RTKDAB_SOURCE=DIR|FILE.eti@CHANNEL|'|COMMAND': where the ETI-NI input comes from\n");
    text += QLatin1Char('\n');
    if (const Log *log = Log::instance())
        text += log->helpText();
    return text;
}

} // namespace ZOZ
