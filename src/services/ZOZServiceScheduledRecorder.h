#pragma once

#include "scheduler/ZOZScheduledRecorder.h"

namespace ZOZ {

class ServiceManager;

// The scheduler's way to the services: look-ups and selection through the
// service manager, recordings through its recording control, notifications
// into its list.
class ServiceScheduledRecorder : public ScheduledRecorder
{
public:
    explicit ServiceScheduledRecorder(ServiceManager &manager);

    std::optional<ScheduledService> findService(qint32 selectorId, qint32 ensembleId, qint32 serviceId) override;
    bool selectService(qint32 selectorId) override;
    bool isRecording() const override;
    void startRecording(const QString &label) override;
    void stopRecording() override;
    void notify(const QString &html, const QString &type, int duration) override;

private:
    ServiceManager &m_manager;
};

} // namespace ZOZ
