// Real ensembles through the FIC decoder.
#include "EtiTestReader.h"
#include "FicTestSupport.h"

#include <gtest/gtest.h>

#include <map>

using namespace ZOZ::Test;

namespace {

struct Decoded {
    DecoderPtr decoder = makeDecoder();
    size_t frames = 0;
};

Decoded decodeRecording(const char *name)
{
    Decoded out;
    const std::vector<EtiFic> fics = readEtiFics(testDataPath(name));
    out.frames = fics.size();
    for (const EtiFic &fic : fics)
        EXPECT_EQ(0, DAB_Bb_Ruz_FicDecoderPushFibs(out.decoder.get(), fic.bytes.data(), static_cast<uint8_t>(fic.numFibs())));
    return out;
}

std::map<uint32_t, FicServiceInfo> services(const FicDecoder *d)
{
    std::map<uint32_t, FicServiceInfo> out;
    const int count = DAB_Bb_Ruz_FicDecoderGetNumServices(d, 0);
    for (int i = 0; i < count; ++i) {
        FicServiceInfo info{};
        EXPECT_EQ(0, DAB_Bb_Ruz_FicDecoderGetService(d, 0, i, &info));
        out[info.serviceId] = info;
    }
    return out;
}

FicServiceComponentInfo primaryComponent(const FicDecoder *d, uint32_t serviceId)
{
    FicServiceComponentInfo info{};
    EXPECT_EQ(1, DAB_Bb_Ruz_FicDecoderGetNumServiceComponents(d, serviceId, 0));
    EXPECT_EQ(0, DAB_Bb_Ruz_FicDecoderGetServiceComponent(d, serviceId, 0, 0, &info));
    return info;
}

std::string trimmed(const uint8_t *label16)
{
    std::string text = label(label16);
    return text.substr(0, text.find_last_not_of(' ') + 1);
}

#define SKIP_WITHOUT(file)                                                                  \
    if (readFile(testDataPath(file)).empty())                                              \
    GTEST_SKIP() << "test recording " << file << " not found in " << ZOZ_TESTDATA_DIR

} // namespace

TEST(FicRecordings, SloveniaEnsembleServicesAndComponents)
{
    SKIP_WITHOUT("slovenia-r1.eti");
    const Decoded decoded = decodeRecording("slovenia-r1.eti");
    const FicDecoder *d = decoded.decoder.get();
    ASSERT_EQ(58u, decoded.frames);

    const auto ensemble = records(d, 1, 0);
    ASSERT_EQ(1u, ensemble.size());
    EXPECT_EQ(0x9200u, ensemble[0].u.fig1.id);
    EXPECT_EQ("MULTIPLEX R1", trimmed(ensemble[0].u.fig1.label));
    ASSERT_EQ(1u, records(d, 0, 0).size());
    EXPECT_EQ(0x9200, records(d, 0, 0)[0].u.fig0_0.eid);

    const std::map<uint32_t, const char *> expected = {
        {0x9201, "Slo 1 Prvi"},       {0x9202, "Slo 2 Val 202"},  {0x9203, "Slo 3 ARS"},
        {0x933A, "Slo Int Radio SI"}, {0x940B, "Radio Antena"},   {0x9414, "Radio Center Slo"},
        {0x942F, "Radio Ognjisce"},   {0x9436, "A-Radio"},        {0x9442, "Radio 1 DAB"},
        {0x9459, "Radio 2"},          {0x945B, "Radio BOB"},      {0x9462, "Glasbeni Radio"},
        {0x9516, "Rock Radio Slo"},   {0xE4910001, "Info"},       {0xE4910002, "Spored"},
    };
    const auto found = services(d);
    ASSERT_EQ(expected.size(), found.size());
    for (const auto &[serviceId, name] : expected) {
        SCOPED_TRACE(serviceId);
        ASSERT_TRUE(found.count(serviceId));
        const FicServiceInfo &s = found.at(serviceId);
        EXPECT_EQ(1, s.labelValid);
        EXPECT_EQ(name, trimmed(s.label));
        EXPECT_EQ(1, s.countryValid);
        EXPECT_EQ(0xE4, s.ecc); // Slovenia
        EXPECT_EQ(serviceId > 0xFFFF ? 1 : 0, s.isDataService);
        const FicServiceComponentInfo c = primaryComponent(d, serviceId);
        EXPECT_EQ(1, c.primary);
        EXPECT_EQ(1, c.scIdSValid);
        if (serviceId <= 0xFFFF) {
            EXPECT_EQ(0, c.tmId);
            EXPECT_EQ(63, c.ascTy); // DAB+
        }
    }

    const FicServiceComponentInfo journaline = primaryComponent(d, 0xE4910001);
    EXPECT_EQ(3, journaline.tmId);
    EXPECT_EQ(1, journaline.packetInfoValid);
    EXPECT_EQ(13, journaline.subChId);
    EXPECT_EQ(1, journaline.packetAddress);
    const FicServiceComponentInfo spi = primaryComponent(d, 0xE4910002);
    EXPECT_EQ(3, spi.tmId);
    EXPECT_EQ(1, spi.packetInfoValid);
    EXPECT_EQ(6, spi.subChId);
    EXPECT_EQ(2, spi.packetAddress);

    std::map<uint32_t, uint16_t> userApplications;
    for (const FicFigRecord &r : records(d, 0, 13)) {
        ASSERT_EQ(1, r.u.fig0_13.numApplications);
        userApplications[r.u.fig0_13.serviceId] = r.u.fig0_13.applications[0].type;
    }
    EXPECT_EQ(0x44A, userApplications[0xE4910001]);
    EXPECT_EQ(0x7, userApplications[0xE4910002]);
    int slideShows = 0;
    for (const auto &[serviceId, type] : userApplications)
        slideShows += type == 2 ? 1 : 0;
    EXPECT_EQ(8, slideShows);

    // Sub-channel 13 (Journaline, 8 kbit/s): EEP 3-A, 6 CUs.
    for (const FicFigRecord &r : records(d, 0, 1)) {
        if (r.u.fig0_1.subChId == 13) {
            EXPECT_EQ(1, r.u.fig0_1.longForm);
            EXPECT_EQ(6, r.u.fig0_1.size);
        }
    }
    EXPECT_EQ(15u, records(d, 0, 1).size());

    // Programme types; forward error correction on the two packet sub-channels.
    std::map<uint32_t, int> programmeTypes;
    for (const FicFigRecord &r : records(d, 0, 17)) {
        if (r.u.fig0_17.sd == 0 && r.u.fig0_17.ps == 0)
            programmeTypes[r.u.fig0_17.serviceId] = r.u.fig0_17.internationalCode;
    }
    EXPECT_EQ(13, programmeTypes[0x9203]); // Slo 3 ARS: light classical
    EXPECT_EQ(11, programmeTypes[0x9516]); // Rock Radio Slo
    const auto fec = records(d, 0, 14);
    ASSERT_EQ(2u, fec.size());
    EXPECT_EQ(6, fec[0].u.fig0_14.subChId);
    EXPECT_EQ(13, fec[1].u.fig0_14.subChId);
    EXPECT_EQ(1, fec[1].u.fig0_14.fecScheme);
    EXPECT_EQ(1u, records(d, 0, 10).size());
}

