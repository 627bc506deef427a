#pragma once

#include <QMutex>
#include <QRecursiveMutex>
#include <QString>

#include <functional>

namespace ZOZ {

class AudioOutputPort;
class ServiceAudio;
class ServiceChanges;
class ServiceDirectory;
class Service;
class Settings;

// The service that is heard, the announcement that interrupts it, and the
// service to select once it appears (the last one, or the one the command
// line names). Each holds a reference on its service.
//
// Lock order: the directory's service-list lock, then the selected mutex,
// then the announcement mutex, then the auto-service or SPI-scan mutex.
class ServiceSelection
{
public:
    // The selected service as the pages' state poll reports it.
    struct Selected
    {
        qint32 selectorId = -1;
        quint32 ensembleIdentifier = 0;
        quint32 serviceIdentifier = 0;
        uint ensembleTime = 0; // UNIX seconds of the selected service's ensemble, 0 without one

        bool operator==(const Selected &) const = default;
    };
    // The service waited for.
    struct AutoService
    {
        bool inProgress = false; // one is waited for or found
        int serviceId = -1;      // selector id of the found one
        QString requestPath;     // of a found data service
        bool isData = false;
        bool found = false;

        bool operator==(const AutoService &) const = default;
    };

    ServiceSelection(ServiceChanges &changes, Settings *settings, ServiceDirectory &directory);
    ~ServiceSelection();

    // Called with the tray text whenever the selection changes.
    void setToolTipSink(std::function<void(const QString &)> sink) { m_toolTipSink = std::move(sink); }
    // The audio output the heard service's stream goes to; null: none.
    void setAudioOutput(AudioOutputPort *output);
    // The audio service that plays now, null for none (no reference).
    ServiceAudio *audibleService() const;

    // Returns whether the auto service is the one selected when nothing
    // changed. The caller holds the service-list lock.
    bool selectService(Service *service, const bool &ignoreSpokenLabel);
    bool selectAnnouncement(Service *service);
    void activateServiceComponents(Service *service);
    // The user ignores the service's current announcements; a running
    // announcement switch of the selected service ends. Takes the
    // service-list lock itself.
    void acknowledgeAnnouncements(Service *service);
    void playSpokenLabel(Service *service, const bool &overrideMuted);

    // The SPI service an SPI scan has the receiver take in besides the
    // selection; null for none. Holds a reference; the components are
    // handed over by the caller.
    void setSpiScanService(Service *service);
    // With a reference for the caller, or null.
    Service *spiScanService() const;

    Service *selectedService() const;
    qint32 selectedServiceId() const;
    Selected selected() const;
    qint32 announcementServiceId() const;

    // The service to select when it appears: ensemble and component -1 for any.
    void waitForService(qint32 ensembleIdentifier, qint64 serviceIdentifier, qint32 componentId);
    // Before a scan empties the list: the selected service becomes the one
    // to find again, unless another is already awaited.
    void rememberSelectedForScan();
    // Like waitForService, dropping a service already found.
    void replaceAutoService(qint64 serviceIdentifier);
    Service *autoService() const;
    AutoService autoServiceState() const;
    void checkAutoService(Service *service);
    // Looks for the waited-for service in the tree and keeps it once found.
    void recheckAutoService();

    // Hooks of the tree; the caller holds the service-list lock.
    void trackServiceId(Service *service, qint32 id);
    bool isSelectedOrAnnounced(const Service *service) const;
    void forgetService(Service *service);

    void announceServiceToolTip(const Service *service);
    // The tray text again, in the new language.
    void announceSelectedToolTip();
    void releaseAll();

private:
    void activateService(Service *service, const bool &ignoreSpokenLabel);
    // Stops the service heard so far, plays `service` when it is an audio
    // service, and hands its stream to the audio output.
    void makeAudible(Service *service);
    static void releaseService(Service *&held);

    ServiceChanges &m_changes;
    Settings *m_settings;
    ServiceDirectory &m_directory;
    std::function<void(const QString &)> m_toolTipSink;

    mutable QRecursiveMutex m_selectedMutex;
    Service *m_selectedService = nullptr;
    qint32 m_selectedServiceId = -1;
    qint32 m_selectedEnsembleIdentifier = 0;
    quint32 m_selectedServiceIdentifier = 0;

    // Taken alone, or after the selected and announcement mutexes.
    mutable QRecursiveMutex m_audibleMutex;
    AudioOutputPort *m_audioOutput = nullptr;
    ServiceAudio *m_audibleService = nullptr; // one reference held

    mutable QRecursiveMutex m_announcementMutex;
    Service *m_announcementService = nullptr;
    qint32 m_announcementServiceId = -1;

    // After the walk's mutex of an SPI scan; alone otherwise.
    mutable QRecursiveMutex m_spiScanMutex;
    Service *m_spiScanService = nullptr;

    mutable QRecursiveMutex m_autoMutex;
    Service *m_autoService = nullptr;
    qint32 m_autoEnsembleIdentifier = -1;
    qint64 m_autoServiceIdentifier = -1;
    qint32 m_autoComponentId = -1;
};

} // namespace ZOZ
