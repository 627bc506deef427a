// A generated ensemble, read back through the ETI parser and the FIC decoder
// library, must say what its description says.
#include "EnsembleGenerator.h"
#include "Figs.h"

#include "DabCrc16.h"
#include "DabFicDecoder.h"
#include "zoz_eti.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace ZOZ::EnsembleGen;
using Bytes = std::vector<uint8_t>;

EnsembleDescription sampleEnsemble()
{
    EnsembleDescription d;
    d.eid = 0xE123;
    d.ecc = 0xE1;
    d.localTimeOffset = 2;
    d.label = {"ZOZ Test", 0xF000};
    d.time = DateTime{2026, 12, 10, 13, 59, 58};

    SubChannel music;
    music.id = 1;
    music.bitRate = 128;
    music.protection = {true, false, 3, 0};
    SubChannel plus;
    plus.id = 2;
    plus.bitRate = 64;
    plus.protection = {true, true, 2, 0};
    plus.fecScheme = 0;
    SubChannel uep;
    uep.id = 3;
    uep.protection.isEep = false;
    uep.protection.uepIndex = 14;
    SubChannel packet;
    packet.id = 9;
    packet.bitRate = 16;
    packet.protection = {true, false, 3, 0};
    packet.fecScheme = 1;
    d.subChannels = {music, plus, uep, packet};

    Service one;
    one.sid = 0xE1C1;
    one.label = {"Tone One", 0xFF00};
    one.extendedLabel = ExtendedLabel{"Töne Eins – mit längerem Namen", ExtendedLabel::Encoding::Utf8, 0xF000};
    one.programmeType = 10;
    one.language = 9;
    one.announcementSupport = 0x0003;
    one.clusters = {7};
    Component oneAudio;
    oneAudio.subChId = 1;
    oneAudio.type = 0;
    oneAudio.language = 9;
    // Not marked global: its user application alone needs FIG 0/8, since
    // FIG 0/13 names the component by SCIdS.
    oneAudio.globalDefinition = false;
    oneAudio.applications = {{2, {0x00, 0x0C}}};
    one.components = {oneAudio};

    Service two;
    two.sid = 0xE1C2;
    two.label = {"Plus Two", 0x0F00};
    two.extendedLabel = ExtendedLabel{"Сигнал два", ExtendedLabel::Encoding::Ucs2, 0x0003};
    two.programmeType = 1;
    Component twoAudio;
    twoAudio.subChId = 2;
    twoAudio.type = 63;
    twoAudio.label = Label{"Plus Main", 0xFF00};
    twoAudio.scIdS = 0;
    two.components = {twoAudio};

    Service three;
    three.sid = 0xE1C3;
    three.label = {"Protected Three", 0x00FF};
    Component threeAudio;
    threeAudio.subChId = 3;
    three.components = {threeAudio};

    Service data;
    data.sid = 0xE0D10001;
    data.isData = true;
    data.label = {"Slides", 0xFC00};
    Component slides;
    slides.kind = Component::Kind::Packet;
    slides.subChId = 9;
    slides.type = 60;
    slides.scId = 0x123;
    slides.packetAddress = 5;
    slides.scIdS = 1;
    slides.language = 8;
    slides.globalDefinition = true;
    slides.applications = {{7, {}}};
    data.components = {slides};

    d.services = {one, two, three, data};
    d.announcements = {{7, 0x0002, 2, true, 0, 1 << 30}};
    return d;
}

struct Decoder {
    Bytes memory;
    FicDecoder *decoder = nullptr;

    Decoder()
    {
        FicDecoderConfig config;
        DAB_Bb_Ruz_FicDecoderGetDefaultConfig(&config);
        memory.resize(config.instanceSize + 16);
        decoder = reinterpret_cast<FicDecoder *>(memory.data());
        DAB_Bb_Ruz_FicDecoderInit(decoder);
    }

    std::vector<FicFigRecord> records(int type, int extension) const
    {
        std::vector<FicFigRecord> out;
        for (const FicFigEntry *e = DAB_Bb_Ruz_FicDecoderGetFigList(decoder, uint8_t(type), uint8_t(extension)); e;
             e = DAB_Bb_Ruz_FicDecoderGetNext(e)) {
            FicFigRecord record;
            DAB_Bb_Ruz_FicDecoderGetFigData(e, &record);
            out.push_back(record);
        }
        return out;
    }
};

// Runs `frames` frames through the ETI parser into a FIC decoder.
struct Reception {
    Decoder decoder;
    std::vector<int> parseResults;
    std::vector<ZozEtiFrame> frames;
    std::vector<Bytes> raw;
    int badFibs = 0;

