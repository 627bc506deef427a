#pragma once

#include "ZOZEnsembleSource.h"
#include "ZOZServiceChanges.h"
#include "ZOZServiceFactory.h"
#include "ZOZServiceList.h"
#include "ZOZServiceNotifications.h"
#include "ZOZServiceSelection.h"
#include "ZOZServiceUriTable.h"
#include "ZOZSpiScan.h"
#include "audio/ZOZRecordingControl.h"
#include "settings/ZOZSettings.h"

#include <QElapsedTimer>
#include <QMap>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

#include <functional>
#include <memory>

namespace ZOZ {

class PageSourceRegistry;
class Service;
class SpiManager;
class ServiceDirectory;

// Turns the receiver's ensemble database into service objects and keeps the
// one that is heard. One per process. A façade over its parts:
//   ServiceDirectory      the tree per ensemble, built on its worker thread
//   ServiceSelection      the selected, announced and awaited services
//   ServiceList           the sorted list the pages show
//   ServiceNotifications  notifications and the pending question
//   ServiceChanges        the flags that tell the pages what is stale
// The pages themselves live in the web layer, which reads these parts
// through the manager.
//
// Lock order, outermost first: the list's rebuild mutex, its sorted-list
// lock, the directory's service-list lock, the selected mutex, the
// announcement mutex, the auto-service mutex, the notifications' mutex.
class ServiceManager : public QObject, public Settings::Listener
{
    Q_OBJECT

public:
    // How long the destructor waits for the worker thread to finish a check.
    static constexpr unsigned long WorkerStopWaitMs = 10000;
    static constexpr int CheckDebounceMs = 250;
    static constexpr int CheckIntervalMs = 1000;
    static constexpr int CacheCheckIntervalMs = 500;
    static constexpr qint64 CacheSaveIntervalMs = 60000;
    static constexpr int AutoServiceDelayMs = 500;

    // Creates the singleton. Without arguments it works on the receiver
    // singleton and makes plain service objects; tests hand in their own.
    static ServiceManager *instance(std::unique_ptr<EnsembleSource> source = {},
                                    std::unique_ptr<ServiceFactory> factory = {});
    static ServiceManager *existingInstance();
    static void destroyInstance();

    // Starts the receiver and restores the last selection.
    bool init();
    // Where the services register their pages; null detaches (before the web layer goes).
    void setPageSourceRegistry(PageSourceRegistry *registry);

    void setDirty(const bool &servicesToo);
    QString getServerId() const;
    // Bubble messages go to the window's tray ("showTrayMessage(QString,int,int)").
    void connectBubbleMessages(QObject *window);
    // Announces the selected service as the tray's tool tip again.
    void updateTrayToolTip();
    ServiceChanges &changes() { return m_changes; }
    // The cycle the pages poll; moves when the service list was rebuilt.
    int refreshCycle() const { return m_changes.refreshCycle(); }

    // The ensemble check; runs on the worker thread, public for tests.
    void doCheckDabData();
    bool cleanUpServiceList(const bool &dabOnly);

    // Selection: the service that is heard. Returns whether the auto service
    // is the one selected when nothing changed. The caller holds the
    // service-list lock (the check holds it for writing), which always comes
    // before the selection's own mutex.
    bool selectService(Service *service, const bool &ignoreSpokenLabel);
    void activateServiceComponents(Service *service);
    Service *selectedService() const;
    qint32 selectedServiceId() const;
    ServiceSelection::Selected selected() const;
    // The audio output that plays the heard audio service; null: none.
    void setAudioOutput(AudioOutputPort *output) { m_selection.setAudioOutput(output); }
    Service *autoService() const;
    ServiceSelection::AutoService autoServiceState() const;
    void checkAutoService(Service *service);
    // The user ignores the service's current announcements; a running
    // announcement switch of the selected service ends. Takes the
    // service-list lock itself.
    void acknowledgeAnnouncements(Service *service);
    bool selectAnnouncement(Service *service);
    void selectNextService();
    void selectPreviousService();
    void playSpokenLabel(Service *service, const bool &overrideMuted);
    // The spoken-label recording of a service in `folder`, empty when there is none.
    static QString spokenLabelFile(const QString &folder, const quint8 &ecc, const qint64 &serviceIdentifier,
                                   const quint16 &shortId);
    qint32 announcementServiceId() const;

    // Resolves a selector id; the caller holds the service-list lock.
    Service *findService(qint32 selectorId) const;
    // -1 in an argument: not given. The result carries a reference for the caller.
    Service *findService(const int &selectorId, const int &ensembleIdentifier, const int &serviceIdentifier);
    // A service URI becomes the request path of what it names (see ServiceUriTable).
    void findServiceByUri(QByteArray &uri);
    static unsigned long parseUriNumber(QString text);
    // What resolving service URIs needs, copied under the read lock: for
    // callers that resolve while holding a lock of their own.
    ServiceUriTable uriTable() const;
    // Runs `visit` with the service tree under the read lock.
    void withServices(const std::function<void(const QMap<int, QVector<Service *>> &)> &visit) const;
    // Runs `action` on the service of `selectorId` under the service-list
    // write lock; false when there is none.
    bool withService(qint32 selectorId, const std::function<void(Service *)> &action);
    QMap<int, QVector<Service *>> spiServices() const;

