#include "web/ZOZResourcePath.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace ZOZ;

// The program's own resource bundle: what a browser asks for as favicon.ico
// comes from it when no style folder has one.
TEST(BuiltInResources, ApplicationIconIsCompiledIn)
{
    const QString path = resolveResourcePath(QStringLiteral("style/"), QString(), QStringLiteral("/favicon.ico"), QString());
    ASSERT_EQ(path, QString::fromLatin1(ApplicationIconResource));
    QFile icon(path);
    ASSERT_TRUE(icon.open(QIODevice::ReadOnly));
    const QByteArray header = icon.read(6);
    EXPECT_EQ(header, QByteArray("\0\0\1\0\1\0", 6));
}
