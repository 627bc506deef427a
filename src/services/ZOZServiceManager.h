#pragma once

#include "ZOZEnsembleSource.h"
#include "http/ZOZHttpRequestHandler.h"
#include "ZOZServiceFactory.h"
#include "settings/ZOZSettings.h"
#include "web/ZOZTemplateValue.h"
#include "web/ZOZTemplateVariable.h"

#include <QMap>
#include <QObject>
#include <QString>
#include <QVector>

#include <array>
#include <atomic>
#include <functional>
#include <memory>

namespace ZOZ {

class HtmlTemplate;
class HttpServer;
class Receiver;
class Service;
class ServiceManagerPrivate;

// Turns the receiver's ensemble database into service objects, keeps them in
// a tree per ensemble, remembers the selected service and is the HTTP
// server's default request handler. One per process.
class ServiceManager : public QObject, public HttpRequestHandler, public Settings::Listener
{
    Q_OBJECT

public:
    // The seven page templates, in loading order.
    static const QStringList &templatePaths();
    // How long the destructor waits for the worker thread to finish a check.
    static constexpr unsigned long WorkerStopWaitMs = 10000;
    static constexpr int CheckDebounceMs = 250;
    static constexpr int CheckIntervalMs = 1000;
    static constexpr int CacheCheckIntervalMs = 500;
    static constexpr qint64 CacheSaveIntervalMs = 60000;
    static constexpr int DirtiesIntervalMs = 200;
    static constexpr int AutoServiceDelayMs = 500;

    // Creates the singleton. Without arguments it works on the receiver
    // singleton and makes plain service objects; tests hand in their own.
    static ServiceManager *instance(std::unique_ptr<EnsembleSource> source = {},
                                    std::unique_ptr<ServiceFactory> factory = {});
    static ServiceManager *existingInstance();
    static void destroyInstance();

    bool init();

    // Every fixed text of the pages, translated, as the JSON text of one object.
    static QString uiStrings();
    // Pages of the user interface and the files they load.
    bool httpPageRequest(const HttpRequest &request, HttpResponse &response) override;
    void refreshIndexPage();

    void setDirty(const bool &servicesToo);
    QString getServerId() const;
    HttpServer *httpServer() const;
    void connectBubbleMessages();

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
    Service *autoService() const;
    void checkAutoService(Service *service);
    // The user ignores the service's current announcements; a running
    // announcement switch of the selected service ends. Takes the
    // service-list lock itself.
    void acknowledgeAnnouncements(Service *service);

    // Resolves a selector id; the caller holds the service-list lock.
    Service *findService(qint32 selectorId) const;
    // Runs `visit` with the service tree under the read lock.
    void withServices(const std::function<void(const QMap<int, QVector<Service *>> &)> &visit) const;
    QMap<int, QVector<Service *>> spiServices() const;

    bool isServiceListDirty() const;
    bool isChannelsDirty() const;
    bool isServicesDirty() const;
    bool isVariablesDirty() const;
    bool isCheckRequested() const;
    void clearDirtyFlags();

    void settingChanged(const QVector<int> &changes) override;

    // ---- Selection, the sorted list, notifications and the ajax commands
    // (ZOZServiceManagerSelection.cpp, ZOZServiceManagerList.cpp,
    // ZOZServiceManagerNotify.cpp, ZOZServiceManagerAjax*.cpp) ----
    bool selectAnnouncement(Service *service);
    void selectNextService();
    void selectPreviousService();
    void playSpokenLabel(Service *service, const bool &overrideMuted);
    // The spoken-label recording of a service in `folder`, empty when there is none.
    static QString spokenLabelFile(const QString &folder, const quint8 &ecc, const qint64 &serviceIdentifier,
                                   const quint16 &shortId);
    qint32 announcementServiceId() const;
    // -1 in an argument: not given. The result carries a reference for the caller.
    Service *findService(const int &selectorId, const int &ensembleIdentifier, const int &serviceIdentifier);
    void findServiceByUri(QByteArray &uri);
    static unsigned long parseUriNumber(QString text);

    void updateServiceList();
    int sortType() const;
    bool isSortFavouritesOnly() const;
    bool hasFavourites() const;
    TemplateValue servicesValue() const;
    // Without references: valid while the caller keeps the list from being rebuilt.
    QVector<Service *> sortedServices() const;
    TemplateVariable::Rows serviceRows() const;
    TemplateValue serviceRowsValue() const;

    // `message` is HTML: texts from broadcasts or users go in escaped.
    void addNotification(const QString &message, const QString &type, const int &duration, const bool &clickable,
                         const QString &ID, const bool &withTimestamp, const bool &isZozOnly);
    TemplateValue notifications() const;
    void setNotifyBubbleMode(int mode);
    int notifyBubbleMode() const;
    void setMessage(const QString &text, QObject *confirmReceiver, const QByteArray &confirmSlot,
                    QObject *cancelReceiver, const QByteArray &cancelSlot);
    QString pendingMessage() const;
    void announceServiceToolTip(Service *service);
    QString lastSelectorId() const;