    // The SPI scan: at most one runs. Start returns whether it made one,
    // stop whether there was one to end.
    bool startSpiScan();
    bool stopSpiScan();
    SpiScanProgress spiScanProgress() const;
    // A scan whose thread is not started: tests drive its passes on their clock.
    std::unique_ptr<SpiScan> createSpiScan(SpiScan::WallClock clock = &SpiScan::systemNow);
    // Runs `use` with the programme guide, which cannot go meanwhile; false
    // when the manager holds none.
    bool withSpiManager(const std::function<void(SpiManager &)> &use);

    bool isServiceListDirty() const;
    bool isChannelsDirty() const;
    bool isServicesDirty() const;
    bool isVariablesDirty() const;
    bool isCheckRequested() const;
    void clearDirtyFlags();

    void settingChanged(const QVector<int> &changes) override;

    // The sorted list.
    void updateServiceList();
    int sortType() const;
    bool isSortFavouritesOnly() const;
    bool hasFavourites() const;
    // The entries of the state poll, the sorted list backwards.
    QVector<ServiceListEntry> listEntries() const;
    // Without references: valid while the caller keeps the list from being rebuilt.
    QVector<Service *> sortedServices() const;
    // Runs `visit` on the sorted list, which is not rebuilt meanwhile.
    void withSortedServices(const std::function<void(const QVector<Service *> &)> &visit) const;

    // Notifications. `message` is HTML: texts from broadcasts or users go in escaped.
    ServiceNotifications &notes() { return m_notifications; }
    void addNotification(const QString &message, const QString &type, const int &duration, const bool &clickable,
                         const QString &ID, const bool &withTimestamp, const bool &isZozOnly);
    QVector<Notification> notifications() const;
    void setNotifyBubbleMode(int mode);
    int notifyBubbleMode() const;
    void setMessage(const QString &text, QObject *confirmReceiver, const QByteArray &confirmSlot,
                    QObject *cancelReceiver, const QByteArray &cancelSlot);
    QString pendingMessage() const;
    void announceServiceToolTip(Service *service);
    QString lastSelectorId() const;

    // Recordings of the playing service: the record button, the scheduler and
    // the pages start, stop and watch them here.
    RecordingControl &recordings() { return m_recordings; }

signals:
    void requestUrl(QString url);
    void announceTrayToolTip(QString toolTip);
    void requestLanguageChange(QString language);
    void requestRecordingDirectoryChange();
    void requestRecordingDirectoryOpen();
    void requestBubbleMessage(QString message, int icon, int timeout);
    // The service list was rebuilt (any thread).
    void refreshCycleChanged(int cycle);
    // The texts changed language; pages reload their templates.
    void retranslated();
    // Shutting down: every service is gone and the receiver is next, so
    // whatever reached the services (the web layer) goes now.
    void servicesStopped();

public slots:
    void onNewTextMessage();
    void doResetCache();
    void doSaveCache();
    void retranslate();
    void recheckAutoService();
    void setSortType(int type);
    void setSortFavouritesOnly(bool favouritesOnly);
    void onSwitchMute();
    // Writes the service list into "zoz.ServiceList.txt" and
    // "zoz.ServiceList.csv" in the data folder; false when one failed.
    bool prettyPrintServiceList();

private slots:
    void checkCache();
    void onSignalScanMode(bool active);
    void onCheckData();
    void doCheckData();

private:
    ServiceManager(std::unique_ptr<EnsembleSource> source, std::unique_ptr<ServiceFactory> factory);
    ~ServiceManager() override;

    void selectNeighbour(int step);
    void queueAutoServiceCheck();
    static QString randomIdentifier();
    static Settings *beginConstruction(ServiceManager *manager);

    Settings *m_settings;
    ServiceChanges m_changes;
    // Before the services: a service closes its recording file here when it goes.
    RecordingControl m_recordings;
    // The parts, in the order they are made; each later one uses the earlier ones.
    std::unique_ptr<ServiceDirectory> m_directory;
    ServiceSelection m_selection;
    std::unique_ptr<ServiceList> m_list;
    ServiceNotifications m_notifications;

    // The programme guide, held from construction so that its stored guide
    // is there before any SPI service is heard.
    QMutex m_spiManagerMutex;
    std::shared_ptr<SpiManager> m_spiManager;

    // Creation and end of the scan; taken before the scan's own locks.
    mutable QMutex m_spiScanMutex;
    std::unique_ptr<SpiScan> m_spiScan;

    mutable QMutex m_serverIdMutex;
    QString m_serverId;

    QTimer m_checkDataTimer;
    QElapsedTimer m_lastCheckTime;
    QTimer m_cacheTimer;
    QElapsedTimer m_cacheSaveTime;
    int m_cachePathCounter = 0;
};

} // namespace ZOZ
