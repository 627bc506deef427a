#include "ZOZRtkLibrary.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QMutex>
#include <QMutexLocker>

#include <cstdio>
#include <memory>

namespace ZOZ {

QString rtkResultText(int32_t result)
{
    switch (result) {
    case RtkFailed:
        return QStringLiteral("failed");
    case RtkSuccess:
        return QStringLiteral("success");
    case RtkNoDevice:
        return QStringLiteral("no device found");
    case RtkNoSuchComponent:
        return QStringLiteral("no such service component");
    case RtkAlreadySelected:
        return QStringLiteral("already selected service component");
    default:
        return QStringLiteral("unknown");
    }
}

namespace {

const char *const LibraryName = "RTKDAB";

struct LoadedLibrary
{
    std::unique_ptr<QLibrary> library;
    RtkApi api;
    int references = 0;
    bool loaded = false;
};

LoadedLibrary &loadedLibrary()
{
    static LoadedLibrary instance;
    return instance;
}

template<typename Function>
bool resolve(QLibrary &library, const char *name, Function &target)
{
    target = reinterpret_cast<Function>(library.resolve(name));
    return target != nullptr;
}

bool resolveAll(QLibrary &library, RtkApi &api)
{
    return resolve(library, "RTDAB_AddServiceCom", api.AddServiceCom)
        && resolve(library, "RTDAB_ChangeSCOrg", api.ChangeSCOrg)
        && resolve(library, "RTDAB_CloseDevice", api.CloseDevice)
        && resolve(library, "RTDAB_DebugCMD", api.DebugCMD)
        && resolve(library, "RTDAB_DelServiceCom", api.DelServiceCom)
        && resolve(library, "RTDAB_GetFreqAndBW", api.GetFreqAndBW)
        && resolve(library, "RTDAB_GetSignalLock", api.GetSignalLock)
        && resolve(library, "RTDAB_GetSignalPresent", api.GetSignalPresent)
        && resolve(library, "RTDAB_GetSignalQuality", api.GetSignalQuality)
        && resolve(library, "RTDAB_GetSignalStrength", api.GetSignalStrength)
        && resolve(library, "RTDAB_GetTunerRange", api.GetTunerRange)
        && resolve(library, "RTDAB_OpenDevice", api.OpenDevice)
        && resolve(library, "RTDAB_SetFICCallBack", api.SetFICCallBack)
        && resolve(library, "RTDAB_SetFreqAndBW", api.SetFreqAndBW)
        && resolve(library, "RTDAB_SetMSCCallBack", api.SetMSCCallBack)
        && resolve(library, "RTDAB_SetPacketCallBack", api.SetPacketCallBack)
        && resolve(library, "RTDAB_SetStreamDataCallBack", api.SetStreamDataCallBack)
        && resolve(library, "RTDAB_Start", api.Start)
        && resolve(library, "RTDAB_Stop", api.Stop);
}

QMutex deviceMutex;
QVector<UsbVendorEntry> deviceTable;

QByteArray hex4(int value)
{
    return QByteArray::number(value, 16).rightJustified(4, '0');
}

} // namespace

bool rtkLoadLibrary(const QString &directory)
{
    LoadedLibrary &state = loadedLibrary();
    ++state.references;
    if (state.library)
        return state.loaded;

    QStringList candidates;
    if (!directory.isEmpty())
        candidates << QDir(directory).filePath(QLatin1String(LibraryName));
    if (QCoreApplication::instance())
        candidates << QDir(QCoreApplication::applicationDirPath()).filePath(QLatin1String(LibraryName));
    candidates << QLatin1String(LibraryName);

    auto library = std::make_unique<QLibrary>();
    bool found = false;
    QString lastError;
    for (const QString &candidate : candidates) {
        library->setFileName(candidate);
        if (library->load()) {
            found = true;
            break;
        }
        lastError = library->errorString();
    }
    if (!found) {
        std::printf("%s\n", qPrintable(lastError.left(256)));
        --state.references;
        return false;
    }
    RtkApi api;
    if (!resolveAll(*library, api)) {
        library->unload();
        --state.references;
        return false;
    }
    state.api = api;
    state.library = std::move(library);
    state.loaded = true;
    return true;
}

bool rtkUnloadLibrary()
{
    LoadedLibrary &state = loadedLibrary();
    if (state.references > 0 && --state.references > 0)
        return false;
    if (state.library) {
        state.library->unload();
        state.library.reset();
    }
    state.loaded = false;
    state.api = RtkApi();
    return true;
}

bool rtkIsLoaded()
{
    return loadedLibrary().loaded;
}

const RtkApi *rtkLoadedApi()
{
    const LoadedLibrary &state = loadedLibrary();
    return state.loaded ? &state.api : nullptr;
}

void buildSupportedDeviceTable()
{
    if (!deviceMutex.tryLock())
        return;
    // Our own table of sticks, by the model codes the themes know.
    static constexpr int VendorId = 0x0bda;
    static constexpr struct { int productId; int modelCode; } Products[] = {
        { 0x2831, 600 }, { 0x2832, 700 }, { 0x2833, 800 }, { 0x2834, 900 }, { 0x2835, 1030 },
        { 0x2836, 1020 }, { 0x2837, 1000 }, { 0x2839, 1001 }, { 0x283a, 1040 }, { 0x283b, 1050 },
        { 0x283c, 1060 }, { 0x283d, 1070 }, { 0x283e, 1010 }, { 0x283f, 2000 },
    };
    deviceTable.clear();
    UsbVendorEntry vendor;
    vendor.vendorId = hex4(VendorId);
    for (const auto &product : Products)
        vendor.products.append({ hex4(product.productId), product.modelCode });
    deviceTable.append(vendor);
    deviceMutex.unlock();
}

const QVector<UsbVendorEntry> &supportedDevices()
{
    return deviceTable;
}

int matchSupportedDevice(const QList<QByteArray> &hardwareIds)
{
    QMutexLocker locker(&deviceMutex);
    // An id counts only where it follows its tag: "vid_" before the vendor,
    // "pid_" before the product.
    auto tagged = [](const QByteArray &id, const QByteArray &value, const char *tag) {
        const qsizetype at = id.indexOf(value);
        return at >= 4 && id.mid(at - 4, 3) == tag;
    };
    for (const QByteArray &rawId : hardwareIds) {
        const QByteArray id = rawId.toLower();
        for (const UsbVendorEntry &vendor : deviceTable) {
            if (!tagged(id, vendor.vendorId, "vid"))
                continue;
            for (const UsbProductEntry &product : vendor.products) {
                if (tagged(id, product.productId, "pid")) {
                    if (product.modelCode != 0)
                        return product.modelCode;
                    break;
                }
            }
        }
    }
    return 0;
}

QList<QByteArray> usbHardwareIds(const QString &sysfsDevices)
{
    QList<QByteArray> ids;
    const QDir folder(sysfsDevices);
    for (const QString &device : folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System)) {
        QFile vendorFile(folder.filePath(device + QStringLiteral("/idVendor")));
        QFile productFile(folder.filePath(device + QStringLiteral("/idProduct")));
        if (!vendorFile.open(QIODevice::ReadOnly) || !productFile.open(QIODevice::ReadOnly))
            continue;
        const QByteArray vendor = vendorFile.read(16).trimmed().toLower();
        const QByteArray product = productFile.read(16).trimmed().toLower();
        ids.append("usb\\vid_" + vendor + "&pid_" + product);
    }
    return ids;
}

int usbDeviceSupported()
{
    buildSupportedDeviceTable();
    QList<QByteArray> ids = usbHardwareIds();
    if (!qEnvironmentVariableIsEmpty("RTKDAB_SOURCE")) {
        QMutexLocker locker(&deviceMutex);
        if (!deviceTable.isEmpty() && !deviceTable.first().products.isEmpty())
            ids.append("usb\\vid_" + deviceTable.first().vendorId + "&pid_"
                       + deviceTable.first().products.first().productId);
    }
    return matchSupportedDevice(ids);
}

} // namespace ZOZ