TEST(FicRecordings, NetherlandsAsRecordedIsRefusedByCrc)
{
    SKIP_WITHOUT("netherlands-dabplus.eti");
    const Decoded decoded = decodeRecording("netherlands-dabplus.eti");
    ASSERT_EQ(65u, decoded.frames);
    for (int type = 0; type < 3; ++type) {
        for (int extension = 0; extension < 32; ++extension) {
            EXPECT_EQ(nullptr, DAB_Bb_Ruz_FicDecoderGetFigList(decoded.decoder.get(), type, extension));
            EXPECT_EQ(0u, DAB_Bb_Ruz_FicDecoderGetFigCount(decoded.decoder.get(), type, extension));
        }
    }
    EXPECT_EQ(0, DAB_Bb_Ruz_FicDecoderGetNumServices(decoded.decoder.get(), 0));
}

TEST(FicRecordings, NetherlandsRepairedHasAudioServicesAndTpeg)
{
    SKIP_WITHOUT("netherlands-dabplus-fixed.eti");
    const Decoded decoded = decodeRecording("netherlands-dabplus-fixed.eti");
    const FicDecoder *d = decoded.decoder.get();
    EXPECT_EQ("DAB+", trimmed(records(d, 1, 0).at(0).u.fig1.label));

    int audio = 0;
    for (const auto &[serviceId, s] : services(d)) {
        SCOPED_TRACE(serviceId);
        EXPECT_EQ(1, s.labelValid);
        const FicServiceComponentInfo c = primaryComponent(d, serviceId);
        if (s.isDataService) {
            EXPECT_EQ(0xE3880101u, serviceId);
            EXPECT_EQ("TPEG 538", trimmed(s.label));
            EXPECT_EQ(3, c.tmId);
            EXPECT_EQ(1, c.packetInfoValid);
        } else {
            ++audio;
            EXPECT_EQ(0, c.tmId);
            EXPECT_EQ(63, c.ascTy);
            EXPECT_EQ(0xE3, s.ecc); // the Netherlands
        }
    }
    EXPECT_EQ(18, audio);
    EXPECT_EQ("Classic FM", trimmed(services(d).at(0x8806).label));
    const auto apps = records(d, 0, 13);
    ASSERT_EQ(1u, apps.size());
    EXPECT_EQ(0x4, apps[0].u.fig0_13.applications[0].type); // TPEG
}

TEST(FicRecordings, FibStoredOneBitPerByte)
{
    SKIP_WITHOUT("fib-as-bits.bin");
    const Bytes bits = readFile(testDataPath("fib-as-bits.bin"));
    ASSERT_EQ(256u, bits.size());
    Bytes packed(32, 0);
    for (size_t i = 0; i < bits.size(); ++i)
        packed[i / 8] |= static_cast<uint8_t>((bits[i] & 1) << (7 - i % 8));

    const uint16_t stored = static_cast<uint16_t>(packed[30] << 8 | packed[31]);
    EXPECT_EQ(stored, DAB_Bb_Ruz_Crc16(packed.data(), 30));

    DecoderPtr decoder = makeDecoder();
    ASSERT_EQ(0, pushFib(decoder.get(), packed));
    EXPECT_FALSE(records(decoder.get(), 0, 1).empty());
}
