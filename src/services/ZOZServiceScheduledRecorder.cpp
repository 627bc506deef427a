#include "ZOZServiceScheduledRecorder.h"

#include "ZOZService.h"
#include "ZOZServiceManager.h"
#include "audio/ZOZServiceAudio.h"

namespace ZOZ {

ServiceScheduledRecorder::ServiceScheduledRecorder(ServiceManager &manager)
    : m_manager(manager)
{
}

std::optional<ScheduledService> ServiceScheduledRecorder::findService(qint32 selectorId, qint32 ensembleId,
                                                                      qint32 serviceId)
{
    Service *service = m_manager.findService(selectorId, ensembleId, serviceId);
    if (!service)
        return std::nullopt;
    ScheduledService found;
    found.selectorId = service->serviceId();
    found.ensembleId = service->ensembleIdentifier();
    found.serviceId = service->serviceIdentifier();
    found.label = service->label();
    found.isAudio = service->isAudio();
    if (const auto *audio = dynamic_cast<const ServiceAudio *>(service))
        found.recordingType = audio->recordingType();
    service->release();
    return found;
}

bool ServiceScheduledRecorder::selectService(qint32 selectorId)
{
    return m_manager.withService(selectorId, [this](Service *service) { m_manager.selectService(service, false); });
}

bool ServiceScheduledRecorder::isRecording() const
{
    return m_manager.recordings().isRecording();
}

void ServiceScheduledRecorder::startRecording(const QString &label)
{
    m_manager.recordings().startScheduled(label);
}

void ServiceScheduledRecorder::stopRecording()
{
    m_manager.recordings().stop();
}

void ServiceScheduledRecorder::notify(const QString &html, const QString &type, int duration)
{
    m_manager.addNotification(html, type, duration, true, QString(), false, false);
}

} // namespace ZOZ
