// The two pages rebuilt from the service manager's state: the index page
// when its variables changed, the selection page when the services did.
#include "ZOZPages.h"

#include "http/ZOZHttpAccess.h"
#include "ZOZServiceManager.h"
#include "ZOZServiceValues.h"
#include "settings/ZOZSettings.h"
#include "base/ZOZVersion.h"


namespace ZOZ {

namespace {

// Values this build has no source for: the server port is never fixed, the
// timeline is off, and the receiver reads recorded ensembles, so its input
// rate is the stick's nominal one.
constexpr int FixedServerPort = -1;
constexpr bool TimelineEnabled = false;
constexpr unsigned ReceiverSampleRate = 192000;

} // namespace

void Pages::refreshIndexPage()
{
    const auto wanted = [this] { return m_manager->changes().variablesDirty.load() || (m_settings && m_settings->noTemplateCache()); };
    if (!wanted())
        return;
    PageTemplate &index = m_templates[IndexPage];
    QMutexLocker locker(&index.mutex);
    if (!wanted())
        return;
    m_manager->changes().variablesDirty.store(false);

    const QString strings = uiStrings();
    TemplateVariable::Rows domains;
    if (m_settings) {
        for (const QString &domain : m_settings->allowedDomains())
            domains << TemplateVariable::Row {TemplateVariable(QStringLiteral("domain"), domain)};
    }

    HtmlTemplate &page = *index.page;
    page.reset();
    page.setVariable(QStringLiteral("IS_ZOZ"), true);
    page.setVariable(QStringLiteral("ZOZ_STRINGS"), strings);
    page.setVariable(QStringLiteral("ZOZ_VERSION"), versionString());
    page.setVariable(QStringLiteral("ZOZ_SERVER_ID"), m_manager->getServerId());
    page.setVariable(QStringLiteral("ZOZ_SERVER_PORT"), FixedServerPort);
    page.setVariable(QStringLiteral("HTTP_PORT"), m_settings ? m_settings->httpPort() : -1);
    page.setVariable(QStringLiteral("SERVER-REMOTE"), false);
    page.setVariable(QStringLiteral("REMOTE_CONTROL"), true);
    page.setVariable(QStringLiteral("jouExtEnabled"), Settings::jouGetExtEnabled());
    page.expandLoops(QStringLiteral("PM_DOMAINS"), domains);
    page.expandLoops(QStringLiteral("AUDIOFORMATS"), TemplateVariable::Rows());
    page.setVariable(QStringLiteral("AUDIO_STREAM"), false);
    // Without an audio output the seven audio values stay unset. Balance,
    // shift and the channel levels are not adjustable here: they stay neutral.
    m_links.withAudio([&page](const AudioControl &audio) {
        page.setVariable(QStringLiteral("AUDIO_MAX_VOL"), 1.0f);
        page.setVariable(QStringLiteral("AUDIO_MUTED"), audio.isMuted());
        page.setVariable(QStringLiteral("AUDIO_SPEAKER"), false);
        page.setVariable(QStringLiteral("AUDIO_SHIFT"), 0.0f);
        page.setVariable(QStringLiteral("AUDIO_BALANCE"), 0.0f);
        page.setVariable(QStringLiteral("AUDIO_LEVEL"), audio.level());
        page.setVariable(QStringLiteral("AUDIO_LEVELCHANNELS"), QStringLiteral("[100,100,100,100,100,100]"));
    });
    page.setVariable(QStringLiteral("FE_MODES"), QString());
    const int mode = m_settings ? m_settings->frontEndMode() : 0;
    const QString inputFile = m_settings ? m_settings->frontEndFileName() : QString();
    page.setVariable(QStringLiteral("ENABLE_SCAN_MODE"), mode != 0 && inputFile.isEmpty());
    page.setVariable(QStringLiteral("TUNER_MODE"), mode);
    page.setVariable(QStringLiteral("TUNER_SAMPLERATE"), ReceiverSampleRate);
    page.setVariable(QStringLiteral("TUNER_FREQUENCY"), m_settings ? m_settings->frontEndFrequency() : 0u);
    page.setVariable(QStringLiteral("TUNER_FILENAME"), inputFile);
    page.setVariable(QStringLiteral("ENABLE_SPI"), true);
    page.setVariable(QStringLiteral("ENABLE_SCHEDULER"), true);
    page.setVariable(QStringLiteral("audioRecording"), m_settings && m_settings->isAudioRecording());
    page.setVariable(QStringLiteral("spokenLabels"), m_settings && m_settings->spokenLabelsActive());
    page.setVariable(QStringLiteral("audioDecodeAll"), !(m_settings && m_settings->audioSingleDecode()));
    page.setVariable(QStringLiteral("ZOZ_ACCESS_TOKEN"), QString::fromLatin1(accessToken()));
    m_indexPageTime = Pages::nowInSeconds();
}

void Pages::checkDirties()
{
    if (!m_manager->changes().servicesDirty.load())
        return;
    PageTemplate &selection = m_templates[SelectionPage];
    QMutexLocker locker(&selection.mutex);
    if (!m_manager->changes().servicesDirty.exchange(false) || !selection.page)
        return;

    HtmlTemplate &page = *selection.page;
    page.reset();
    page.setVariable(QStringLiteral("ENABLE_RECORDING"), true);
    page.setVariable(QStringLiteral("ENABLE_FAVOURITES"), true);
    page.setVariable(QStringLiteral("HIDE_LANDSCAPE_FOOTER"), true);
    page.setVariable(QStringLiteral("SERVICE:HTTP_REFRESH_CYCLE"), m_manager->refreshCycle());
    page.setVariable(QStringLiteral("DADIDOZOR_TIMELINE"), TimelineEnabled);
    page.setVariable(QStringLiteral("ZOZ_ACCESS_TOKEN"), QString::fromLatin1(accessToken()));
    m_manager->updateServiceList();
    page.expandLoops(QStringLiteral("SERVICES"), selectionRows(*m_manager));
    // Last-Modified has whole seconds: a second build within the same second
    // must still date later, or a browser revalidating the first one is told
    // "not modified" and keeps showing the old list.
    const QDateTime now = Pages::nowInSeconds();
    m_selectionPageTime = m_selectionPageTime.isValid() && now <= m_selectionPageTime ? m_selectionPageTime.addSecs(1) : now;
    m_manager->changes().bumpRefreshCycle();
}

} // namespace ZOZ
