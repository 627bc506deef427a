#pragma once

#include "TestEnvironment.h"
#include "ZOZDabEnsemble.h"
#include "ZOZEnsembleSource.h"
#include "ZOZLog.h"
#include "ZOZService.h"
#include "ZOZServiceManager.h"
#include "ZOZSettings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMutex>
#include <QObject>
#include <QStringList>

#include <memory>

// Runs the event loop until `condition` holds; false when `timeoutMs` passed first.
template <typename Condition>
bool waitUntil(Condition condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Stands in for the receiver: emits its two signals on request and records
// every call the manager makes, in order.
class FakeNotifier : public QObject
{
    Q_OBJECT
signals:
    void dataReady();
    void signalScanMode(bool scanning);
};

class FakeEnsembleSource : public ZOZ::EnsembleSource
{
public:
    struct Shared
    {
        QMutex mutex;
        QVector<ZOZ::DabEnsemble> ensembles;
        QStringList calls;
        int snapshots = 0;
        QVector<ZOZ::Service *> selection;
    };

    explicit FakeEnsembleSource(std::shared_ptr<Shared> shared)
        : m_shared(std::move(shared))
    {
    }

    void connectNotifier(std::function<void()> dataReady, std::function<void(bool)> scanMode,
                         QObject *context) override
    {
        QObject::connect(&m_notifier, &FakeNotifier::dataReady, context, std::move(dataReady));
        QObject::connect(&m_notifier, &FakeNotifier::signalScanMode, context, std::move(scanMode));
    }
    void setNoticeSinks(MessageSink, NotificationSink) override {}
    bool init(ZOZ::Settings *) override
    {
        record(QStringLiteral("init"));
        return initResult;
    }
    void start() override { record(QStringLiteral("start")); }
    QVector<ZOZ::DabEnsemble> getEnsembles() override
    {
        QMutexLocker locker(&m_shared->mutex);
        ++m_shared->snapshots;
        return m_shared->ensembles;
    }
    void attachStreamHandler(ZOZ::Service *service, bool) override
    {
        record(QStringLiteral("attach %1").arg(service->label()));
    }
    void detachStreamHandler(ZOZ::Service *service) override
    {
        record(QStringLiteral("detach %1").arg(service->label()));
    }
    void selectServiceComponents(const QVector<ZOZ::Service *> &services) override
    {
        QMutexLocker locker(&m_shared->mutex);
        m_shared->selection = services;
    }
    void shutdown() override { record(QStringLiteral("shutdown")); }

    bool initResult = true;
    FakeNotifier m_notifier;

private:
    void record(const QString &call)
    {
        QMutexLocker locker(&m_shared->mutex);
        m_shared->calls << call;
    }

    std::shared_ptr<Shared> m_shared;
};

// Builds ensemble records the way the receiver fills them.
namespace Snapshot {

inline ZOZ::DabServiceComponent audio(qint64 sid, int subChId, int scIdS = 0, bool dabPlus = true)
{
    ZOZ::DabServiceComponent component;
    component.valid = true;
    component.serviceId = sid;
    component.subChId = subChId;
    component.scId = subChId;
    component.scIdS = scIdS;
    component.audio = true;
    component.dabPlus = dabPlus;
    return component;
}

inline ZOZ::DabServiceComponent packetData(qint64 sid, int subChId, int scId, int scIdS, qint16 address,
                                           qint16 applicationType)
{
    ZOZ::DabServiceComponent component;
    component.valid = true;
    component.serviceId = sid;
    component.subChId = subChId;
    component.scId = scId;
    component.scIdS = scIdS;
    component.isPacketMode = true;
    component.packetAddress = address;
    ZOZ::DabUserApplication application;
    application.valid = true;
    application.type = applicationType;
    application.packetAddress = address;
    component.userApplications << application;
    return component;
}

inline ZOZ::DabUserApplication xpad(qint16 applicationType)
{
    ZOZ::DabUserApplication application;
    application.valid = true;
    application.type = applicationType;
    return application;
}

inline ZOZ::DabService service(const QString &label, const ZOZ::DabServiceComponent &primary, quint8 ecc = 0xE4)
{
    ZOZ::DabService record;
    record.valid = true;
    record.serviceId = primary.serviceId;
    record.ecc = ecc;
    record.countryId = 9;
    record.label = label;
    record.shortLabel = label.left(8);
    record.primary = primary;
    return record;
}

inline ZOZ::DabEnsemble ensemble(int index, qint32 ensembleId, const QString &label)
{
    ZOZ::DabEnsemble record(0);
    record.index = index;
    record.valid = true;
    record.ensembleId = ensembleId;
    record.label = label;
    record.frequency = 227360;
    return record;
}

} // namespace Snapshot