    Reception(EnsembleDescription description, int count)
    {
        EXPECT_EQ(prepare(description), "");
        EnsembleGenerator generator(std::move(description));
        for (int n = 0; n < count; ++n) {
            Bytes frame(ZOZ_ETI_FRAME_SIZE);
            if (!generator.nextFrame(frame.data())) {
                parseResults.push_back(1000);
                continue;
            }
            raw.push_back(frame);
            ZozEtiFrame parsed{};
            const int result = ZozEti_ParseFrame(raw.back().data(), ZOZ_ETI_FRAME_SIZE, &parsed);
            parseResults.push_back(result);
            if (result < 0)
                continue;
            frames.push_back(parsed);
            for (int f = 0; f < parsed.ficLength / 32; ++f) {
                const uint8_t *fib = parsed.fic + 32 * f;
                if (DAB_Bb_Ruz_Crc16(fib, 30) != uint16_t((fib[30] << 8) | fib[31]))
                    ++badFibs;
            }
            EXPECT_EQ(DAB_Bb_Ruz_FicDecoderPushFibs(decoder.decoder, parsed.fic, uint8_t(parsed.ficLength / 32)), 0);
        }
    }
};

std::string label16(const uint8_t *label)
{
    std::string text(reinterpret_cast<const char *>(label), 16);
    return text.substr(0, text.find_last_not_of(' ') + 1);
}

// The extended label of `sid`: segments joined, the 3-byte header returned apart.
Bytes extendedLabelBytes(const Decoder &decoder, uint32_t sid, uint8_t *firstByte, uint16_t *flags)
{
    std::map<int, Bytes> segments;
    for (const FicFigRecord &record : decoder.records(2, 1))
        if (record.u.fig2.id == sid)
            segments[record.header.type2.segmentIndex] =
                Bytes(record.u.fig2.segment, record.u.fig2.segment + record.u.fig2.segmentLength);
    Bytes joined;
    for (const auto &entry : segments)
        joined.insert(joined.end(), entry.second.begin(), entry.second.end());
    if (joined.size() < 3)
        return {};
    *firstByte = joined[0];
    *flags = uint16_t((joined[1] << 8) | joined[2]);
    return Bytes(joined.begin() + 3, joined.end());
}

