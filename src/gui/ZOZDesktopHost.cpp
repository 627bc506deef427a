#include "ZOZDesktopHost.h"

#include "ZOZApp.h"
#include "ZOZAudioSystem.h"
#include "base/ZOZLog.h"
#include "settings/ZOZSettings.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMetaObject>

#include <algorithm>
#include <cmath>

namespace ZOZ {

namespace {

constexpr int CloseDelayMs = 100;
// No theme table in this build: the pages always show the plain one.
constexpr int PlainTheme = 0;

} // namespace

DesktopHost::DesktopHost(App *app, Settings *settings)
    : m_app(app)
    , m_settings(settings)
{
}

void DesktopHost::openUrl(const QUrl &url)
{
    QMetaObject::invokeMethod(m_app, [url] { QDesktopServices::openUrl(url); }, Qt::QueuedConnection);
}

void DesktopHost::chooseRecordingDirectory()
{
    Settings *settings = m_settings;
    QMetaObject::invokeMethod(m_app, [settings] {
        // Without a window there is no one to answer a dialog.
        if (!settings || !settings->hasGraphicalUI()) {
            ZOZ_LOG(LogSource::ServiceManager | LogFlag::Warning,
                    QStringLiteral("ServiceManager::onRequestRecordingDirectoryChange() -> warning: no window to ask in"));
            return;
        }
        const QString folder = QFileDialog::getExistingDirectory(
            nullptr, QCoreApplication::translate("Settings", "Change Recording Directory"),
            settings->audioRecordingDirectory(), QFileDialog::ShowDirsOnly);
        if (!folder.isEmpty())
            settings->setAudioRecordingDirectory(folder);
    }, Qt::QueuedConnection);
}

void DesktopHost::closeApplication()
{
    App::queueInvoke({m_app, QByteArray(SLOT(closeApp())), CloseDelayMs});
}

void DesktopHost::switchLanguage(const QString &code)
{
    App *app = m_app;
    Settings *settings = m_settings;
    QMetaObject::invokeMethod(app, [app, settings, code] {
        if (settings)
            settings->setInitialLanguage(code);
        emit app->retranslate();
    }, Qt::QueuedConnection);
}

int DesktopHost::currentTheme() const
{
    return PlainTheme;
}

QString DesktopHost::fullApplicationName() const
{
    return m_app->fullTitle();
}

QDateTime DesktopHost::startTime() const
{
    return m_app->startTime();
}

AudioSystemControl::AudioSystemControl(AudioSystem *audio)
    : m_audio(audio)
{
}

void AudioSystemControl::setDevice(int deviceId)
{
    m_audio->setDevice(deviceId);
}

int AudioSystemControl::device() const
{
    return m_audio->device();
}

bool AudioSystemControl::isMuted() const
{
    return m_audio->isMuted();
}

void AudioSystemControl::setMuted(bool muted)
{
    m_audio->setMuted(muted);
}

float AudioSystemControl::level() const
{
    return m_audio->levels().values().level;
}

void AudioSystemControl::setLevel(float level)
{
    m_audio->levels().setLevel(std::isfinite(level) ? std::clamp(level, MinimumLevel, MaximumLevel) : 1.0f);
}

AudioLevelValues AudioSystemControl::levels() const
{
    return m_audio->levels().values();
}

void AudioSystemControl::setVolumeMax(float value)
{
    m_audio->levels().setVolumeMax(value);
}

void AudioSystemControl::setShift(float value)
{
    m_audio->levels().setShift(value);
}

void AudioSystemControl::setBalance(float value)
{
    m_audio->levels().setBalance(value);
}

void AudioSystemControl::setLevelChannel(unsigned channel, float value)
{
    m_audio->levels().setLevelChannel(channel, value);
}

TestToneMode AudioSystemControl::testMode() const
{
    return m_audio->testMode();
}

void AudioSystemControl::setTestMode(const TestToneMode &mode)
{
    m_audio->setTestMode(mode);
}

QStringList AudioSystemControl::deviceNames() const
{
    return m_audio->deviceNames();
}

} // namespace ZOZ
