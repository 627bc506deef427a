// The front-end, copyright and info pages: texts and facts, filled afresh for
// every request.
#include "ZOZPages.h"

#include "base/ZOZLog.h"
#include "base/ZOZVersion.h"
#include "settings/ZOZSettings.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSysInfo>

namespace ZOZ {

namespace {

const char *const TimeFormat = "yyyy-MM-dd hh:mm:ss";

QString translated(const char *context, const char *text)
{
    return QCoreApplication::translate(context, text);
}

QString nonBreaking(QString text)
{
    return text.replace(QLatin1Char(' '), QStringLiteral("&nbsp;"));
}

TemplateVariable::Row infoRow(const QString &key, const QString &value)
{
    return {TemplateVariable(QStringLiteral("key"), key), TemplateVariable(QStringLiteral("value"), value)};
}

void setInfoBlock(HtmlTemplate &page, const QString &name, const QString &title, const TemplateVariable::Rows &rows)
{
    page.setVariable(name + QStringLiteral(":TITLE"), title);
    page.expandLoops(name + QStringLiteral(":CONTENT"), rows);
}

struct FrontEndText
{
    const char *variable;
    const char *text;
};
const FrontEndText FrontEndTexts[] = {
    {"STR_ADVANCED", "Advanced"},
    {"STR_ANTENNA_SELECT", "Antenna Select"},
    {"STR_AUTO", "Auto"},
    {"STR_DAC_AUTO", "DAC Auto"},
    {"STR_DAC", "DAC Value"},
    {"STR_FILTER", "Filter"},
    {"STR_GAIN", "Gain"},
    {"STR_LNA", "LNA"},
    {"STR_Mixer_GAIN", "Mixer Gain"},
    {"STR_NO_CANVAS", "no canvas support!"},
    {"STR_PRESETS", "Presets"},
    {"STR_SHOW_SPECTRUM", "Show Spectrum"},
    {"STR_SPECTRUM", "Spectrum"},
    {"STR_SWAP_IQ", "Swap I & Q"},
    {"STR_TUNE", "Tune"},
    {"STR_SIGNAL_LEVEL", "signal Level"},
    {"STR_SIGNAL_LEVEL_TT", "measured and averaged signal level of the IQ baseband signal"},
    {"STR_SNR", "SNR"},
    {"STR_SNR_TT", "estimation of signal to noise ratio"},
    {"STR_MER", "MER"},
    {"STR_MER_TT", "estimation of modulation error ratio"},
    {"STR_BER", "BER"},
    {"STR_BER_TT", "bit error rate"},
    {"STR_FREQ_OFFSET", "frequency offset"},
    {"STR_FREQ_OFFSET_TT", "measured and averaged frequency offset"},
    {"STR_SR_OFFSET", "sample rate offset"},
    {"STR_SR_OFFSET_TT", "measured and averaged sample rate offset"},
    {"STR_RDS_CRC_ERR", "rdsCrcErrAvrg"},
    {"STR_RDS_CRC_ERR_TT", "percent of RDS blocks with failed CRC check within the last 10 seconds (114 groups)"},
    {"STR_SYNC_STATUS", "syncStatus"},
    {"STR_SYNC_STATUS_TT", "synchronization status"},
};

} // namespace

void Pages::fillFrontEndPage(HtmlTemplate &page, const HttpRequest &request)
{
    page.setVariable(QStringLiteral("STR_TITLE"), translated("General", "Frontend Configuration"));
    page.setVariable(QStringLiteral("STR_CUSTOM_TITLE"), translated("General", "Frontend Configuration"));
    page.setVariable(QStringLiteral("STR_ENABLE_AGC"), translated("FrontEnd", "Enable AGC"));
    // Only a page's own word: anything else opens the tuning category.
    page.setTextVariable(QStringLiteral("START_CATEGORY"), request.query.value(QStringLiteral("frontend")));
    for (const FrontEndText &text : FrontEndTexts)
        page.setVariable(QString::fromLatin1(text.variable), translated("FrontEnd", text.text));
}

QString Pages::applicationName() const
{
    QString name = QCoreApplication::applicationName();
    m_links.withHost([&name](PageHost &host) { name = host.fullApplicationName(); });
    return name;
}

void Pages::fillCopyrightPage(HtmlTemplate &page)
{
    // The components whose code runs in this program, with their notices:
    // its own, and the libraries it links.
    page.setVariable(QStringLiteral("COPYRIGHT_ZOZ"), true);
    page.setVariable(QStringLiteral("COPYRIGHT_THIRD_PARTY"), true);
    page.setVariable(QStringLiteral("COPYRIGHT_ZLIB"), true);
    page.setVariable(QStringLiteral("COPYRIGHT_QT"), true);
    page.setVariable(QStringLiteral("COPYRIGHT_ALSA"), true);
    page.setTextVariable(QStringLiteral("APP_NAME"), applicationName() + QStringLiteral(" v") + QLatin1String(versionString()));
    TemplateVariable::Rows modules;
    for (const VersionPair &entry : versionReport())
        modules << infoRow(entry.name.toHtmlEscaped(), entry.version.toHtmlEscaped());
    setInfoBlock(page, QStringLiteral("APPINFO"), translated("General", "Modules"), modules);
    page.setVariable(QStringLiteral("DADIDOZOR_TIMELINE"), false);
}

void Pages::fillInfoPage(HtmlTemplate &page)
{
    const Settings *settings = m_settings;
    const QString platform = QSysInfo::kernelType() + QLatin1Char('-') + QSysInfo::buildCpuArchitecture();
    TemplateVariable::Rows application {
        infoRow(QStringLiteral("Version"), QLatin1String(versionString())),
        infoRow(QStringLiteral("Revision"), QLatin1String(buildNumber())),
        infoRow(nonBreaking(QStringLiteral("Build Platform")), platform.toHtmlEscaped()),
        infoRow(nonBreaking(QStringLiteral("Build Date")), buildDateTime()),
        infoRow(QStringLiteral("Archive"), QString::fromLatin1(buildTag()).toHtmlEscaped()),
    };
    if (settings) {
        application << infoRow(translated("General", "Features"),
                               settings->featuresText().toHtmlEscaped().replace(QLatin1Char(','), QStringLiteral(", ")))
                    << infoRow(nonBreaking(translated("General", "active Features")),
                               settings->featureList().join(QStringLiteral("\n")).toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br/>")));
    }
    setInfoBlock(page, QStringLiteral("APPINFO"), applicationName().toHtmlEscaped(), application);

    QDateTime started;
    m_links.withHost([&started](PageHost &host) { started = host.startTime(); });
    TemplateVariable::Rows runtime {
        infoRow(nonBreaking(translated("General", "Start Date & Time")), started.isValid() ? started.toString(QLatin1String(TimeFormat)) : QString()),
        infoRow(nonBreaking(translated("General", "Current Date & Time")), QDateTime::currentDateTime().toString(QLatin1String(TimeFormat))),
    };
    if (const Log *log = Log::instance(); log && log->isWritingFile())
        runtime << infoRow(translated("General", "Log Path"), QFileInfo(log->currentFileName()).absolutePath().toHtmlEscaped());
    setInfoBlock(page, QStringLiteral("RUNTIMEINFO"), translated("General", "Runtime Information"), runtime);
}

} // namespace ZOZ
