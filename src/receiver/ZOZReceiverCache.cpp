#include "ZOZReceiver.h"

#include "ZOZDABEnsembleCache.h"
#include "ZOZDabUsbPrivate.h"

#include <QMutexLocker>

namespace ZOZ {

namespace {
const QString SetName = QStringLiteral("default");
}

bool Receiver::rtkLoadEnsembleCache()
{
    if (!m_usb)
        return false;
    DABEnsembleCache cache(m_dataFolder);
    if (!cache.isValid())
        return false;
    QString setName;
    QList<DabEnsembleCacheEntry> excluded;
    DabEnsembleMap ensembles;
    if (!cache.read(setName, excluded, ensembles))
        return false;
    for (auto &[index, ensemble] : ensembles)
        ensemble->dateTime = &m_dateTime;
    QMutexLocker locker(&m_usb->ensembleMutex);
    m_usb->excludedServices = excluded;
    m_usb->ensembles = std::move(ensembles);
    return true;
}

bool Receiver::rtkSaveEnsembleCache()
{
    if (!m_usb)
        return false;
    QMutexLocker locker(&m_usb->ensembleMutex);
    DABEnsembleCache cache(m_dataFolder);
    return cache.write(SetName, m_usb->excludedServices, m_usb->ensembles);
}

} // namespace ZOZ
