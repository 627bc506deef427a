#pragma once

#include "TestEnvironment.h"
#include "ZOZDabEnsemble.h"
#include "ZOZEnsembleSource.h"
#include "base/ZOZLog.h"
#include "ZOZService.h"
#include "ZOZServiceFactory.h"
#include "ZOZServiceManager.h"
#include "settings/ZOZSettings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMap>
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

        void setEnsembles(const QVector<ZOZ::DabEnsemble> &records)
        {
            QMutexLocker locker(&mutex);
            ensembles = records;
        }
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

// Services live by their references; the test holds one for each.
struct HeldService
{
    explicit HeldService(ZOZ::Service *service)
        : service(service)
    {
        service->retain();
    }
    ~HeldService() { service->release(); }
    ZOZ::Service *operator->() const { return service; }
    ZOZ::Service *service;
};

// A descriptor as the manager fills it for a service of kind `shortname`.
inline ZOZ::ServiceDescriptor serviceDescriptor(const QString &shortname, quint8 ecc = 0xE0, qint64 sid = 0xD210)
{
    ZOZ::ServiceDescriptor d;
    d.shortname = shortname;
    d.name = shortname;
    d.ecc = ecc;
    d.serviceIdentifier = sid;
    d.ensembleIdentifier = 4284;
    d.streamId = 3;
    d.applicationType = 2;
    return d;
}

// Makes plain service objects named by their kind, as the audio and data
// service classes would; `newService` lets a test make its own subclass.
class KindFactory : public ZOZ::ServiceFactory
{
public:
    ZOZ::Service *createAudioService(ZOZ::ServiceDescriptor &descriptor, bool, int) override
    {
        return make(false, QStringLiteral("audio"), descriptor);
    }
    ZOZ::Service *createDataService(int type, ZOZ::ServiceDescriptor &descriptor) override
    {
        static const QMap<int, QString> kinds {
            {ZOZ::ServiceFactory::SlideShow, QStringLiteral("sls")},
            {ZOZ::ServiceFactory::BroadcastWebsite, QStringLiteral("bws")},
            {ZOZ::ServiceFactory::ServiceProgrammeInformation, QStringLiteral("spi")},
            {ZOZ::ServiceFactory::Journaline, QStringLiteral("journaline")},
        };
        return kinds.contains(type) ? make(true, kinds.value(type), descriptor) : nullptr;
    }
    ZOZ::Service *createContainer(ZOZ::ServiceDescriptor &descriptor) override
    {
        return make(true, QStringLiteral("pmc"), descriptor);
    }

protected:
    virtual ZOZ::Service *newService(bool isData) { return new ZOZ::Service(isData); }

private:
    ZOZ::Service *make(bool isData, const QString &shortname, ZOZ::ServiceDescriptor &descriptor)
    {
        ZOZ::Service *service = newService(isData);
        descriptor.shortname = shortname;
        descriptor.name = shortname;
        service->init(descriptor);
        return service;
    }
};

// The services at the top of ensemble `index`, without references.
inline QVector<ZOZ::Service *> topLevelServices(const ZOZ::ServiceManager *manager, int index)
{
    QVector<ZOZ::Service *> services;
    manager->withServices([&](const QMap<int, QVector<ZOZ::Service *>> &tree) { services = tree.value(index); });
    return services;
}

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

// A radio with slides and a secondary component, and a packet-mode news
// service with Journaline.
inline ZOZ::DabEnsemble sampleEnsemble(int index, qint32 ensembleId)
{
    ZOZ::DabEnsemble e = ensemble(index, ensembleId, QStringLiteral("Test Mux"));

    ZOZ::DabServiceComponent radio = audio(0xD201, 1);
    radio.label = QStringLiteral("Radio One");
    radio.userApplications << xpad(ZOZ::ServiceFactory::SlideShow);
    ZOZ::DabService first = service(QStringLiteral("Radio One"), radio);
    ZOZ::DabServiceComponent second = audio(0xD201, 2, 1, false);
    second.label = QStringLiteral("Sport");
    first.components << second;
    e.services << first;

    ZOZ::DabServiceComponent news = packetData(0xE4D2F001, 3, 10, 0, 1, ZOZ::ServiceFactory::Journaline);
    e.services << service(QStringLiteral("News Data"), news);
    return e;
}

} // namespace Snapshot

// A service whose reception progress the test sets.
class ProgressService : public ZOZ::Service
{
public:
    explicit ProgressService(bool isData)
        : ZOZ::Service(isData)
    {
        m_state.complete = !isData;
    }
    ZOZ::ReceptionState *receptionProgress() override { return &m_state; }
    void setState(bool complete, int progress, quint32 start, quint32 end = 0)
    {
        m_state.complete = complete;
        m_state.progress = quint8(progress);
        m_state.startTime = start;
        m_state.estimatedEnd = end;
    }

private:
    ZOZ::ReceptionState m_state;
};

class ProgressFactory : public KindFactory
{
protected:
    ZOZ::Service *newService(bool isData) override { return new ProgressService(isData); }
};

// A radio and `spiCount` SPI services in packet mode; an SPI service that
// has not sent anything yet is incomplete.
inline ZOZ::DabEnsemble spiEnsemble(int index, qint32 ensembleId, int spiCount)
{
    using namespace Snapshot;
    ZOZ::DabEnsemble e = ensemble(index, ensembleId, QStringLiteral("Mux %1").arg(index));
    e.services << service(QStringLiteral("Radio %1").arg(index), audio(0xD200 + index, 1));
    for (int i = 0; i < spiCount; ++i) {
        e.services << service(QStringLiteral("Guide %1.%2").arg(index).arg(i),
                              packetData(0xE4D2F100 + index * 16 + i, 2, 10 + i, 0, qint16(1 + i),
                                         ZOZ::ServiceFactory::ServiceProgrammeInformation));
    }
    return e;
}
