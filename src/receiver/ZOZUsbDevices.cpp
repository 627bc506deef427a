#include "ZOZUsbDevices.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>

namespace ZOZ {

namespace {

// Realtek RTL2832U-based DAB sticks: product ids with their model codes.
constexpr unsigned SupportedVendor = 0x0bda;
constexpr struct {
    unsigned productId;
    int modelCode;
} SupportedProducts[] = {
    {0x2832, 600},  {0x2838, 700},  {0x2831, 800},  {0x2833, 900},  {0x2834, 1030},
    {0x2835, 1020}, {0x2836, 1000}, {0x2837, 1001}, {0x2839, 1040}, {0x283a, 1050},
    {0x283b, 1060}, {0x283c, 1070}, {0x283d, 1010}, {0x283e, 2000},
};

QMutex deviceMutex;
QVector<UsbVendorEntry> deviceTable;

QByteArray hexId(unsigned value)
{
    return QByteArray::number(value, 16).rightJustified(4, '0');
}

void buildTableLocked()
{
    deviceTable.clear();
    UsbVendorEntry vendor;
    vendor.vendorId = hexId(SupportedVendor);
    for (const auto &product : SupportedProducts)
        vendor.products.append({hexId(product.productId), product.modelCode});
    deviceTable.append(vendor);
}

// True when the first occurrence of `id` stands four places after `prefix`.
bool standsAfter(const QByteArray &hardwareId, const QByteArray &id, const char *prefix)
{
    const qsizetype at = hardwareId.indexOf(id);
    return at >= 4 && hardwareId.mid(at - 4, 3) == prefix;
}

QByteArray readSysfsValue(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // sysfs values are one short line; more is not an id.
    return file.read(16).trimmed().toLower();
}

} // namespace

void buildSupportedDeviceTable()
{
    if (!deviceMutex.tryLock())
        return;
    buildTableLocked();
    deviceMutex.unlock();
}

QVector<UsbVendorEntry> supportedDeviceTable()
{
    QMutexLocker locker(&deviceMutex);
    if (deviceTable.isEmpty())
        buildTableLocked();
    return deviceTable;
}

QVector<QByteArray> presentUsbHardwareIds(const QString &sysfsDevices)
{
    QVector<QByteArray> ids;
    const QDir folder(sysfsDevices);
    const QStringList entries = folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
    for (const QString &entry : entries) {
        const QByteArray vendor = readSysfsValue(folder.filePath(entry + QStringLiteral("/idVendor")));
        const QByteArray product = readSysfsValue(folder.filePath(entry + QStringLiteral("/idProduct")));
        if (vendor.isEmpty() || product.isEmpty())
            continue;
        ids.append("usb\\vid_" + vendor + "&pid_" + product);
    }
    return ids;
}

int modelCodeOfHardwareId(const QByteArray &hardwareId, const QVector<UsbVendorEntry> &table)
{
    const QByteArray id = hardwareId.toLower();
    for (const UsbVendorEntry &vendor : table) {
        if (!standsAfter(id, vendor.vendorId, "vid"))
            continue;
        for (const UsbProductEntry &product : vendor.products)
            if (standsAfter(id, product.productId, "pid"))
                return product.modelCode;
    }
    return 0;
}

QByteArray virtualDeviceHardwareId()
{
    return "usb\\vid_" + hexId(SupportedVendor) + "&pid_" + hexId(SupportedProducts[0].productId);
}

int usbDeviceSupported(const QString &sysfsDevices)
{
    QVector<QByteArray> ids = presentUsbHardwareIds(sysfsDevices);
    if (!qEnvironmentVariableIsEmpty("RTKDAB_SOURCE"))
        ids.append(virtualDeviceHardwareId());
    QMutexLocker locker(&deviceMutex);
    if (deviceTable.isEmpty())
        buildTableLocked();
    for (const QByteArray &id : ids) {
        const int modelCode = modelCodeOfHardwareId(id, deviceTable);
        if (modelCode != 0)
            return modelCode;
    }
    return 0;
}

} // namespace ZOZ
