// The service list export: the readable table and the CSV file, byte for byte.
#include "ZOZServiceListExport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace Export = ZOZ::ServiceListExport;

namespace {

const QDateTime Now(QDate(2026, 12, 10), QTime(21, 5));

QVector<Export::Ensemble> fixture()
{
    Export::Entry plain;
    plain.label = QStringLiteral("Radio 1");
    plain.serviceIdentifier = 0x1C0000D201LL; // printed as its low 32 bits
    plain.streamId = 3;
    plain.shortId = 7;
    plain.audioClassification = QStringLiteral("DAB+");

    Export::Entry decoded;
    decoded.label = QStringLiteral("A label longer than sixteen");
    decoded.serviceIdentifier = 0xD202;
    decoded.streamId = 12;
    decoded.shortId = 1;
    decoded.codec = QStringLiteral("HE-AACv2");
    decoded.audioClassification = QStringLiteral("DAB+");
    decoded.bitRate = 96000;
    decoded.children = {{QStringLiteral("Slideshow"), 3, 12}, {QStringLiteral("EPG"), 14, 1023}};

    Export::Entry data;
    data.label = QStringLiteral("News; \"Data\"");
    data.serviceIdentifier = 0xE4D2F001;
    data.streamId = 5;
    data.isData = true;

    Export::Ensemble mux {QStringLiteral("Test Mux"), 0x10BC, {plain, decoded, data}};
    Export::Ensemble empty {QString(), -1, {}};
    return {mux, empty};
}

} // namespace

TEST(ServiceListExport, TableAndCsvAreExact)
{
    const Export::Files files = Export::format(fixture(), Now);
    EXPECT_EQ(files.text.toStdString(),
              "Radarovaz Service List Extract (2026/12/10 21:05)\r\n"
              "\r\n"
              "Ensemble: Test Mux (0x10bc)\r\n"
              "           Radio 1 (0xd201    )  DAB+            0.0 kBit/s [ 3, 7] \r\n"
              "  A label longer than sixteen (0xd202    )  HE-AACv2       96.0 kBit/s [12, 1]  PAD: Slideshow [ 3|12], EPG [14|1023]\r\n"
              "      News; \"Data\" (0xe4d2f001)  PacketMode    ----- kBit/s [ 5] \r\n"
              "\r\n"
              "\r\n");
    EXPECT_EQ(files.csv.toStdString(),
              "Ensemble;Service label;Mode;Bitrate (kBit/s);EnsembleID;ServiceID;SubChId;PAD\r\n"
              "Test Mux;Radio 1;DAB+;0.0;0x10bc;0xd201;0x3;\r\n"
              "Test Mux;A label longer than sixteen;HE-AACv2;96.0;0x10bc;0xd202;0xc; Slideshow [ 3|12], EPG [14|1023]\r\n"
              "Test Mux;\"News; \"\"Data\"\"\";PacketMode;0;0x10bc;0xe4d2f001;0x5;\r\n");
}

TEST(ServiceListExport, LineBreaksInLabelsStayInTheirLine)
{
    QVector<Export::Ensemble> ensembles = fixture();
    ensembles[0].services[0].label = QStringLiteral("Two\r\nLines");
    const Export::Files files = Export::format(ensembles, Now);
    EXPECT_TRUE(files.text.contains(QStringLiteral("      Two  Lines (0xd201    )")));
    EXPECT_TRUE(files.csv.contains(QStringLiteral("Test Mux;\"Two\r\nLines\";DAB+;")));
    // Header, three services: every other line break is inside a quoted field.
    EXPECT_EQ(files.csv.count(QStringLiteral("\r\n")), 5);
}

TEST(ServiceListExport, BothFilesAreWrittenWholeOrNotAtAll)
{
    QTemporaryDir folder;
    ASSERT_TRUE(Export::write(folder.path(), fixture(), Now));
    const Export::Files expected = Export::format(fixture(), Now);
    QFile text(QDir(folder.path()).filePath(QStringLiteral("zoz.ServiceList.txt")));
    QFile csv(QDir(folder.path()).filePath(QStringLiteral("zoz.ServiceList.csv")));
    ASSERT_TRUE(text.open(QIODevice::ReadOnly));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_EQ(text.readAll(), expected.text.toUtf8());
    EXPECT_EQ(csv.readAll(), expected.csv.toUtf8());
    text.close();
    csv.close();

    // A CSV file that cannot be replaced (a folder stands in its place): the
    // table already there stays as it was too.
    ASSERT_TRUE(csv.remove());
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("zoz.ServiceList.csv")));
    QVector<Export::Ensemble> changed = fixture();
    changed[0].label = QStringLiteral("Other Mux");
    EXPECT_FALSE(Export::write(folder.path(), changed, Now));
    ASSERT_TRUE(text.open(QIODevice::ReadOnly));
    EXPECT_EQ(text.readAll(), expected.text.toUtf8());
    EXPECT_FALSE(Export::write(folder.path() + QStringLiteral("/missing"), changed, Now));
}
