#pragma once

#include <QByteArray>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// A fresh home folder and settings store for one test; the real ones of the
// user running the tests are never touched.
class TemporaryHome
{
public:
    TemporaryHome()
        : m_oldHome(qgetenv("HOME"))
    {
        if (!m_dir.isValid())
            ADD_FAILURE() << "no temporary folder";
        qputenv("HOME", m_dir.path().toLocal8Bit());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, configFolder());
    }
    ~TemporaryHome() { qputenv("HOME", m_oldHome); }

    QString path() const { return m_dir.path(); }
    QString dataFolder() const { return m_dir.path() + QStringLiteral("/.zoz/"); }
    QString configFolder() const { return m_dir.path() + QStringLiteral("/.config"); }
    QString storeFile() const { return configFolder() + QStringLiteral("/Dadidozor DAZ/Radarovaz.ini"); }

private:
    QByteArray m_oldHome;
    QTemporaryDir m_dir;
};
