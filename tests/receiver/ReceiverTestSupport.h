#pragma once

#include "../libs/dab/EtiTestReader.h"

#include "ZOZDABEnsembleCache.h"
#include "ZOZReceiverDABUSB.h"
#include "ZOZReceiver.h"
#include "settings/ZOZSettings.h"

#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace ZOZ::Test {

// A fresh home folder, settings store and settings object for one test.
class ReceiverEnvironment
{
public:
    ReceiverEnvironment()
        : m_oldHome(qgetenv("HOME"))
    {
        qputenv("HOME", m_home.path().toLocal8Bit());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_home.path() + QStringLiteral("/.config"));
        settings = Settings::create();
    }
    ~ReceiverEnvironment()
    {
        Settings::destroy();
        qputenv("HOME", m_oldHome);
    }

    QString dataFolder() const { return m_home.path() + QStringLiteral("/.zoz/"); }

    Settings *settings = nullptr;

private:
    QByteArray m_oldHome;
    QTemporaryDir m_home;
};

// The ensembles of the cache file in `folder`; empty when it is missing or
// does not read.
inline DabEnsembleMap readEnsembleCache(const QString &folder, QString *setName = nullptr)
{
    DABEnsembleCache cache(folder);
    QString name;
    QList<DabEnsembleCacheEntry> excluded;
    DabEnsembleMap map;
    if (!cache.isValid() || !cache.read(name, excluded, map))
        return {};
    if (setName)
        *setName = name;
    return map;
}

inline std::vector<EtiFic> sloveniaFic()
{
    return readEtiFics(testDataPath("slovenia-r1.eti"));
}

} // namespace ZOZ::Test
