#pragma once

#include "ZOZPageHost.h"


namespace ZOZ {

class App;
class AudioSystem;
class Settings;

// The pages' way to the desktop and the application: URLs go to the
// desktop's handlers, the folder dialog opens over the window, the program
// closes through the application. Requests come from connection threads and
// are carried out on the main thread.
class DesktopHost : public PageHost
{
public:
    DesktopHost(App *app, Settings *settings);

    void openUrl(const QUrl &url) override;
    void chooseRecordingDirectory() override;
    void closeApplication() override;
    void switchLanguage(const QString &code) override;
    int currentTheme() const override;
    QString fullApplicationName() const override;
    QDateTime startTime() const override;

private:
    App *m_app;
    Settings *m_settings;
};

// The audio output as the pages change it.
class AudioSystemControl : public AudioControl
{
public:
    explicit AudioSystemControl(AudioSystem *audio);

    void setDevice(int deviceId) override;
    int device() const override;
    bool isMuted() const override;
    void setMuted(bool muted) override;
    float level() const override;
    void setLevel(float level) override;
    AudioLevelValues levels() const override;
    void setVolumeMax(float value) override;
    void setShift(float value) override;
    void setBalance(float value) override;
    void setLevelChannel(unsigned channel, float value) override;
    TestToneMode testMode() const override;
    void setTestMode(const TestToneMode &mode) override;
    QStringList deviceNames() const override;

private:
    AudioSystem *m_audio;
};

} // namespace ZOZ