    bool httpAjaxRequest(const HttpRequest &request, HttpResponse &response) override;
    bool isStateChanging(const HttpRequest &request) const override;
    // ---- end of selection, list, notifications and ajax ----

signals:
    void requestUrl(QString url);
    void announceTrayToolTip(QString toolTip);
    void requestLanguageChange(QString language);
    void requestRecordingDirectoryChange();
    void requestRecordingDirectoryOpen();
    void requestBubbleMessage(QString message, int icon, int timeout);

public slots:
    void onNewTextMessage();
    void doResetCache();
    void doSaveCache();
    void retranslate();
    void recheckAutoService();
    void setSortType(int type);
    void setSortFavouritesOnly(bool favouritesOnly);
    void onSwitchMute();

private slots:
    void checkCache();
    void checkDirties();
    void onSignalScanMode(bool active);
    void onCheckData();
    void doCheckData();

private:
    friend class ServiceManagerPrivate;

    ServiceManager(std::unique_ptr<EnsembleSource> source, std::unique_ptr<ServiceFactory> factory);
    ~ServiceManager() override;

    // Building the tree (ZOZServiceManagerBuild.cpp).
    Service *createAudioService(qint32 id, const DabEnsemble &ensemble, const DabService &record,
                                const DabServiceComponent &component);
    void addAudioService(Service *service);
    Service *addServiceDAB(qint32 id, const DabEnsemble &ensemble, const DabService &record,
                           const DabServiceComponent &component, const DabUserApplication &application);
    Service *createContainer(qint32 id, const DabEnsemble &ensemble, const DabService &record);
    bool updateService(Service *service, const DabEnsemble &ensemble, const DabService &record,
                       const DabServiceComponent &component, const DabUserApplication *application, bool &changed);
    bool reconnectService(Service *service, const qint32 &streamId, const quint16 &packetId, const quint8 &length,
                          const bool &enhanced, const std::array<quint8, 2> &fec);
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

    // The tree (ZOZServiceManagerTree.cpp).
    bool attachService(Service *service, qint32 id);
    bool attachChild(Service *parent, Service *service);
    bool connectService(Service *service, const bool &flag);
    void disconnectService(Service *service);
    void removeService(Service *service);
    void renumberServices(int ensemble, int from);
    void setServiceIdTracked(Service *service, qint32 id);
    void clearPresentFlags(quint32 mask);
    bool removeVanishedServices(quint32 mask);
    // The carrier of a data service in the audio's programme-associated data.
    Service *padCarrier(Service *service, bool &shapeError) const;
    void releaseService(Service *&held);
    static QString composeServiceLabel(const QString &serviceLabel, const QString &componentLabel);
    static QString frequencyText(const DabEnsemble &ensemble);

    // ---- Selection, the sorted list and the ajax commands ----
    struct AjaxCommand;
    static const QVector<AjaxCommand> &ajaxCommands();
    const AjaxCommand *matchAjaxCommand(const HttpRequest &request) const;
    void activateService(Service *service, const bool &ignoreSpokenLabel);
    void selectNeighbour(int step);
    void sortServiceList();
    void releaseSortedList();
    void setLastSelectorId(const HttpRequest &request);
    bool refuseWhileRecording(HttpResponse &response);
    // Runs `action` on the service `selectorId` names and releases it; a missing one answers failure.
    void applyToService(qint32 selectorId, HttpResponse &response, const std::function<void(Service *)> &action);
    static bool lessByLabel(const Service *a, const Service *b);
    static bool lessByEnsembleLabel(const Service *a, const Service *b);
    static bool lessByEnsembleNumber(const Service *a, const Service *b);
    static bool lessByType(const Service *a, const Service *b);
    static bool lessByLanguage(const Service *a, const Service *b);
    static bool lessByCountry(const Service *a, const Service *b);
    // The program's receiver; null when the ensembles come from elsewhere (tests).
    Receiver *receiver() const;
    bool ajaxReceiver(const HttpRequest &request, HttpResponse &response);
    bool ajaxGetServerInfo(const HttpRequest &request, HttpResponse &response);
    bool ajaxReadLabel(const HttpRequest &request, HttpResponse &response);
    bool ajaxSelectService(const HttpRequest &request, HttpResponse &response);
    bool ajaxSelectServiceById(const HttpRequest &request, HttpResponse &response);
    bool ajaxSelectServiceDirected(const HttpRequest &request, HttpResponse &response);
    bool ajaxSelectAnnouncement(const HttpRequest &request, HttpResponse &response);
    bool ajaxIgnoreAnnouncements(const HttpRequest &request, HttpResponse &response);
    bool ajaxSetServiceFavourite(const HttpRequest &request, HttpResponse &response);
    bool ajaxConfirmed(const HttpRequest &request, HttpResponse &response);
    // Routes the receiver's questions and notices to the pages.
    void installReceiverSinks();
    // ---- end of selection, list and ajax ----

    // The commands the service list page and its frame answer with
    // (ZOZServiceManagerAjaxPages.cpp).
    bool ajaxClearNotify(const HttpRequest &request, HttpResponse &response);
    bool ajaxSetSortType(const HttpRequest &request, HttpResponse &response);
    bool ajaxSwitchFavourites(const HttpRequest &request, HttpResponse &response);

    ServiceManagerPrivate *d;
    // Set by the pages' threads and the main thread, read by the list rebuild.
    std::atomic<bool> m_sortFavouritesOnly { false };
    std::atomic<int> m_sortType { 0 };
};

} // namespace ZOZ
