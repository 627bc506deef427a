#include "data/ZOZSpiManager.h"

#include "ZOZService.h"
#include "ZOZServiceManager.h"
#include "base/ZOZLog.h"
#include "data/ZOZSharedInstance.h"
#include "data/ZOZSpiCache.h"
#include "web/ZOZResourcePath.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QReadLocker>
#include <QTimer>
#include <QWriteLocker>

namespace ZOZ {

namespace {

std::atomic<quint32> s_version {0};

quint32 nowSeconds()
{
    return quint32(QDateTime::currentSecsSinceEpoch());
}

// The guide's way to the services on air: the service manager, when there is one.
class ManagerServices : public SpiManager::Services
{
public:
    bool findServiceLabel(quint32 sid, QString &label) override
    {
        ServiceManager *manager = ServiceManager::existingInstance();
        Service *service = manager ? manager->findService(-1, -1, int(sid)) : nullptr;
        if (!service)
            return false;
        label = service->label();
        service->release();
        return true;
    }

    void logoSaved(quint32 sid) override
    {
        ServiceManager *manager = ServiceManager::existingInstance();
        Service *service = manager ? manager->findService(-1, -1, int(sid)) : nullptr;
        if (!service)
            return;
        const qint32 selectorId = service->serviceId();
        service->release();
        bool changed = false;
        manager->withService(selectorId, [&](Service *found) {
            changed = found->setServiceLogo(serviceLogoUrl(found->globalId()));
        });
        if (changed)
            manager->setDirty(true);
    }
};

// Line feeds become line breaks of the page, double quotes single ones.
QString cleanText(QString text)
{
    return text.replace(QLatin1Char('\n'), QLatin1String("<br/>")).replace(QLatin1Char('"'), QLatin1Char('\''));
}

void appendTexts(TemplateValue &map, const QString &shortName, const QString &mediumName, const QString &longName,
                 const QString &description)
{
    map << TemplateValue(QStringLiteral("nameShort"), cleanText(shortName))
        << TemplateValue(QStringLiteral("nameMedium"), cleanText(mediumName))
        << TemplateValue(QStringLiteral("nameLong"), cleanText(longName))
        << TemplateValue(QStringLiteral("description"), cleanText(description));
}

TemplateValue serviceJson(const SpiService &service)
{
    const SpiContentId &id = service.contentId;
    TemplateValue map;
    map << TemplateValue(QStringLiteral("ECC"), id.ecc)
        << TemplateValue(QStringLiteral("ensembleIdentifier"), id.eid)
        << TemplateValue(QStringLiteral("serviceIdentifier"), uint(id.sid))
        << TemplateValue(QStringLiteral("isAudio"), id.sid16);
    appendTexts(map, service.shortName, service.mediumName, service.longName, service.description);
    map << TemplateValue(QStringLiteral("logo"), serviceLogoUrl(spiServiceKey(id.ecc, id.sid)));
    TemplateValue programmes(QStringLiteral("programmes"), TemplateValue::List);
    for (const SpiProgramme &programme : service.programmes) {
        TemplateValue entry;
        entry << TemplateValue(QStringLiteral("start"), uint(programme.start))
              << TemplateValue(QStringLiteral("stop"), uint(programme.stop));
        appendTexts(entry, programme.shortName, programme.mediumName, programme.longName, programme.description);
        programmes << entry;
    }
    map << programmes;
    return map;
}

} // namespace

// Lets the clean timer, which lives on the main thread, reach the manager
// only while it exists.
struct SpiManager::TimerGuard
{
    QMutex mutex;
    SpiManager *owner = nullptr;
};

std::shared_ptr<SpiManager> SpiManager::instance()
{
    static SharedInstance<SpiManager> shared;
    return shared.get(
        [] { return std::make_shared<SpiManager>(Settings::instance(), std::make_unique<ManagerServices>()); });
}

quint32 SpiManager::version()
{
    return s_version.load(std::memory_order_relaxed);
}

SpiManager::SpiManager(Settings *settings, std::unique_ptr<Services> services)
    : m_settings(settings)
    , m_services(std::move(services))
    , m_logos([services = m_services](quint32 sid, const QString &) {
        // The service list is taken on the main thread, where the service
        // manager lives and goes: never under the guide's locks, never while
        // it is being destroyed.
        QCoreApplication *application = QCoreApplication::instance();
        if (!services)
            return;
        if (!application) {
            services->logoSaved(sid);
            return;
        }
        QMetaObject::invokeMethod(application, [services, sid] { services->logoSaved(sid); }, Qt::QueuedConnection);
    })
    , m_servicesJson(QStringLiteral("services"), TemplateValue::List)
{
    m_background.setMaxThreadCount(1);
    if (m_settings)
        m_settings->addListener(this);
    setFolders();
    load();
    startCleanTimer();
}

SpiManager::~SpiManager()
{
    if (m_settings)
        m_settings->removeListener(this);
    {
        QMutexLocker locker(&m_timerGuard->mutex);
        m_timerGuard->owner = nullptr;
    }
    m_cleanTimer->deleteLater();
    m_background.waitForDone();
}

void SpiManager::startCleanTimer()
{
    m_timerGuard = std::make_shared<TimerGuard>();
    m_timerGuard->owner = this;
    m_cleanTimer = new QTimer;
    m_cleanTimer->setInterval(CleanIntervalMs);
    // Managers come and go with the SPI services on other threads; the timer
    // stays with the event loop of the main thread.
    if (QCoreApplication *application = QCoreApplication::instance())
        m_cleanTimer->moveToThread(application->thread());
    std::shared_ptr<TimerGuard> guard = m_timerGuard;
    connect(m_cleanTimer, &QTimer::timeout, m_cleanTimer, [guard] {
        QMutexLocker locker(&guard->mutex);
        if (guard->owner)
            guard->owner->cleanCache();
    });
    QMetaObject::invokeMethod(m_cleanTimer, qOverload<>(&QTimer::start), Qt::QueuedConnection);
}

bool SpiManager::isCacheEnabled() const
{
    return m_settings && m_settings->hasPhysicalCache() && !folder().isEmpty();
}

QString SpiManager::folder() const
{
    QMutexLocker locker(&m_folderMutex);
    return m_folder;
}

void SpiManager::setFolders()
{
    const QString cachePath = m_settings ? m_settings->cachePath() : QString();
    {
        QMutexLocker locker(&m_folderMutex);
        m_folder = cachePath.isEmpty() ? QString() : cachePath + QStringLiteral("spi/");
    }
    m_logos.setFolder(cachePath.isEmpty() ? QString() : cachePath + QStringLiteral("logos/"));
}

void SpiManager::settingChanged(const QVector<int> &changes)
{
    if (!changes.contains(Settings::CachePathChanged))
        return;
    // The listener list is locked here: the files are read on the manager's thread.
    m_background.start([this] {
        setFolders();
        load();
    });
}

void SpiManager::load()
{
    if (!isCacheEnabled())
        return;
    SpiCache cache(folder());
    const QByteArray bytes = cache.read();
    SpiIndex index;
    if (!SpiIndexStream::read(bytes, index)) {
        ZOZ_LOG(LogSource::ServiceSpi | LogFlag::Warning,
                QStringLiteral("SpiManager::load() -> damaged SPI cache, kept the %1 countries before the damage")
                    .arg(index.size()));
    }
    {
        QWriteLocker locker(&m_store.lock);
        m_store.index = std::move(index);
        m_store.changed = true;
    }
    ++s_version;
    cleanCache();
}

void SpiManager::save()
{
    if (!isCacheEnabled())
        return;
    QByteArray bytes;
    {
        QReadLocker locker(&m_store.lock);
        bytes = SpiIndexStream::write(m_store.index);
    }
    SpiCache(folder()).write(bytes);
    QMutexLocker locker(&m_saveTimeMutex);
    m_sinceSave.start();
}

void SpiManager::requestSave()
{
    if (m_savePending.exchange(true))
        return;
    m_background.start([this] {
        m_savePending = false;
        save();
    });
}

void SpiManager::waitForBackgroundWork()
{
    m_background.waitForDone();
}

void SpiManager::decodeDocument(const SpiDocument &document)
{
    if (extractSpiDocument(m_store, *this, document, nowSeconds())) {
        ++s_version;
        requestSave();
        return;
    }
    // An unchanged document renews the entries' times; those reach the disk
    // now and then, so that a restart does not take them for stale.
    bool refreshDue = false;
    {
        QMutexLocker locker(&m_saveTimeMutex);
        refreshDue = m_sinceSave.isValid() && m_sinceSave.elapsed() >= RefreshSaveIntervalMs;
    }
    if (refreshDue)
        requestSave();
}

void SpiManager::logoArrived(const QString &spiServiceId, const QString &objectName, int mimeCode,
                             const QByteArray &bytes)
{
    m_logos.arrive(spiServiceId, objectName, mimeCode, bytes);
}

bool SpiManager::findServiceLabel(quint32 sid, QString &label)
{
    return m_services && m_services->findServiceLabel(sid, label);
}

void SpiManager::logoChosen(const QString &serviceKey, quint32 sid, const QString &spiServiceId, const QString &url)
{
    m_logos.request(serviceKey, sid, spiServiceId, url);
}

void SpiManager::cleanCache()
{
    cleanCache(nowSeconds());
}

void SpiManager::cleanCache(quint32 now)
{
    const quint32 limit = now - KeepSeconds;
    QWriteLocker locker(&m_store.lock);
    for (SpiCountry &country : m_store.index) {
        for (auto service = country.services.begin(); service != country.services.end();) {
            if (service->hasSi) {
                for (auto programme = service->programmes.begin(); programme != service->programmes.end();) {
                    if (programme->stop < now && programme->updateTime < limit)
                        programme = service->programmes.erase(programme);
                    else
                        ++programme;
                }
                if (!service->programmes.isEmpty()) {
                    ++service;
                    continue;
                }
            }
            if (service->updateTime < limit)
                service = country.services.erase(service);
            else
                ++service;
        }
    }
}

TemplateValue SpiManager::buildSpiJson()
{
    {
        QReadLocker locker(&m_store.lock);
        if (!m_store.changed && m_hasJson)
            return m_servicesJson;
    }
    QWriteLocker locker(&m_store.lock);
    if (m_store.changed || !m_hasJson) {
        m_store.changed = false;
        m_hasJson = true;
        m_servicesJson = TemplateValue(QStringLiteral("services"), TemplateValue::List);
        for (const SpiCountry &country : std::as_const(m_store.index)) {
            for (const SpiService &service : country.services) {
                if (service.hasSi)
                    m_servicesJson << serviceJson(service);
            }
        }
    }
    return m_servicesJson;
}

} // namespace ZOZ
