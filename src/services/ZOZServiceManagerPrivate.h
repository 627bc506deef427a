#pragma once

#include "ZOZEnsembleSource.h"
#include "web/ZOZHtmlTemplate.h"
#include "web/ZOZHttpSettingsAdapter.h"
#include "ZOZServiceFactory.h"
#include "ZOZServiceManagerLists.h"
#include "web/ZOZTemplateValue.h"
#include "web/ZOZTemplateVariable.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QMap>
#include <QMutex>
#include <QReadWriteLock>
#include <QRecursiveMutex>
#include <QThread>
#include <QTimer>
#include <QWaitCondition>

#include <array>
#include <atomic>
#include <memory>

namespace ZOZ {

class HttpServer;
class Service;
class ServiceManager;
class Settings;

// Selector ids: ensemble, service, component and data index, one byte each.
inline qint32 topLevelId(int ensemble, int index)
{
    return qint32(((quint32(ensemble & 0xFF) << 8) + quint32(index & 0xFF)) << 16);
}

inline qint32 withComponentIndex(qint32 id, int index)
{
    return qint32((quint32(id) & 0xFFFF0000u) | ((quint32(index) << 8) & 0xFF00u));
}

inline qint32 withDataIndex(qint32 id, int index)
{
    return qint32((quint32(id) & 0xFFFFFF00u) | quint32(index & 0xFF));
}

// The manager's shared state and its worker thread, which runs the ensemble
// check when the main thread asked for one.
class ServiceManagerPrivate : public QThread
{
    Q_OBJECT

public:
    enum TemplateIndex { IndexPage, SelectionPage, SettingsPage, CopyrightPage, InfoPage, ForwardPage, FrontEndPage, PageCount };

    struct PageTemplate
    {
        QMutex mutex;
        std::unique_ptr<HtmlTemplate> page;
    };

    // An announcement running on an ensemble; holds a reference on its service.
    struct ActiveAnnouncement
    {
        quint32 start = 0;
        Service *service = nullptr;
        quint8 clusterId = 0;
        quint16 flag = 0;
    };

    ServiceManagerPrivate(ServiceManager *manager, std::unique_ptr<EnsembleSource> source,
                          std::unique_ptr<ServiceFactory> factory);
    ~ServiceManagerPrivate() override;

    // Ends the loop at once (wakes the sleeping thread) and joins it.
    bool stopWorker(unsigned long waitMs);
    void requestCheck();

    static QString randomIdentifier();

    std::atomic<bool> running { true };
    ServiceManager *manager;
    mutable QMutex serverIdMutex;
    QString serverId;
    Settings *settings;
    HttpServer *httpServer = nullptr;
    std::unique_ptr<HttpSettingsAdapter> httpSettings;
    std::unique_ptr<EnsembleSource> source;
    std::unique_ptr<ServiceFactory> factory;

    QTimer checkDataTimer;
    QElapsedTimer lastCheckTime;
    std::atomic<bool> checkRequested { false };
    QTimer dirtiesTimer;
    QTimer cacheTimer;
    QElapsedTimer cacheSaveTime;
    int cachePathCounter = 0;
    std::atomic<bool> scanActive { false };
    QVector<TemplateVariable> infoVariables;

    std::array<PageTemplate, PageCount> templates;
    std::atomic<bool> variablesDirty { true };
    std::atomic<bool> servicesDirty { true };
    // Last rebuild of the index and selection pages, sent as Last-Modified;
    // each guarded by its page's mutex.
    QDateTime indexPageTime;
    QDateTime selectionPageTime;

    QRecursiveMutex announcementMutex;
    Service *announcementService = nullptr;
    qint32 announcementServiceId = -1;

    QRecursiveMutex selectedServiceMutex;
    Service *selectedService = nullptr;
    qint32 selectedServiceId = -1;
    qint32 selectedEnsembleIdentifier = 0;
    quint32 selectedServiceIdentifier = 0;

    QRecursiveMutex autoServiceMutex;
    Service *autoService = nullptr;
    qint32 autoEnsembleIdentifier = -1;
    qint64 autoServiceIdentifier = -1;
    qint32 autoComponentId = -1;

    mutable QReadWriteLock serviceListLock { QReadWriteLock::Recursive };
    QMap<int, QVector<Service *>> ensembleServices;
    QMap<int, QVector<Service *>> spiServices;
    QMap<int, QVector<ActiveAnnouncement>> activeAnnouncements;

    // Announcements name the service that carries them, which may come later
    // in the same check: they are resolved once every service exists. The
    // records point into the check's own snapshot.
    struct PendingAnnouncements
    {
        Service *service;
        const DabEnsemble *ensemble;
        const DabService *record;
    };
    QVector<PendingAnnouncements> pendingAnnouncements;

    std::atomic<bool> serviceListDirty { true };
    mutable QReadWriteLock channelsLock { QReadWriteLock::Recursive };
    std::atomic<bool> channelsDirty { true };
    TemplateValue channels;

    // The sorted list and the notifications (ZOZServiceManagerLists.h).
    ServiceListState lists;
    NotificationState notes;

protected:
    void run() override;

private:
    QMutex m_sleepMutex;
    QWaitCondition m_wake;
};

} // namespace ZOZ
