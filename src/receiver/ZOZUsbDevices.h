// Recognising a supported receiver stick among the present USB devices, by
// hardware ids of the form "usb\vid_xxxx&pid_yyyy" read from sysfs.
#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

namespace ZOZ {

struct UsbProductEntry {
    QByteArray productId;  // four lower-case hexadecimal digits
    int modelCode = 0;
};

struct UsbVendorEntry {
    QByteArray vendorId;  // four lower-case hexadecimal digits
    QVector<UsbProductEntry> products;
};

// Builds the table of supported sticks; does nothing while another thread
// holds the device mutex (it is building the table or enumerating).
void buildSupportedDeviceTable();

// A copy of the table, built first when it is empty.
QVector<UsbVendorEntry> supportedDeviceTable();

// Hardware ids of the USB devices under `sysfsDevices` (each folder with
// idVendor and idProduct), lower-cased, in folder name order.
QVector<QByteArray> presentUsbHardwareIds(const QString &sysfsDevices = QStringLiteral("/sys/bus/usb/devices"));

// Model code of `hardwareId` in `table`, 0 when nothing matches: the vendor id
// must stand four places after "vid", the product id four places after "pid".
int modelCodeOfHardwareId(const QByteArray &hardwareId, const QVector<UsbVendorEntry> &table);

// Model code of the first present device that matches, 0 when none does. A
// configured ETI source (RTKDAB_SOURCE) counts as one virtual supported stick
// after the real ones.
int usbDeviceSupported(const QString &sysfsDevices = QStringLiteral("/sys/bus/usb/devices"));

// Hardware id of the virtual stick that a configured source adds.
QByteArray virtualDeviceHardwareId();

} // namespace ZOZ
