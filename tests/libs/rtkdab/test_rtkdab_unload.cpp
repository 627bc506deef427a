// The program loads the library by name and unloads it at shutdown: unloading
// a running library must end its thread before the code goes away.
#include "RTKDAB.h"
#include "etifixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <dlfcn.h>
#include <thread>

namespace {

std::atomic<int> ficPieces{0};

void onFic(uint8_t *, int)
{
    ++ficPieces;
}

const char *const Names[] = {
    "RTDAB_AddServiceCom", "RTDAB_ChangeSCOrg", "RTDAB_CloseDevice", "RTDAB_DebugCMD",
    "RTDAB_DelServiceCom", "RTDAB_GetFreqAndBW", "RTDAB_GetSignalLock", "RTDAB_GetSignalPresent",
    "RTDAB_GetSignalQuality", "RTDAB_GetSignalStrength", "RTDAB_GetTunerRange", "RTDAB_OpenDevice",
    "RTDAB_SetFICCallBack", "RTDAB_SetFreqAndBW", "RTDAB_SetMSCCallBack", "RTDAB_SetPacketCallBack",
    "RTDAB_SetStreamDataCallBack", "RTDAB_Start", "RTDAB_Stop",
};

TEST(RtkdabUnload, AllNineteenFunctionsResolveAndUnloadingStopsDelivery)
{
    char pattern[] = "/tmp/rtkdab-unload-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::filesystem::path folder = pattern;
    EtiFixture::writeRecording(folder / "5C.eti", 4);
    setenv("RTKDAB_SOURCE", folder.c_str(), 1);
    setenv("RTKDAB_SPEED", "0", 1);

    void *library = dlopen(RTKDAB_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    for (const char *name : Names)
        EXPECT_NE(dlsym(library, name), nullptr) << name;

    auto setFic = reinterpret_cast<decltype(&RTDAB_SetFICCallBack)>(dlsym(library, "RTDAB_SetFICCallBack"));
    auto open = reinterpret_cast<decltype(&RTDAB_OpenDevice)>(dlsym(library, "RTDAB_OpenDevice"));
    auto tune = reinterpret_cast<decltype(&RTDAB_SetFreqAndBW)>(dlsym(library, "RTDAB_SetFreqAndBW"));
    auto start = reinterpret_cast<decltype(&RTDAB_Start)>(dlsym(library, "RTDAB_Start"));
    ASSERT_EQ(setFic(onFic), 1);
    ASSERT_EQ(open(), 1);
    ASSERT_EQ(tune(178352, 2), 1);
    ASSERT_EQ(start(), 1);
    while (ficPieces < 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));

    ASSERT_EQ(dlclose(library), 0);
    const int seen = ficPieces;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(ficPieces.load(), seen);
    std::filesystem::remove_all(folder);
}

} // namespace
