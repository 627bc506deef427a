#pragma once

#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace ZOZTest {

// A temporary home whose data folder holds a "style/" root, so that web paths
// resolve to files the test writes.
class StyleFolder : public ::testing::Test
{
protected:
    // Writes style/<path> below the data folder.
    void writeFile(const QString &path, const QByteArray &content)
    {
        const QString full = folder() + QStringLiteral("style/") + path;
        QDir().mkpath(QFileInfo(full).path());
        QFile file(full);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }

    // The data folder, with a trailing "/".
    QString folder() const { return m_home.dataFolder(); }

private:
    TemporaryHome m_home;
};

} // namespace ZOZTest
