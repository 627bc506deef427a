#pragma once

#include "ZOZAudioLevels.h"
#include "ZOZTestTone.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace ZOZ {

// What the pages ask of the program above them: the desktop, the window and
// the application. The application implements it; tests give a fake. Calls
// come from the server's connection threads: an implementation hands what
// must run on its own thread over to it.
class PageHost
{
public:
    virtual ~PageHost() = default;

    // Opens a URL with the desktop's handler. The pages have checked it:
    // a URL of a page is one of the allowed schemes, a local one is built here.
    virtual void openUrl(const QUrl &url) = 0;
    // Lets the user choose the recording folder (a dialog of the window).
    virtual void chooseRecordingDirectory() = 0;
    virtual void closeApplication() = 0;
    // `code` is an available language.
    virtual void switchLanguage(const QString &code) = 0;
    virtual int currentTheme() const = 0;
    virtual QString fullApplicationName() const = 0;
    virtual QDateTime startTime() const = 0;
};

// The audio output as the pages change it. Levels are gains (1.0 unchanged);
// the pages hand over finite values within the limits below.
class AudioControl
{
public:
    static constexpr float MinimumLevel = 0.0f;
    // Above unity gain the output may clip; twice is as far as the pages go.
    static constexpr float MaximumLevel = 2.0f;

    virtual ~AudioControl() = default;

    // -1 is the default device.
    virtual void setDevice(int deviceId) = 0;
    virtual int device() const = 0;
    virtual bool isMuted() const = 0;
    virtual void setMuted(bool muted) = 0;
    virtual float level() const = 0;
    virtual void setLevel(float level) = 0;
    virtual AudioLevelValues levels() const = 0;
    virtual void setVolumeMax(float value) = 0;
    virtual void setShift(float value) = 0;
    virtual void setBalance(float value) = 0;
    // Channels 0 to 5; others are ignored.
    virtual void setLevelChannel(unsigned channel, float value) = 0;
    virtual TestToneMode testMode() const = 0;
    virtual void setTestMode(const TestToneMode &mode) = 0;
    // The output devices, the default first; the first is device -1, the next device 0 and on.
    virtual QStringList deviceNames() const = 0;
};

} // namespace ZOZ
