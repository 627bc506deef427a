// Device detection on a fake sysfs tree.
#include "ZOZUsbDevices.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

using namespace ZOZ;

void addDevice(const QTemporaryDir &root, const QString &name, const QByteArray &vendor, const QByteArray &product)
{
    QDir(root.path()).mkpath(name);
    for (const auto &[file, value] : {std::pair{QStringLiteral("idVendor"), vendor}, {QStringLiteral("idProduct"), product}}) {
        if (value.isNull())
            continue;
        QFile out(root.filePath(name + QLatin1Char('/') + file));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(value + "\n");
    }
}

TEST(UsbDevices, TheTableHoldsTheFourteenModels)
{
    const QVector<UsbVendorEntry> table = supportedDeviceTable();
    ASSERT_EQ(table.size(), 1);
    const int expected[] = {600, 700, 800, 900, 1030, 1020, 1000, 1001, 1040, 1050, 1060, 1070, 1010, 2000};
    ASSERT_EQ(table[0].products.size(), 14);
    for (int i = 0; i < 14; ++i) {
        EXPECT_EQ(table[0].products[i].modelCode, expected[i]);
        EXPECT_EQ(table[0].products[i].productId.size(), 4);
        EXPECT_EQ(table[0].products[i].productId, table[0].products[i].productId.toLower());
    }
    EXPECT_EQ(table[0].vendorId, "0bda");
}

TEST(UsbDevices, HardwareIdsMatchOnlyAfterVidAndPid)
{
    const QVector<UsbVendorEntry> table = {
        {"0bda", {{"2832", 600}, {"2838", 0}, {"2839", 700}}},
    };
    const struct {
        const char *name;
        QByteArray id;
        int expected;
    } rows[] = {
        {"plain", "usb\\vid_0bda&pid_2832", 600},
        {"upper case", "USB\\VID_0BDA&PID_2832&REV_0100", 600},
        {"product not after pid", "usb\\vid_0bda&xyz_2832", 0},
        {"vendor not after vid", "usb\\xid_0bda&pid_2832", 0},
        {"vendor only in product place", "usb\\vid_1234&pid_0bda", 0},
        {"first occurrence of the product decides", "usb\\vid_0bda&2832&pid_2832", 0},
        {"other vendor", "usb\\vid_1d6b&pid_0002", 0},
        {"model code 0 does not count", "usb\\vid_0bda&pid_2838", 0},
        {"too short", "0bda", 0},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(modelCodeOfHardwareId(row.id, table), row.expected);
    }
}

TEST(UsbDevices, ScansAFakeSysfsTree)
{
    QTemporaryDir root;
    addDevice(root, QStringLiteral("1-0:1.0"), QByteArray(), QByteArray());  // an interface: no ids
    addDevice(root, QStringLiteral("usb1"), "1d6b", "0002");                   // root hub
    addDevice(root, QStringLiteral("1-1"), "0BDA", "2838");                    // upper case in the file
    addDevice(root, QStringLiteral("1-2"), "0bda", QByteArray());              // half a device
    const QVector<QByteArray> ids = presentUsbHardwareIds(root.path());
    EXPECT_EQ(ids, (QVector<QByteArray>{"usb\\vid_0bda&pid_2838", "usb\\vid_1d6b&pid_0002"}));

    qunsetenv("RTKDAB_SOURCE");
    EXPECT_EQ(usbDeviceSupported(root.path()), 700);
}

TEST(UsbDevices, AConfiguredSourceAddsOneVirtualStick)
{
    QTemporaryDir root;
    addDevice(root, QStringLiteral("usb1"), "1d6b", "0002");
    qunsetenv("RTKDAB_SOURCE");
    EXPECT_EQ(usbDeviceSupported(root.path()), 0);
    EXPECT_EQ(usbDeviceSupported(root.filePath(QStringLiteral("missing"))), 0);
    qputenv("RTKDAB_SOURCE", "/somewhere/recordings");
    EXPECT_EQ(usbDeviceSupported(root.path()), 600);
    EXPECT_EQ(modelCodeOfHardwareId(virtualDeviceHardwareId(), supportedDeviceTable()), 600);
    // A real stick comes first.
    addDevice(root, QStringLiteral("2-1"), "0bda", "283e");
    EXPECT_EQ(usbDeviceSupported(root.path()), 2000);
    qunsetenv("RTKDAB_SOURCE");
}

} // namespace
