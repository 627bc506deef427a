#pragma once

#include "data/ZOZSpiExtract.h"
#include "data/ZOZSpiLogos.h"
#include "data/ZOZSpiStore.h"
#include "settings/ZOZSettings.h"
#include "web/ZOZTemplateValue.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QObject>
#include <QThreadPool>

#include <atomic>
#include <memory>

class QTimer;

namespace ZOZ {

// The one owner of the programme guide: the index by country, service and
// programme, the service logos, and the version counter the pages poll. The
// index survives restarts in "db.zoz" (the cache folder's "spi/"); logos go
// to the cache folder's "logos/". Every SPI service holds the manager
// (`instance`); it goes with the last of them.
//
// Documents are decoded on the thread that delivers them; the cache file is
// written on a thread of the manager's own, only after a change.
class SpiManager : public QObject, public Settings::Listener, private SpiEnvironment
{
    Q_OBJECT

public:
    // What the guide asks of the services on air.
    class Services
    {
    public:
        virtual ~Services() = default;
        // The label of the service with this SId; false when there is none.
        virtual bool findServiceLabel(quint32 sid, QString &label) = 0;
        // A logo file of the service was written: its page logo is renewed.
        // Runs on the main thread.
        virtual void logoSaved(quint32 sid) = 0;
    };

    static constexpr int CleanIntervalMs = 86400000;
    // Programmes that ended and services not heard of for this long go.
    static constexpr quint32 KeepSeconds = 604800;
    // Unchanged documents still renew the entries' times on disk this often.
    static constexpr qint64 RefreshSaveIntervalMs = 86400000;

    // The shared manager over the settings and the service manager.
    static std::shared_ptr<SpiManager> instance();
    // The version counter: moves after every change of the index and every load.
    static quint32 version();

    SpiManager(Settings *settings, std::unique_ptr<Services> services);
    ~SpiManager() override;

    // A document delivered by an SPI service (its thread).
    void decodeDocument(const SpiDocument &document);
    // Any other object of an SPI service: a logo candidate.
    void logoArrived(const QString &spiServiceId, const QString &objectName, int mimeCode, const QByteArray &bytes);

    // The "services" list of the guide's JSON, rebuilt only after a change.
    TemplateValue buildSpiJson();

    void settingChanged(const QVector<int> &changes) override;

    // Replaces the index with the cache file's content.
    void load();
    // Writes the index into the cache file now.
    void save();
    // Waits for a save or load handed to the manager's thread.
    void waitForBackgroundWork();

    SpiStore &store() { return m_store; }
    QString folder() const;
    QString logoFolder() const { return m_logos.folder(); }

public slots:
    void cleanCache();

public:
    void cleanCache(quint32 now);

private:
    struct TimerGuard;

    bool findServiceLabel(quint32 sid, QString &label) override;
    void logoChosen(const QString &serviceKey, quint32 sid, const QString &spiServiceId, const QString &url) override;
    bool isCacheEnabled() const;
    void setFolders();
    void requestSave();
    void startCleanTimer();

    Settings *m_settings;
    std::shared_ptr<Services> m_services; // shared with logo notices still queued
    SpiStore m_store;
    SpiLogos m_logos;
    mutable QMutex m_folderMutex;
    QString m_folder;
    // The JSON and the store state it was built from; under the index lock.
    TemplateValue m_servicesJson;
    bool m_hasJson = false;
    QThreadPool m_background;
    std::atomic<bool> m_savePending {false};
    QMutex m_saveTimeMutex;
    QElapsedTimer m_sinceSave;
    std::shared_ptr<TimerGuard> m_timerGuard;
    QTimer *m_cleanTimer = nullptr;
};

} // namespace ZOZ
