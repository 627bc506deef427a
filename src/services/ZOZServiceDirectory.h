#pragma once

#include "ZOZEnsembleSource.h"
#include "ZOZServiceChanges.h"
#include "ZOZServiceFactory.h"

#include <QMap>
#include <QObject>
#include <QReadWriteLock>
#include <QVector>

#include <array>
#include <atomic>
#include <functional>
#include <memory>

namespace ZOZ {

class PageSourceRegistry;
class ServiceCheckWorker;
class ServiceSelection;
class Settings;

// The services on air: builds them from copies of the receiver's ensemble
// database on its own worker thread, keeps them in a tree per ensemble
// (service -> secondary components (siblings) -> data services (children)),
// connects them to the receiver and the web layer, and removes those that
// vanished.
//
// The tree is guarded by the service-list lock (lock()), a recursive
// read-write lock: the check holds it for writing, readers for reading.
class ServiceDirectory : public QObject
{
    Q_OBJECT

public:
    using Tree = QMap<int, QVector<Service *>>;

    ServiceDirectory(ServiceChanges &changes, Settings *settings, std::unique_ptr<EnsembleSource> source,
                     std::unique_ptr<ServiceFactory> factory, int checkIntervalMs);
    ~ServiceDirectory() override;

    // The selection learns of services that are renumbered, reconnected or removed.
    void setSelection(ServiceSelection *selection) { m_selection = selection; }
    // Where the services register their pages; null detaches.
    void setPageSourceRegistry(PageSourceRegistry *registry) { m_pages.store(registry); }

    EnsembleSource *source() const { return m_source.get(); }
    QReadWriteLock &lock() const { return m_lock; }

    // The worker: asks for a check, which runs within a second.
    void requestCheck();
    bool isCheckRequested() const;
    bool stopWorker(unsigned long waitMs);

    // The ensemble check; runs on the worker thread.
    void doCheckDabData();
    // Removes every service; true when there was one.
    bool cleanUpServiceList();

    // The tree; the caller holds the lock.
    const Tree &ensembleServices() const { return m_ensembleServices; }
    QVector<Service *> spiServicesOf(int ensemble) const { return m_spiServices.value(ensemble); }
    // Resolves a selector id; the caller holds the lock.
    Service *findService(qint32 selectorId) const;
    // -1 in an argument: not given. The result carries a reference for the caller.
    Service *findService(int selectorId, int ensembleIdentifier, int serviceIdentifier);
    // Runs `visit` with the tree under the read lock.
    void withServices(const std::function<void(const Tree &)> &visit) const;
    Tree spiServices() const;

    void resetCache();
    void saveCache();
    void retranslate();

    bool reconnectService(Service *service, const qint32 &streamId, const quint16 &packetId, const quint8 &length,
                          const bool &enhanced, const std::array<quint8, 2> &fec);

private slots:
    void onNewTextMessage();

private:
    // An announcement running on an ensemble; holds a reference on its service.
    struct ActiveAnnouncement
    {
        quint32 start = 0;
        Service *service = nullptr;
        quint8 clusterId = 0;
        quint16 flag = 0;
    };
    // Announcements name the service that carries them, which may come later
    // in the same check: they are resolved once every service exists. The
    // records point into the check's own snapshot.
    struct PendingAnnouncements
    {
        Service *service;
        const DabEnsemble *ensemble;
        const DabService *record;
    };

    // Building (ZOZServiceDirectoryBuild.cpp).
    Service *createAudioService(qint32 id, const DabEnsemble &ensemble, const DabService &record,
                                const DabServiceComponent &component);
    void addAudioService(Service *service);
    Service *addServiceDAB(qint32 id, const DabEnsemble &ensemble, const DabService &record,
                           const DabServiceComponent &component, const DabUserApplication &application);
    Service *createContainer(qint32 id, const DabEnsemble &ensemble, const DabService &record);
    bool updateService(Service *service, const DabEnsemble &ensemble, const DabService &record,
                       const DabServiceComponent &component, const DabUserApplication *application, bool &changed);
    bool updateAnnouncements(Service *service, const DabEnsemble &ensemble, const DabService &record);
    // The child of `parent` that carries `application` of `component`, marked present, or
    // a new one while there is room; null when there is none.
    Service *findOrAddComponentChild(Service *parent, qint32 parentId, const DabEnsemble &ensemble,
                                     const DabService &record, const DabServiceComponent &component,
                                     const DabUserApplication &application, bool &changed);
    void checkXPadApplications(Service *carrier, qint32 carrierId, const DabEnsemble &ensemble,
                               const DabService &record, const DabServiceComponent &component,
                               const QString *childLabel, bool &changed);
    void fillDescriptor(ServiceDescriptor &descriptor, qint32 id, const DabEnsemble &ensemble,
                        const DabService &record, const DabServiceComponent &component);
    static QString composeServiceLabel(const QString &serviceLabel, const QString &componentLabel);
    static QString frequencyText(const DabEnsemble &ensemble);

    // The tree (ZOZServiceDirectory.cpp).
    bool attachService(Service *service, qint32 id);
    bool attachChild(Service *parent, Service *service);
    bool connectService(Service *service, const bool &flag);
    void disconnectService(Service *service);
    void removeService(Service *service);
    void renumberServices(int ensemble, int from);
    void renumberTree(Service *service, qint32 id);
    void setServiceIdTracked(Service *service, qint32 id);
    void clearPresentFlags(quint32 mask);
    bool removeVanishedServices(quint32 mask);
    // The carrier of a data service in the audio's programme-associated data.
    Service *padCarrier(Service *service, bool &shapeError) const;

    ServiceChanges &m_changes;
    Settings *m_settings;
    std::unique_ptr<EnsembleSource> m_source;
    std::unique_ptr<ServiceFactory> m_factory;
    ServiceSelection *m_selection = nullptr;
    std::atomic<PageSourceRegistry *> m_pages { nullptr };

    mutable QReadWriteLock m_lock { QReadWriteLock::Recursive };
    Tree m_ensembleServices;
    Tree m_spiServices;
    QMap<int, QVector<ActiveAnnouncement>> m_activeAnnouncements;
    QVector<PendingAnnouncements> m_pendingAnnouncements;

    // Last: its thread runs checks on everything above and is stopped first.
    std::unique_ptr<ServiceCheckWorker> m_worker;
};

} // namespace ZOZ
