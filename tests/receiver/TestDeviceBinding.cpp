#include "ReceiverTestSupport.h"
#include "ScriptedLibrary.h"

#include "ZOZRtkLibrary.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

using namespace ZOZ;
using namespace ZOZ::Test;

namespace {

TEST(DeviceDetection, IdsCountOnlyAfterTheirTags)
{
    buildSupportedDeviceTable();
    ASSERT_FALSE(supportedDevices().isEmpty());
    const QByteArray vendor = supportedDevices().first().vendorId;
    const UsbProductEntry product = supportedDevices().first().products.first();
    const struct
    {
        const char *name;
        QByteArray id;
        int model;
    } cases[] = {
        { "vendor and product in place", "usb\\vid_" + vendor + "&pid_" + product.productId, product.modelCode },
        { "upper case", ("USB\\VID_" + vendor + "&PID_" + product.productId).toUpper(), product.modelCode },
        { "product id not after pid", "usb\\vid_" + vendor + "&xyz_" + product.productId, 0 },
        { "vendor id not after vid", "usb\\xyz_" + vendor + "&pid_" + product.productId, 0 },
        { "unknown product", "usb\\vid_" + vendor + "&pid_ffff", 0 },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(matchSupportedDevice({ c.id }), c.model);
    }
    // The search goes on past devices that do not match.
    EXPECT_EQ(matchSupportedDevice({ "usb\\vid_1d6b&pid_0002", "usb\\vid_" + vendor + "&pid_" + product.productId }),
              product.modelCode);
}

TEST(DeviceDetection, SysfsDevicesBecomeHardwareIds)
{
    QTemporaryDir sysfs;
    auto device = [&](const QString &name, const QByteArray &vendor, const QByteArray &product) {
        QDir().mkpath(sysfs.path() + QLatin1Char('/') + name);
        QFile v(sysfs.path() + QLatin1Char('/') + name + QStringLiteral("/idVendor"));
        QFile p(sysfs.path() + QLatin1Char('/') + name + QStringLiteral("/idProduct"));
        v.open(QIODevice::WriteOnly);
        v.write(vendor + "\n");
        p.open(QIODevice::WriteOnly);
        p.write(product + "\n");
    };
    device(QStringLiteral("1-1"), "0BDA", "2838");
    device(QStringLiteral("usb2"), "1d6b", "0002");
    QDir().mkpath(sysfs.path() + QStringLiteral("/1-1:1.0")); // an interface: no ids
    QList<QByteArray> ids = usbHardwareIds(sysfs.path());
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (QList<QByteArray>{ "usb\\vid_0bda&pid_2838", "usb\\vid_1d6b&pid_0002" }));
}

TEST(ReceiverSingleton, SecondInstanceIsTheFirstAndDestroyTwiceIsHarmless)
{
    ReceiverEnvironment environment;
    Receiver *first = Receiver::instance();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(Receiver::instance(), first);
    EXPECT_EQ(Receiver::existingInstance(), first);
    Receiver::destroyInstance();
    EXPECT_EQ(Receiver::existingInstance(), nullptr);
    Receiver::destroyInstance();
}

TEST(ReceiverStart, OtherFrontEndModeNeverOpensTheStick)
{
    ReceiverEnvironment environment; // front-end mode "none"
    ScriptedLibrary::reset();
    Receiver receiver;
    receiver.setDataFolder(environment.dataFolder());
    receiver.setLibrary(&ScriptedLibrary::api());
    receiver.setDeviceProbe([] { return 600; });
    int dataReady = 0;
    QObject::connect(&receiver, &Receiver::dataReady, [&] { ++dataReady; });
    ASSERT_TRUE(receiver.init(environment.settings));
    receiver.tickDabUsb();
    QCoreApplication::processEvents();
    EXPECT_TRUE(ScriptedLibrary::current().calls.isEmpty());
    EXPECT_EQ(dataReady, 0);
    EXPECT_FALSE(receiver.init(nullptr));
}

} // namespace
