#include "base/ZOZVersion.h"

#include <QDate>

#include <gtest/gtest.h>

TEST(Version, CompilerDateToIso)
{
    EXPECT_EQ(ZOZ::compilerDateToIso("Apr 17 2020").toStdString(), "2020-04-17");
    EXPECT_EQ(ZOZ::compilerDateToIso("Apr  7 2020").toStdString(), "2020-04-07");
    EXPECT_EQ(ZOZ::compilerDateToIso("Apr 7 2020").toStdString(), "2020-04-07");
    EXPECT_TRUE(ZOZ::compilerDateToIso("17.04.2020").isEmpty());
    EXPECT_TRUE(ZOZ::compilerDateToIso(nullptr).isEmpty());
}

TEST(Version, BuildDateIsThisBuild)
{
    const QString stamp = ZOZ::buildDateTime();
    const QDate date = QDate::fromString(stamp.left(10), QStringLiteral("yyyy-MM-dd"));
    ASSERT_TRUE(date.isValid()) << stamp.toStdString();
    EXPECT_LE(date, QDate::currentDate());
    EXPECT_GE(date, QDate(2026, 1, 1));
    EXPECT_EQ(stamp.mid(10, 1).toStdString(), " ");
    EXPECT_EQ(stamp.size(), 19);
}

TEST(Version, ReportStartsWithProgramAndToolkit)
{
    const QList<ZOZ::VersionPair> report = ZOZ::versionReport();
    ASSERT_GE(report.size(), 3);
    EXPECT_EQ(report[0].name.toStdString(), "Radarovaz");
    EXPECT_EQ(report[0].version.toStdString(), ZOZ::versionStringLong());
    EXPECT_EQ(report[1].name.toStdString(), "Qt");
    EXPECT_EQ(report[1].version.toStdString(), std::string("v") + qVersion());
    EXPECT_EQ(report.last().name.toStdString(), "zlib");
}

TEST(Version, ToolkitVersionNamesAMismatch)
{
    EXPECT_EQ(ZOZ::toolkitVersionText(QStringLiteral("6.4.2"), QStringLiteral("6.4.2")).toStdString(), "v6.4.2");
    EXPECT_EQ(ZOZ::toolkitVersionText(QStringLiteral("6.5.0"), QStringLiteral("6.4.2")).toStdString(),
              "v6.5.0 (compiled with: 6.4.2)");
}
