#include "ReceiverTestSupport.h"
#include "ScriptedLibrary.h"


#include <QCoreApplication>

using namespace ZOZ;
using namespace ZOZ::Test;

namespace {

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