TEST(EnsembleGenerator, FicReadBackEqualsTheDescription)
{
    const EnsembleDescription description = sampleEnsemble();
    Reception reception(description, 120);
    EXPECT_EQ(reception.badFibs, 0);
    const Decoder &decoder = reception.decoder;

    // Ensemble: 0/0, 1/0, 0/9, 0/10.
    const auto fig00 = decoder.records(0, 0);
    ASSERT_EQ(fig00.size(), 1u);
    EXPECT_EQ(fig00[0].u.fig0_0.eid, 0xE123);
    EXPECT_EQ(fig00[0].u.fig0_0.changeFlags, 0);
    const auto fig10 = decoder.records(1, 0);
    ASSERT_EQ(fig10.size(), 1u);
    EXPECT_EQ(fig10[0].u.fig1.id, 0xE123u);
    EXPECT_EQ(label16(fig10[0].u.fig1.label), "ZOZ Test");
    EXPECT_EQ(fig10[0].u.fig1.charFlags, 0xF000);
    const auto fig09 = decoder.records(0, 9);
    ASSERT_EQ(fig09.size(), 1u);
    EXPECT_EQ(fig09[0].u.fig0_9.ensembleEcc, 0xE1);
    EXPECT_EQ(fig09[0].u.fig0_9.ensembleLto, 2);
    EXPECT_EQ(fig09[0].u.fig0_9.interTableId, 1);
    const auto time = decoder.records(0, 10);
    ASSERT_EQ(time.size(), 1u);
    EXPECT_EQ(time[0].u.fig0_10.mjd, uint32_t(modifiedJulianDate(2026, 12, 10)));
    EXPECT_EQ(modifiedJulianDate(2000, 1, 1), 51544);  // a known date
    EXPECT_EQ(time[0].u.fig0_10.utcFlag, 1);
    EXPECT_EQ(time[0].u.fig0_10.hours, 13);
    EXPECT_EQ(time[0].u.fig0_10.minutes, 59);

    // Sub-channel organisation: 0/1 and 0/14.
    std::map<int, FicFig0_1> subChannels;
    for (const FicFigRecord &record : decoder.records(0, 1))
        subChannels[record.u.fig0_1.subChId] = record.u.fig0_1;
    ASSERT_EQ(subChannels.size(), 4u);
    EXPECT_EQ(subChannels[1].startAddress, 0);
    EXPECT_EQ(subChannels[1].longForm, 1);
    EXPECT_EQ(subChannels[1].option, 0);
    EXPECT_EQ(subChannels[1].protectionLevel, 2);  // level 3 is coded 2
    EXPECT_EQ(subChannels[1].size, 96);
    EXPECT_EQ(subChannels[2].startAddress, 96);
    EXPECT_EQ(subChannels[2].option, 1);
    EXPECT_EQ(subChannels[2].size, 42);
    EXPECT_EQ(subChannels[3].longForm, 0);
    EXPECT_EQ(subChannels[3].tableIndex, 14);
    EXPECT_EQ(subChannels[3].startAddress, 138);
    std::map<int, int> fec;
    for (const FicFigRecord &record : decoder.records(0, 14))
        fec[record.u.fig0_14.subChId] = record.u.fig0_14.fecScheme;
    EXPECT_EQ(fec, (std::map<int, int>{{2, 0}, {9, 1}}));

    // Services and components: 0/2, 0/3, 1/1, 1/5, 1/4.
    ASSERT_EQ(DAB_Bb_Ruz_FicDecoderGetNumServices(decoder.decoder, 0), 4);
    std::map<uint32_t, std::string> labels;
    for (const FicFigRecord &record : decoder.records(1, 1))
        labels[record.u.fig1.id] = label16(record.u.fig1.label);
    for (const FicFigRecord &record : decoder.records(1, 5))
        labels[record.u.fig1.id] = label16(record.u.fig1.label);
    for (const Service &service : description.services) {
        SCOPED_TRACE(service.sid);
        EXPECT_EQ(labels[service.sid], service.label.text);
        ASSERT_EQ(DAB_Bb_Ruz_FicDecoderGetNumServiceComponents(decoder.decoder, service.sid, 0),
                  service.components.size());
        FicServiceComponentInfo component;
        ASSERT_EQ(DAB_Bb_Ruz_FicDecoderGetServiceComponent(decoder.decoder, service.sid, 0, 0, &component), 0);
        const Component &expected = service.components[0];
        if (expected.kind == Component::Kind::Packet) {
            EXPECT_EQ(component.tmId, 3);
            EXPECT_EQ(component.scId, expected.scId);
            EXPECT_EQ(component.packetInfoValid, 1);
            EXPECT_EQ(component.packetAddress, expected.packetAddress);
            EXPECT_EQ(component.subChId, expected.subChId);
            EXPECT_EQ(component.dscTy, expected.type);
            EXPECT_EQ(component.dataGroupFlag, 0);
        } else {
            EXPECT_EQ(component.tmId, 0);
            EXPECT_EQ(component.ascTy, expected.type);
            EXPECT_EQ(component.subChId, expected.subChId);
        }
        EXPECT_EQ(component.primary, 1);
    }
    const auto fig14 = decoder.records(1, 4);
    ASSERT_EQ(fig14.size(), 1u);
    EXPECT_EQ(fig14[0].u.fig1.id, 0xE1C2u);
    EXPECT_EQ(label16(fig14[0].u.fig1.label), "Plus Main");

    // Component details: 0/5, 0/8, 0/13.
    EXPECT_EQ(decoder.records(0, 5).size(), 2u);
    std::map<uint32_t, int> globalScIdS;
    for (const FicFigRecord &record : decoder.records(0, 8))
        globalScIdS[record.u.fig0_8.serviceId] = record.u.fig0_8.scIdS;
    EXPECT_EQ(globalScIdS, (std::map<uint32_t, int>{{0xE1C1, 0}, {0xE0D10001, 1}}));
    std::map<uint32_t, int> applications;
    for (const FicFigRecord &record : decoder.records(0, 13))
        applications[record.u.fig0_13.serviceId] = record.u.fig0_13.applications[0].type;
    EXPECT_EQ(applications, (std::map<uint32_t, int>{{0xE1C1, 2}, {0xE0D10001, 7}}));

    // Programme type and announcements: 0/17, 0/18, 0/19.
    std::map<int, int> types;
    for (const FicFigRecord &record : decoder.records(0, 17)) {
        types[record.u.fig0_17.serviceId] = record.u.fig0_17.internationalCode;
        // The static code of the primary service: what a receiver lists.
        EXPECT_EQ(record.u.fig0_17.sd, 0);
        EXPECT_EQ(record.u.fig0_17.ps, 0);
        if (record.u.fig0_17.serviceId == 0xE1C1) {
            EXPECT_EQ(record.u.fig0_17.lFlag, 1);
            EXPECT_EQ(record.u.fig0_17.language, 9);
        }
    }
    EXPECT_EQ(types, (std::map<int, int>{{0xE1C1, 10}, {0xE1C2, 1}}));
    const auto fig018 = decoder.records(0, 18);
    ASSERT_EQ(fig018.size(), 1u);
    EXPECT_EQ(fig018[0].u.fig0_18.asuFlags, 0x0003);
    ASSERT_EQ(fig018[0].u.fig0_18.numClusters, 1);
    EXPECT_EQ(fig018[0].u.fig0_18.clusterIds[0], 7);
    const auto fig019 = decoder.records(0, 19);
    ASSERT_EQ(fig019.size(), 1u);
    EXPECT_EQ(fig019[0].u.fig0_19.clusterId, 7);
    EXPECT_EQ(fig019[0].u.fig0_19.aswFlags, 0x0002);
    EXPECT_EQ(fig019[0].u.fig0_19.subChId, 2);

    // Extended labels: 2/1 in UTF-8 and in UCS-2.
    uint8_t first = 0;
    uint16_t flags = 0;
    const Bytes utf8 = extendedLabelBytes(decoder, 0xE1C1, &first, &flags);
    const std::string oneText = description.services[0].extendedLabel->utf8;
    EXPECT_EQ(std::string(utf8.begin(), utf8.end()), oneText);
    EXPECT_EQ(first & 0x80, 0);
    EXPECT_EQ((first >> 4) & 7, int((oneText.size() + 15) / 16) - 1);
    EXPECT_EQ(flags, 0xF000);
    const Bytes ucs2 = extendedLabelBytes(decoder, 0xE1C2, &first, &flags);
    EXPECT_EQ(first & 0x80, 0x80);
    EXPECT_EQ(flags, 0x0003);
    // "Сигнал два": С is U+0421, the space U+0020.
    ASSERT_EQ(ucs2.size(), 20u);
    EXPECT_EQ(ucs2[0], 0x04);
    EXPECT_EQ(ucs2[1], 0x21);
    EXPECT_EQ(ucs2[12], 0x00);
    EXPECT_EQ(ucs2[13], 0x20);
}

