// The bundled demo ensemble, served through the receiver library and decoded
// by the FIC decoder: the whole road the player takes at start-up.
#include "RTKDAB.h"

#include "DabFicDecoder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

std::mutex mutex;
std::vector<std::vector<uint8_t>> ficPieces;
std::vector<std::vector<uint8_t>> mscPieces;

void onFic(uint8_t *data, int length)
{
    std::lock_guard<std::mutex> guard(mutex);
    if (ficPieces.size() < 400)
        ficPieces.emplace_back(data, data + length);
}

void onMsc(uint8_t *data, int length, uint8_t)
{
    std::lock_guard<std::mutex> guard(mutex);
    if (mscPieces.size() < 50)
        mscPieces.emplace_back(data, data + length);
}

TEST(RtkdabDemo, TheDemoEnsembleDecodesToItsServices)
{
    const std::string folder = std::string(ZOZ_BINARY_DIR) + "/resources/demo";
    if (!std::filesystem::exists(folder + "/5C.eti"))
        GTEST_SKIP() << "no demo ensemble in " << folder;
    setenv("RTKDAB_SOURCE", folder.c_str(), 1);
    setenv("RTKDAB_SPEED", "0", 1);
    RTDAB_SetFICCallBack(onFic);
    RTDAB_SetMSCCallBack(onMsc);
    ASSERT_EQ(RTDAB_OpenDevice(), RTDAB_RESULT_SUCCESS);
    ASSERT_EQ(RTDAB_SetFreqAndBW(178352, 2), RTDAB_RESULT_SUCCESS);
    ASSERT_EQ(RTDAB_Start(), RTDAB_RESULT_SUCCESS);
    ASSERT_EQ(RTDAB_AddServiceCom(0, 1, 0, 1, 0, 2, 96, 0, 0), RTDAB_RESULT_SUCCESS);
    for (int i = 0; i < 500; ++i) {
        {
            std::lock_guard<std::mutex> guard(mutex);
            if (ficPieces.size() >= 400 && mscPieces.size() >= 50)
                break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(RTDAB_CloseDevice(), RTDAB_RESULT_SUCCESS);
    RTDAB_SetFICCallBack(nullptr);
    RTDAB_SetMSCCallBack(nullptr);

    FicDecoderConfig config;
    DAB_Bb_Ruz_FicDecoderGetDefaultConfig(&config);
    std::vector<uint8_t> memory(config.instanceSize);
    auto *decoder = reinterpret_cast<FicDecoder *>(memory.data());
    DAB_Bb_Ruz_FicDecoderInit(decoder);
    for (const auto &piece : ficPieces) {
        ASSERT_EQ(piece.size(), 96u);
        ASSERT_EQ(DAB_Bb_Ruz_FicDecoderPushFibs(decoder, piece.data(), 3), 0);
    }
    std::set<std::string> labels;
    for (const FicFigEntry *e = DAB_Bb_Ruz_FicDecoderGetFigList(decoder, 1, 1); e; e = DAB_Bb_Ruz_FicDecoderGetNext(e)) {
        FicFigRecord record;
        DAB_Bb_Ruz_FicDecoderGetFigData(e, &record);
        std::string label(reinterpret_cast<const char *>(record.u.fig1.label), 16);
        labels.insert(label.substr(0, label.find_last_not_of(' ') + 1));
    }
    EXPECT_EQ(labels, (std::set<std::string>{"ZOZ Classic", "ZOZ Talk", "ZOZ Jazz"}));
    EXPECT_EQ(DAB_Bb_Ruz_FicDecoderGetNumServices(decoder, 0), 3);
    // Sub-channel 1 carries 128 kbit/s Layer II: one 384-byte frame per piece.
    ASSERT_FALSE(mscPieces.empty());
    for (const auto &piece : mscPieces) {
        ASSERT_EQ(piece.size(), 384u);
        EXPECT_EQ(piece[0], 0xFF);
        EXPECT_EQ(piece[1] & 0xF0, 0xF0);
    }
}

} // namespace
