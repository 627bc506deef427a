#pragma once

#include "ZOZRtkApi.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

namespace ZOZ {

// The receiver library, loaded at run time by name and reference counted.
// Loading and unloading happen on the main thread at start-up and shutdown
// and on the receiver thread when it reopens the stick.

// Loads libRTKDAB.so (from `directory` first when given, then the program's
// folder, then the system's library path) and resolves all 19 functions.
bool rtkLoadLibrary(const QString &directory = QString());
// Drops one reference; true when the library was unloaded (or was not loaded).
bool rtkUnloadLibrary();
bool rtkIsLoaded();
// The resolved functions while the library is loaded, else null.
const RtkApi *rtkLoadedApi();

// Supported sticks: vendor id, product ids and the model code of each.
struct UsbProductEntry
{
    QByteArray productId; // four lower-case hexadecimal digits
    int modelCode;
};
struct UsbVendorEntry
{
    QByteArray vendorId;
    QVector<UsbProductEntry> products;
};

void buildSupportedDeviceTable();
const QVector<UsbVendorEntry> &supportedDevices();
// Model code of the first supported device among hardware ids of the form
// "usb\vid_xxxx&pid_yyyy" (lower case); 0 when none matches.
int matchSupportedDevice(const QList<QByteArray> &hardwareIds);
// Hardware ids of the USB devices below a sysfs devices folder.
QList<QByteArray> usbHardwareIds(const QString &sysfsDevices = QStringLiteral("/sys/bus/usb/devices"));
// The model code of the first supported stick that is present. A configured
// receiver source (RTKDAB_SOURCE) counts as one supported stick.
int usbDeviceSupported();

} // namespace ZOZ