TEST(EnsembleGenerator, StreamsCarryTheirBitRateAndTheStreamTableMatchesFig01)
{
    Reception reception(sampleEnsemble(), 3);
    ASSERT_EQ(reception.frames.size(), 3u);
    const ZozEtiFrame &frame = reception.frames[0];
    ASSERT_EQ(frame.nst, 4);
    const struct {
        int subChId, startAddress, bytes;
    } expected[] = {{1, 0, 384}, {2, 96, 192}, {3, 138, 0}, {9, 0, 48}};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(frame.streams[i].subChId, expected[i].subChId);
        if (expected[i].subChId != 9) {
            EXPECT_EQ(frame.streams[i].startAddress, expected[i].startAddress);
        }
        if (expected[i].bytes) {
            EXPECT_EQ(frame.streams[i].length, expected[i].bytes);
        }
        EXPECT_EQ(frame.streams[i].length % 24, 0);
    }
}

TEST(EnsembleGenerator, FaultsOnDemand)
{
    EnsembleDescription description = sampleEnsemble();
    description.faults = {
        {Fault::Kind::FibCrc, 2, 1, 0},
        {Fault::Kind::HeaderCrc, 4, 2, 0},
        {Fault::Kind::MstCrc, 7, 1, 0},
        {Fault::Kind::LostFrame, 9, 1, 0},
        {Fault::Kind::EnsembleIdChange, 20, 1, 0xE456},
    };
    Reception reception(description, 40);
    const std::vector<int> head(reception.parseResults.begin(), reception.parseResults.begin() + 11);
    EXPECT_EQ(head, (std::vector<int>{0, 0, 0, 0, ZOZ_ETI_ERR_HEADER_CRC, ZOZ_ETI_ERR_HEADER_CRC, 0, ZOZ_ETI_MST_CRC,
                                       0, 1000, 0}));
    EXPECT_EQ(reception.badFibs, 1);
    EXPECT_EQ(reception.raw.size(), 39u);
    const auto fig00 = reception.decoder.records(0, 0);
    ASSERT_EQ(fig00.size(), 1u);
    EXPECT_EQ(fig00[0].u.fig0_0.eid, 0xE456);
}

