#include "ZOZEnsembleDatabase.h"

#include "ZOZDABEnsembleCache.h"
#include "ZOZDabChannels.h"
#include "base/ZOZLog.h"
#include "settings/ZOZSettings.h"

#include <algorithm>

namespace ZOZ {

namespace {

const QString SetName = QStringLiteral("default");
// User application types that count as data applications.
constexpr int CountedApplicationTypes[] = { 2, 3, 7, 0x44A };

} // namespace

EnsembleDatabase::EnsembleDatabase(QObject *parent)
    : QObject(parent)
{
}

EnsembleDatabase::~EnsembleDatabase() = default;

void EnsembleDatabase::setCacheFolder(const QString &folder)
{
    Locker locker(&m_mutex);
    m_cacheFolder = folder;
}

void EnsembleDatabase::open()
{
    Locker locker(&m_mutex);
    m_open = true;
}

void EnsembleDatabase::close()
{
    Locker locker(&m_mutex);
    if (m_open && m_cacheSavePending)
        saveCache();
    m_open = false;
    m_ensembles.clear();
}

DabEnsemble *EnsembleDatabase::find(int index)
{
    auto it = m_ensembles.find(index);
    return it == m_ensembles.end() ? nullptr : it->second.get();
}

bool EnsembleDatabase::isEmpty()
{
    Locker locker(&m_mutex);
    return m_ensembles.empty();
}

int EnsembleDatabase::firstValidIndex()
{
    Locker locker(&m_mutex);
    for (const auto &[index, ensemble] : m_ensembles) {
        if (ensemble->valid)
            return index;
    }
    return -1;
}

void EnsembleDatabase::addEnsembleForChannel(int index)
{
    const DabChannel *channel = channelAtIndex(index);
    if (!channel)
        return;
    auto ensemble = std::make_unique<DabEnsemble>(bandOfChannelIndex(index));
    ensemble->frequency = channel->frequency;
    ensemble->dateTime = &m_dateTime;
    ensemble->resolveChannel();
    Locker locker(&m_mutex);
    if (!m_open)
        return;
    auto it = m_ensembles.find(ensemble->index);
    if (it != m_ensembles.end() && it->second->gridIndex == ensemble->gridIndex
        && it->second->frequency == ensemble->frequency) {
        it->second->resolveChannel();
        return;
    }
    const int key = ensemble->index;
    m_ensembles[key] = std::move(ensemble);
}

void EnsembleDatabase::clear()
{
    Locker locker(&m_mutex);
    m_ensembles.clear();
    m_excludedServices.clear();
}

QVector<DabEnsemble> EnsembleDatabase::getEnsembles()
{
    QVector<DabEnsemble> copies;
    Locker locker(&m_mutex);
    copies.reserve(qsizetype(m_ensembles.size()));
    for (auto &[index, ensemble] : m_ensembles) {
        copies.append(*ensemble);
        ensemble->clearChanged();
    }
    return copies;
}

bool EnsembleDatabase::loadCache()
{
    QString folder;
    {
        Locker locker(&m_mutex);
        if (!m_open)
            return false;
        folder = m_cacheFolder;
    }
    // Read without the lock: the file may be large and the library's thread
    // may be pushing FIC meanwhile.
    DABEnsembleCache cache(folder);
    if (!cache.isValid())
        return false;
    QString setName;
    QList<DabEnsembleCacheEntry> excluded;
    DabEnsembleMap ensembles;
    if (!cache.read(setName, excluded, ensembles))
        return false;
    if (ensembles.empty()) {
        ZOZ_LOG(LogSource::Storage | LogFlag::Warning,
                QStringLiteral("EnsembleDatabase::loadCache() -> warning: DAB ensemble database holds no ensemble, ignored (filename: %1)")
                    .arg(cache.filePath()));
        return false;
    }
    for (auto &[index, ensemble] : ensembles)
        ensemble->dateTime = &m_dateTime;
    Locker locker(&m_mutex);
    m_excludedServices = excluded;
    m_ensembles = std::move(ensembles);
    return true;
}

bool EnsembleDatabase::saveCache()
{
    Locker locker(&m_mutex);
    if (!m_open)
        return false;
    // A failed write stays held back: the tick tries again once the interval
    // has passed, and the close once more.
    m_lastCacheSave.restart();
    DABEnsembleCache cache(m_cacheFolder);
    const bool written = cache.write(SetName, m_excludedServices, m_ensembles);
    m_cacheSavePending = !written;
    return written;
}

void EnsembleDatabase::requestCacheSave()
{
    Locker locker(&m_mutex);
    if (m_lastCacheSave.elapsed() >= CacheSaveIntervalMs)
        saveCache();
    else
        m_cacheSavePending = true;
}

void EnsembleDatabase::saveCacheIfDue()
{
    Locker locker(&m_mutex);
    if (m_cacheSavePending && m_lastCacheSave.elapsed() >= CacheSaveIntervalMs)
        saveCache();
}

bool EnsembleDatabase::finishEnsembleUpdate(DabEnsemble *ensemble, bool &changed)
{
    ensemble->valid = false;
    ensemble->changed = false;
    const bool clearOnLoss = m_settings && m_settings->clearServicesOnLoss();
    const qint64 timeoutMs = m_settings ? qint64(m_settings->clearServicesTimeout()) * 1000 : 0;
    for (qsizetype i = ensemble->services.size() - 1; i >= 0; --i) {
        const DabService &service = ensemble->services.at(i);
        if (!ensemble->channelResolved
            && (service.serviceId == -1 || (clearOnLoss && service.lastSeen.elapsed() >= timeoutMs))) {
            ensemble->services.remove(i);
            changed = true;
            continue;
        }
        if (service.valid) {
            ensemble->valid = true;
            if (service.changed)
                ensemble->changed = true;
        }
    }
    if (changed) {
        // Every channel of every grid has an index below the total count; the
        // cache keeps all of them.
        if (ensemble->index >= 0 && ensemble->index < channelGridBase(DabChannelGridCount))
            requestCacheSave();
        emit this->changed();
    }
    return ensemble->valid;
}

bool EnsembleDatabase::isExcludedService(qint32 ensembleId, qint64 serviceId) const
{
    Locker locker(&m_mutex);
    return std::any_of(m_excludedServices.cbegin(), m_excludedServices.cend(),
                       [&](const DabEnsembleCacheEntry &entry) {
                           return entry.ensembleId == ensembleId && entry.serviceId == serviceId;
                       });
}

EnsembleDatabase::Counts EnsembleDatabase::counts() const
{
    Locker locker(&m_mutex);
    return m_counts;
}

void EnsembleDatabase::countServices(int currentIndex, bool dropEmptyCurrent)
{
    Locker locker(&m_mutex);
    Counts counts;
    if (dropEmptyCurrent) {
        auto it = m_ensembles.find(currentIndex);
        if (it != m_ensembles.end() && !it->second->valid)
            m_ensembles.erase(it);
    }
    DabEnsemble *currentEnsemble = find(currentIndex);

    for (auto &[index, ensemble] : m_ensembles) {
        if (!ensemble->valid)
            continue;
        ++counts.ensembles;
        if (dropEmptyCurrent && currentEnsemble && currentEnsemble != ensemble.get())
            removeDuplicateServices(*currentEnsemble, *ensemble);
        for (const DabService &service : ensemble->services) {
            if (!service.valid)
                continue;
            int audio = 0;
            int applications = 0;
            auto countComponent = [&](const DabServiceComponent &component) {
                if (component.audio)
                    ++audio;
                for (const DabUserApplication &application : component.userApplications) {
                    if (std::find(std::begin(CountedApplicationTypes), std::end(CountedApplicationTypes),
                                  application.type)
                        != std::end(CountedApplicationTypes))
                        ++applications;
                }
            };
            countComponent(service.primary);
            for (const DabServiceComponent &component : service.components)
                countComponent(component);
            counts.audioComponents += audio;
            counts.dataApplications += applications;
            if (audio + applications > 0)
                ++counts.services;
        }
    }
    m_counts = counts;
}

void EnsembleDatabase::removeDuplicateServices(DabEnsemble &current, DabEnsemble &other)
{
    const int currentErrors = std::max(current.fibPushErrors, current.figPushErrors);
    const int otherErrors = std::max(other.fibPushErrors, other.figPushErrors);
    for (qsizetype i = other.services.size() - 1; i >= 0; --i) {
        if (!other.services.at(i).valid)
            continue;
        const qint64 serviceId = other.services.at(i).serviceId;
        auto inCurrent = std::find_if(current.services.begin(), current.services.end(), [&](const DabService &s) {
            return s.valid && s.serviceId == serviceId;
        });
        if (inCurrent == current.services.end())
            continue;
        // The ensemble received with more errors gives the service up.
        if (currentErrors >= otherErrors) {
            current.services.erase(inCurrent);
            m_excludedServices.append({ current.ensembleId, serviceId });
        } else {
            other.services.remove(i);
            m_excludedServices.append({ other.ensembleId, serviceId });
        }
    }
}

} // namespace ZOZ
