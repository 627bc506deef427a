#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace ZOZTest {

// A temporary working folder with a "style/" root, made current for the test,
// so that web paths resolve to files the test writes.
class StyleFolder : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        m_previous = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(m_folder.path()));
    }

    void TearDown() override { QDir::setCurrent(m_previous); }

    // Writes style/<path> below the working folder.
    void writeFile(const QString &path, const QByteArray &content)
    {
        const QString full = m_folder.filePath(QStringLiteral("style/") + path);
        QDir().mkpath(QFileInfo(full).path());
        QFile file(full);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }

    QString folder() const { return m_folder.path(); }

private:
    QTemporaryDir m_folder;
    QString m_previous;
};

} // namespace ZOZTest