TEST(EnsembleGenerator, ReconfigurationIsAnnouncedThenTakesOver)
{
    EnsembleDescription description = sampleEnsemble();
    auto next = std::make_shared<EnsembleDescription>(description);
    next->subChannels[0].bitRate = 160;
    next->subChannels[0].startAddress = -1;
    for (auto &subChannel : next->subChannels)
        subChannel.startAddress = -1;
    description.nextConfiguration = next;
    description.faults = {{Fault::Kind::Reconfiguration, 150, 1, 0}};

    EXPECT_EQ(prepare(description), "");
    EnsembleGenerator generator(description);
    Decoder decoder;
    Bytes frame(ZOZ_ETI_FRAME_SIZE);
    bool announced = false;
    bool nextOrganisationSeen = false;
    for (int n = 0; n < 160; ++n) {
        ASSERT_TRUE(generator.nextFrame(frame.data()));
        ZozEtiFrame parsed;
        ASSERT_EQ(ZozEti_ParseFrame(frame.data(), frame.size(), &parsed), ZOZ_ETI_OK);
        DAB_Bb_Ruz_FicDecoderPushFibs(decoder.decoder, parsed.fic, 3);
        for (const FicFigRecord &record : decoder.records(0, 0))
            if (record.u.fig0_0.changeFlags == 3) {
                announced = true;
                EXPECT_EQ(record.u.fig0_0.occurrenceChange, 150);
            }
        for (const FicFigRecord &record : decoder.records(0, 1))
            if (record.header.type0.cn == 1 && record.u.fig0_1.subChId == 1)
                nextOrganisationSeen = nextOrganisationSeen || record.u.fig0_1.size == 120;
        EXPECT_EQ(parsed.streams[0].length, n < 150 ? 384 : 480) << n;
    }
    EXPECT_TRUE(announced);
    EXPECT_TRUE(nextOrganisationSeen);
}

TEST(EnsembleGenerator, RefusesDescriptionsItCannotSend)
{
    const struct {
        const char *name;
        void (*change)(EnsembleDescription &);
        const char *error;
    } rows[] = {
        {"repeated sub-channel", [](EnsembleDescription &d) { d.subChannels[1].id = 1; }, "sub-channel id 1"},
        {"bit rate not in 32s for set B", [](EnsembleDescription &d) { d.subChannels[1].bitRate = 72; },
         "bit rate and protection"},
        {"UEP index outside the table", [](EnsembleDescription &d) { d.subChannels[2].protection.uepIndex = 64; },
         "bit rate and protection"},
        {"overlap", [](EnsembleDescription &d) { d.subChannels[1].startAddress = 90; }, "overlaps"},
        {"beyond 864 units", [](EnsembleDescription &d) { d.subChannels[3].startAddress = 860; }, "864"},
        {"missing sub-channel", [](EnsembleDescription &d) { d.services[0].components[0].subChId = 30; },
         "missing sub-channel 30"},
        {"label too long", [](EnsembleDescription &d) { d.label.text = "seventeen chars!!"; }, "16 characters"},
        {"label beyond ASCII", [](EnsembleDescription &d) { d.services[1].label.text = "Töne"; }, "printable ASCII"},
        {"component label beyond ASCII",
         [](EnsembleDescription &d) { d.services[1].components[0].label->text = "Tab\there"; }, "printable ASCII"},
        {"extended label too long",
         [](EnsembleDescription &d) { d.services[0].extendedLabel->utf8 = std::string(129, 'x'); }, "8 segments"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        EnsembleDescription description = sampleEnsemble();
        row.change(description);
        EXPECT_NE(prepare(description).find(row.error), std::string::npos) << prepare(description);
    }
}

TEST(EnsembleGenerator, EveryFigFitsAFibAndListsAreSplit)
{
    std::vector<Service> services;
    for (uint32_t i = 0; i < 20; ++i) {
        Service service;
        service.sid = 0xE100 + i;
        service.label = {"Service " + std::to_string(i), 0xFF00};
        Component component;
        component.subChId = int(i);
        service.components = {component};
        services.push_back(service);
    }
    const std::vector<Fig> figs = fig0_2(services, false);
    EXPECT_GT(figs.size(), 1u);
    size_t items = 0;
    for (const Fig &fig : figs) {
        EXPECT_LE(fig.size(), MaxFigBytes);
        EXPECT_EQ(fig[0] & 0x1F, int(fig.size()) - 1);
        items += (fig.size() - 2) / 5;  // SId, flags byte, one component
    }
    EXPECT_EQ(items, 20u);
}

} // namespace
