#pragma once

#include <QString>

#include <optional>

namespace ZOZ {

// A service as the scheduler needs to know it.
struct ScheduledService
{
    qint32 selectorId = -1;
    qint32 ensembleId = -1;
    qint64 serviceId = -1;
    QString label;         // the plain service label
    bool isAudio = false;
    int recordingType = 0; // Settings::RecordingType of an audio service
};

// What the scheduler asks of the services: find and select the service of an
// entry, start and stop the recording of the heard service, tell the user.
// The services implement it; every call comes from the scheduler's thread,
// except notify, which request threads reach through schedule and unschedule.
class ScheduledRecorder
{
public:
    virtual ~ScheduledRecorder() = default;

    // By selector id when it still names the service, else by ensemble and
    // service identifier; -1 in an argument means not given.
    virtual std::optional<ScheduledService> findService(qint32 selectorId, qint32 ensembleId, qint32 serviceId) = 0;
    // Makes the service the heard one; false when it is gone.
    virtual bool selectService(qint32 selectorId) = 0;
    virtual bool isRecording() const = 0;
    // Starts recording the heard service; `label` joins the file name. A
    // recording in progress ends and its file is closed before the new file
    // opens.
    virtual void startRecording(const QString &label) = 0;
    virtual void stopRecording() = 0;
    // Posts a notification; `html` is ready to show (user texts escaped).
    virtual void notify(const QString &html, const QString &type, int duration) = 0;
};

} // namespace ZOZ
