// FIB checking, FIG parsing and the query interface of the FIC decoder.
#include "FicTestSupport.h"

#include <gtest/gtest.h>

using namespace ZOZ::Test;

namespace {

Bytes fig0_1Short(int subChId, int start, int tableIndex, int cn = 0)
{
    Bits b = type0(1, cn);
    b.put(subChId, 6).put(start, 10).put(0, 1).put(0, 1).put(tableIndex, 6);
    return fig(0, b);
}

Bytes fig0_2Programme(uint16_t serviceId, int subChId, int cn = 0)
{
    Bits b = type0(2, cn);
    b.put(serviceId, 16).put(0, 1).put(0, 3).put(1, 4);
    b.put(0, 2).put(63, 6).put(subChId, 6).put(1, 1).put(0, 1);
    return fig(0, b);
}

Bytes fig1Label(int extension, uint32_t id, const char *text, int idBits = 16, uint16_t flags = 0xFF00)
{
    Bits b = type1(extension);
    b.put(id, idBits).text(text).put(flags, 16);
    return fig(1, b);
}

} // namespace

TEST(FicDecoderInterface, ConfigAndArguments)
{
    FicDecoderConfig config;
    std::memset(&config, 0x5A, sizeof config);
    EXPECT_EQ(FIC_DECODER_BAD_ARGUMENT, DAB_Bb_Ruz_FicDecoderGetDefaultConfig(nullptr));
    ASSERT_EQ(FIC_DECODER_OK, DAB_Bb_Ruz_FicDecoderGetDefaultConfig(&config));
    EXPECT_GT(config.instanceSize, 500u * sizeof(FicFigRecord));
    EXPECT_EQ(0u, config.reserved0);
    for (uint32_t word : config.reserved)
        EXPECT_EQ(0u, word);

    DecoderPtr decoder = makeDecoder();
    FicDecoder *d = decoder.get();
    uint8_t fibs[160] = {};
    EXPECT_EQ(FIC_DECODER_BAD_ARGUMENT, DAB_Bb_Ruz_FicDecoderPushFibs(d, fibs, 5));
    EXPECT_EQ(FIC_DECODER_OK, DAB_Bb_Ruz_FicDecoderPushFibs(d, fibs, 4));
    EXPECT_EQ(FIC_DECODER_OK, DAB_Bb_Ruz_FicDecoderPushFibs(d, fibs, 0));
    EXPECT_EQ(FIC_DECODER_BAD_ARGUMENT, DAB_Bb_Ruz_FicDecoderPushFibs(nullptr, fibs, 1));
    EXPECT_EQ(FIC_DECODER_BAD_ARGUMENT, DAB_Bb_Ruz_FicDecoderPushFibs(d, nullptr, 1));
    EXPECT_EQ(FIC_DECODER_BAD_ARGUMENT, DAB_Bb_Ruz_FicDecoderPushFigs(d, fibs, 1, 0));
    EXPECT_EQ(FIC_DECODER_BAD_ARGUMENT, DAB_Bb_Ruz_FicDecoderPushFigs(d, nullptr, 10, 0));
    EXPECT_EQ(FIC_DECODER_BAD_ARGUMENT, DAB_Bb_Ruz_FicDecoderPushFigs(nullptr, fibs, 10, 0));
    EXPECT_EQ(FIC_DECODER_BAD_ARGUMENT, DAB_Bb_Ruz_FicDecoderInit(nullptr));

    // Queries on an empty database.
    EXPECT_EQ(nullptr, DAB_Bb_Ruz_FicDecoderGetFigList(d, 0, 1));
    EXPECT_EQ(nullptr, DAB_Bb_Ruz_FicDecoderGetFigList(d, 3, 0));
    EXPECT_EQ(nullptr, DAB_Bb_Ruz_FicDecoderGetFigList(d, 0, 32));
    EXPECT_EQ(0u, DAB_Bb_Ruz_FicDecoderGetFigCount(d, 3, 0));
    EXPECT_EQ(0u, DAB_Bb_Ruz_FicDecoderGetFigCount(d, 0, 32));
    EXPECT_EQ(nullptr, DAB_Bb_Ruz_FicDecoderGetNext(nullptr));
    FicFigRecord record;
    EXPECT_EQ(FIC_DECODER_BAD_ARGUMENT, DAB_Bb_Ruz_FicDecoderGetFigData(nullptr, &record));
    EXPECT_EQ(0, DAB_Bb_Ruz_FicDecoderGetNumServices(d, 0));
    FicServiceInfo service;
    EXPECT_EQ(FIC_DECODER_BAD_ARGUMENT, DAB_Bb_Ruz_FicDecoderGetService(d, 0, 0, &service));
    EXPECT_EQ(FIC_DECODER_BAD_ARGUMENT, DAB_Bb_Ruz_FicDecoderGetService(d, 0, -1, &service));
    FicServiceComponentInfo component;
    EXPECT_EQ(FIC_DECODER_BAD_ARGUMENT, DAB_Bb_Ruz_FicDecoderGetServiceComponent(d, 0x1234, 0, 0, &component));
    EXPECT_EQ(0, DAB_Bb_Ruz_FicDecoderGetNumServiceComponents(d, 0x1234, 0));
}

TEST(FicDecoderFibs, CrcDecidesPerFib)
{
    DecoderPtr decoder = makeDecoder();
    Bytes good = fib({fig0_1Short(1, 0, 10)});
    Bytes bad = fib({fig0_1Short(2, 100, 10)});
    bad[5] ^= 0x01;
    const Bytes pair = join({bad, good});
    ASSERT_EQ(0, DAB_Bb_Ruz_FicDecoderPushFibs(decoder.get(), pair.data(), 2));
    const auto entries = records(decoder.get(), 0, 1);
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ(1, entries[0].u.fig0_1.subChId);

    // The CRC bytes themselves are checked too.
    Bytes badCrc = fib({fig0_1Short(3, 0, 10)});
    badCrc[31] ^= 0x80;
    pushFib(decoder.get(), badCrc);
    EXPECT_EQ(1u, records(decoder.get(), 0, 1).size());
}

TEST(FicDecoderFibs, PaddingAndMalformedHeaders)
{
    DecoderPtr decoder = makeDecoder();
    // End marker first: the FIG after it is padding.
    Bytes padded = join({Bytes{0xFF}, fig0_1Short(1, 0, 10)});
    padded.resize(30, 0);
    appendCrc(padded);
    pushFib(decoder.get(), padded);
    EXPECT_TRUE(records(decoder.get(), 0, 1).empty());

    // A zero length field ends the FIB; what came before is kept.
    Bytes zeroLength = join({fig0_1Short(1, 0, 10), Bytes{0x00}, fig0_1Short(2, 0, 10)});
    zeroLength.resize(30, 0);
    appendCrc(zeroLength);
    pushFib(decoder.get(), zeroLength);
    EXPECT_EQ(1u, records(decoder.get(), 0, 1).size());
}

TEST(FicDecoderFibs, FigRunningPastTheFibIsNotRead)
{
    DecoderPtr decoder = makeDecoder();
    // A FIG 0/1 whose declared length runs 4 bytes into the CRC: its one
    // entry would complete only with those bytes.
    Bytes data = fig0_1Short(1, 0, 10);          // 5 bytes
    Bits filler = type0(31);
    for (int i = 0; i < 19; ++i)
        filler.put(0, 8);
    const Bytes skipped = fig(0, filler);         // an unread extension, 21 bytes
    Bytes tail = fig0_1Short(2, 0, 10);
    tail[0] = static_cast<uint8_t>((tail[0] & 0xE0) | 7);
    Bytes all = join({data, skipped, tail});
    all.resize(30);
    appendCrc(all);
    pushFib(decoder.get(), all);
    const auto entries = records(decoder.get(), 0, 1);
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ(1, entries[0].u.fig0_1.subChId);
}

TEST(FicDecoderFigs, EntryCheckedAgainstItsFigLength)
{
    DecoderPtr decoder = makeDecoder();
    // FIG 0/1 long form needs 4 entry bytes; this one declares 3. The next
    // FIG's bytes must not complete it.
    Bits longForm = type0(1);
    longForm.put(5, 6).put(0, 10).put(1, 1).put(0, 3).put(1, 2).put(24, 10);
    Bytes truncated = fig(0, longForm);
    truncated.pop_back();
    truncated[0] = static_cast<uint8_t>(truncated[0] - 1);
    ASSERT_EQ(0, pushFigs(decoder.get(), join({truncated, fig0_1Short(6, 0, 10)})));
    const auto entries = records(decoder.get(), 0, 1);
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ(6, entries[0].u.fig0_1.subChId);
}

TEST(FicDecoderFigs, StringRunningPastTheBufferIsRefusedWhole)
{
    DecoderPtr decoder = makeDecoder();
    Bytes figs = join({fig0_1Short(1, 0, 10), fig0_1Short(2, 0, 10)});
    figs.pop_back();
    EXPECT_EQ(FIC_DECODER_BAD_ARGUMENT, pushFigs(decoder.get(), figs));
    EXPECT_TRUE(records(decoder.get(), 0, 1).empty());
    EXPECT_EQ(0u, DAB_Bb_Ruz_FicDecoderGetFigCount(decoder.get(), 0, 1));
}

TEST(FicDecoderFigs, TypeZeroFields)
{
    DecoderPtr decoder = makeDecoder();
    FicDecoder *d = decoder.get();

    Bits f0 = type0(0);
    f0.put(0x9200, 16).put(1, 2).put(1, 1).put(4, 5).put(232, 8).put(17, 8);
    Bits f1 = type0(1);
    f1.put(13, 6).put(600, 10).put(1, 1).put(0, 3).put(2, 2).put(6, 10); // long form
    f1.put(3, 6).put(90, 10).put(0, 1).put(0, 1).put(33, 6);               // short form
    Bits f2 = type0(2, 0, 1);
    f2.put(0xE4910001, 32).put(0, 1).put(0, 3).put(2, 4);
    f2.put(3, 2).put(0x001, 12).put(1, 1).put(0, 1);
    f2.put(2, 2).put(5, 6).put(7, 6).put(0, 1).put(1, 1);
    Bits f3 = type0(3);
    f3.put(0x001, 12).put(0, 3).put(1, 1).put(1, 1).put(0, 1).put(60, 6).put(13, 6).put(1, 10).put(0xBEEF, 16);
    Bits f5 = type0(5);
    f5.put(0, 1).put(0, 1).put(13, 6).put(9, 8);      // short MSC
    f5.put(1, 1).put(0, 3).put(0x001, 12).put(15, 8); // long
    Bits f10 = type0(10);
    f10.put(0, 1).put(57817, 17).put(0, 1).put(1, 1).put(1, 1).put(9, 5).put(24, 6).put(29, 6).put(500, 10);
    Bits f14 = type0(14);
    f14.put(13, 6).put(1, 2);
    Bits f17 = type0(17);
    f17.put(0x9201, 16).put(0, 1).put(0, 1).put(1, 1).put(0, 1).put(0, 4).put(38, 8).put(0, 3).put(10, 5);
    ASSERT_EQ(0, pushFigs(d, join({fig(0, f0), fig(0, f1), fig(0, f2), fig(0, f3)})));
    ASSERT_EQ(0, pushFigs(d, join({fig(0, f5), fig(0, f10), fig(0, f14), fig(0, f17)}), 0));

    const auto r0 = records(d, 0, 0).at(0);
    EXPECT_EQ(0x9200, r0.u.fig0_0.eid);
    EXPECT_EQ(1, r0.u.fig0_0.changeFlags);
    EXPECT_EQ(1, r0.u.fig0_0.alFlag);
    EXPECT_EQ(4, r0.u.fig0_0.cifCountHigh);
    EXPECT_EQ(232, r0.u.fig0_0.cifCountLow);
    EXPECT_EQ(17, r0.u.fig0_0.occurrenceChange);

    const auto r1 = records(d, 0, 1);
    ASSERT_EQ(2u, r1.size()); // sorted by SubChId
    EXPECT_EQ(3, r1[0].u.fig0_1.subChId);
    EXPECT_EQ(90, r1[0].u.fig0_1.startAddress);
    EXPECT_EQ(0, r1[0].u.fig0_1.longForm);
    EXPECT_EQ(33, r1[0].u.fig0_1.tableIndex);
    EXPECT_EQ(13, r1[1].u.fig0_1.subChId);
    EXPECT_EQ(600, r1[1].u.fig0_1.startAddress);
    EXPECT_EQ(1, r1[1].u.fig0_1.longForm);
    EXPECT_EQ(2, r1[1].u.fig0_1.protectionLevel);
    EXPECT_EQ(6, r1[1].u.fig0_1.size);

    const auto r2 = records(d, 0, 2).at(0);
    EXPECT_EQ(1, r2.header.type0.pd);
    EXPECT_EQ(0xE4910001u, r2.u.fig0_2.serviceId);
    ASSERT_EQ(2, r2.u.fig0_2.numComponents);
    EXPECT_EQ(3, r2.u.fig0_2.components[0].tmId);
    EXPECT_EQ(1, r2.u.fig0_2.components[0].scId);
    EXPECT_EQ(1, r2.u.fig0_2.components[0].primary);
    EXPECT_EQ(2, r2.u.fig0_2.components[1].tmId);
    EXPECT_EQ(5, r2.u.fig0_2.components[1].dscTy);
    EXPECT_EQ(7, r2.u.fig0_2.components[1].fidcId);
    EXPECT_EQ(1, r2.u.fig0_2.components[1].caFlag);

    const auto r3 = records(d, 0, 3).at(0);
    EXPECT_EQ(1, r3.u.fig0_3.dataGroupFlag);
    EXPECT_EQ(60, r3.u.fig0_3.dscTy);
    EXPECT_EQ(13, r3.u.fig0_3.subChId);
    EXPECT_EQ(1, r3.u.fig0_3.packetAddress);
    EXPECT_EQ(0xBEEF, r3.u.fig0_3.caOrg);

    const auto r5 = records(d, 0, 5);
    ASSERT_EQ(2u, r5.size());
    EXPECT_EQ(0, r5[0].u.fig0_5.form);
    EXPECT_EQ(9, r5[0].u.fig0_5.language);
    EXPECT_EQ(2, r5[1].u.fig0_5.form);
    EXPECT_EQ(1, r5[1].u.fig0_5.scId);

    const auto r10 = records(d, 0, 10).at(0);
    EXPECT_EQ(57817u, r10.u.fig0_10.mjd);
    EXPECT_EQ(9, r10.u.fig0_10.hours);
    EXPECT_EQ(24, r10.u.fig0_10.minutes);
    EXPECT_EQ(29, r10.u.fig0_10.seconds);
    EXPECT_EQ(500, r10.u.fig0_10.milliseconds);
    EXPECT_EQ(1, records(d, 0, 14).at(0).u.fig0_14.fecScheme);
    const auto r17 = records(d, 0, 17).at(0);
    EXPECT_EQ(38, r17.u.fig0_17.language);
    EXPECT_EQ(10, r17.u.fig0_17.internationalCode);

    // The packet component joins its FIG 0/3 entry.
    FicServiceComponentInfo c;
    ASSERT_EQ(0, DAB_Bb_Ruz_FicDecoderGetServiceComponent(d, 0xE4910001, 0, 0, &c));
    EXPECT_EQ(1, c.packetInfoValid);
    EXPECT_EQ(13, c.subChId);
    EXPECT_EQ(60, c.dscTy);
    EXPECT_EQ(1, c.languageValid);
    EXPECT_EQ(15, c.language);
    EXPECT_EQ(0xBEEF, c.caOrg);
}

TEST(FicDecoderFigs, LengthChecksDropRecords)
{
    struct Case {
        const char *name;
        Bytes figs;
        int type, extension;
    };
    Bits shortZero = type0(0);
    shortZero.put(0x9200, 16).put(1, 2).put(0, 1).put(0, 5).put(0, 8); // change flags without occurrence
    Bits seven = type0(7);
    seven.put(1, 6).put(5, 10).put(0, 8);
    Bits tenNoUtc = type0(10);
    tenNoUtc.put(0, 1).put(57817, 17).put(0, 3).put(9, 5).put(24, 6).put(0, 8);
    Bytes label20 = fig1Label(1, 0x9201, "Slo 1 Prvi      ");
    label20.pop_back();
    label20[0] = static_cast<uint8_t>(label20[0] - 1);
    Bits unknownGaty = type0(11);
    unknownGaty.put(2, 4).put(0, 1).put(1, 5).put(1, 6).put(0, 8);
    const Case cases[] = {
        {"0/0 with change flags and no occurrence", fig(0, shortZero), 0, 0},
        {"0/7 of 4 bytes", fig(0, seven), 0, 7},
        {"0/10 without UTC flag of 6 bytes", fig(0, tenNoUtc), 0, 10},
        {"1/1 of 20 bytes", label20, 1, 1},
        {"0/11 unknown GATy", fig(0, unknownGaty), 0, 11},
        {"type 3", Bytes{0x62, 0x01, 0x02}, 0, 0},
        {"type 7", Bytes{0xE2, 0x01, 0x02}, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        DecoderPtr decoder = makeDecoder();
        ASSERT_EQ(0, pushFigs(decoder.get(), c.figs));
        EXPECT_TRUE(records(decoder.get(), c.type, c.extension).empty());
    }
    // A programme service may have 12 components.
    Bits twelve = type0(2);
    twelve.put(0x9209, 16).put(0, 1).put(0, 3).put(12, 4);
    for (int i = 0; i < 12; ++i)
        twelve.put(0, 2).put(63, 6).put(i, 6).put(i == 0, 1).put(0, 1);
    DecoderPtr decoder = makeDecoder();
    pushFigs(decoder.get(), fig(0, twelve));
    ASSERT_EQ(1u, records(decoder.get(), 0, 2).size());
    EXPECT_EQ(12, DAB_Bb_Ruz_FicDecoderGetNumServiceComponents(decoder.get(), 0x9209, 0));
    FicServiceComponentInfo component;
    EXPECT_EQ(0, DAB_Bb_Ruz_FicDecoderGetServiceComponent(decoder.get(), 0x9209, 0, 11, &component));
    EXPECT_EQ(11, component.subChId);
    EXPECT_EQ(FIC_DECODER_BAD_ARGUMENT, DAB_Bb_Ruz_FicDecoderGetServiceComponent(decoder.get(), 0x9209, 0, 12, &component));
}

TEST(FicDecoderFigs, CountryLayoutDependsOnFig0_7)
{
    // Same bytes: ext flag, LTO, ECC E4, table 1; one sub-field of one
    // service (2 bits), LTO/6-bit field 3, ECC E1, SId 0x9201.
    Bits nine = type0(9);
    nine.put(0, 1).put(0, 1).put(2, 6).put(0xE4, 8).put(1, 8);
    nine.put(1, 2).put(3, 6).put(0xE1, 8).put(0x9201, 16);
    Bits seven = type0(7);
    seven.put(2, 6).put(1, 10);

    DecoderPtr decoder = makeDecoder();
    pushFigs(decoder.get(), join({fig0_2Programme(0x9201, 1), fig0_2Programme(0x9202, 2), fig(0, nine)}));
    auto country = records(decoder.get(), 0, 9).at(0);
    EXPECT_EQ(0, country.u.fig0_9.secondLayout);
    EXPECT_EQ(FIC_UPDATE_CURRENT, country.updateMode);
    ASSERT_EQ(1, country.u.fig0_9.numSubFields);
    EXPECT_EQ(0x9201u, country.u.fig0_9.subFields[0].serviceIds[0]);

    FicServiceInfo listed, other;
    DAB_Bb_Ruz_FicDecoderGetService(decoder.get(), 0, 0, &listed);
    DAB_Bb_Ruz_FicDecoderGetService(decoder.get(), 0, 1, &other);
    EXPECT_EQ(1, listed.countryValid);
    EXPECT_EQ(0xE1, listed.ecc);
    EXPECT_EQ(3, listed.lto);
    EXPECT_EQ(1, other.countryValid);
    EXPECT_EQ(0xE4, other.ecc);
    EXPECT_EQ(2, other.lto);

    pushFigs(decoder.get(), join({fig(0, seven), fig(0, nine)}));
    ASSERT_EQ(1u, records(decoder.get(), 0, 7).size());
    country = records(decoder.get(), 0, 9).at(0);
    EXPECT_EQ(1, country.u.fig0_9.secondLayout);

    // The next configuration leaves the country fields alone.
    pushFigs(decoder.get(), fig0_2Programme(0x9203, 3, 1));
    FicServiceInfo next;
    std::memset(&next, 0xAA, sizeof next);
    ASSERT_EQ(0, DAB_Bb_Ruz_FicDecoderGetService(decoder.get(), 1, 0, &next));
    EXPECT_EQ(0x9203u, next.serviceId);
    EXPECT_EQ(0xAA, next.countryValid);
    EXPECT_EQ(0xAA, next.ecc);
    EXPECT_EQ(0xAA, next.lto);
}

TEST(FicDecoderFigs, DataServiceCountryComesFromItsServiceId)
{
    Bits nine = type0(9, 0, 1);
    nine.put(0, 1).put(0, 1).put(2, 6).put(0xE4, 8).put(1, 8);
    nine.put(1, 2).put(4, 6).put(0xE4910001, 32);
    Bits service = type0(2, 0, 1);
    service.put(0xE4910001, 32).put(0, 1).put(0, 3).put(1, 4).put(3, 2).put(1, 12).put(1, 1).put(0, 1);
    DecoderPtr decoder = makeDecoder();
    pushFigs(decoder.get(), join({fig(0, service), fig(0, nine)}));
    FicServiceInfo info;
    ASSERT_EQ(0, DAB_Bb_Ruz_FicDecoderGetService(decoder.get(), 0, 0, &info));
    EXPECT_EQ(1, info.isDataService);
    EXPECT_EQ(1, info.countryValid);
    EXPECT_EQ(4, info.lto);
    EXPECT_EQ(0xE4, info.ecc);
}

TEST(FicDecoderFigs, UserApplications)
{
    Bits thirteen = type0(13);
    thirteen.put(0x9201, 16).put(0, 4).put(2, 4);
    thirteen.put(0x002, 11).put(2, 5).put(0x0C, 8).put(0x0D, 8);
    thirteen.put(0x44A, 11).put(0, 5);
    DecoderPtr decoder = makeDecoder();
    pushFigs(decoder.get(), fig(0, thirteen));
    const auto r = records(decoder.get(), 0, 13).at(0);
    ASSERT_EQ(2, r.u.fig0_13.numApplications);
    EXPECT_EQ(0x002, r.u.fig0_13.applications[0].type);
    ASSERT_EQ(2, r.u.fig0_13.applications[0].dataLength);
    EXPECT_EQ(0x0D, r.u.fig0_13.applications[0].data[1]);
    EXPECT_EQ(0x44A, r.u.fig0_13.applications[1].type);

    // A data length of 24 or more cannot be right: the entry is dropped.
    Bits tooLong = type0(13);
    tooLong.put(0x9202, 16).put(0, 4).put(1, 4).put(0x002, 11).put(24, 5);
    for (int i = 0; i < 20; ++i)
        tooLong.put(0, 8);
    pushFigs(decoder.get(), fig(0, tooLong));
    EXPECT_EQ(1u, records(decoder.get(), 0, 13).size());
}

TEST(FicDecoderFigs, LabelsAndComponentLabels)
{
    DecoderPtr decoder = makeDecoder();
    FicDecoder *d = decoder.get();
    Bits eight = type0(8);
    eight.put(0x9201, 16).put(0, 1).put(0, 3).put(2, 4).put(0, 1).put(0, 1).put(1, 6);
    Bits componentLabel = type1(4);
    componentLabel.put(0, 1).put(0, 3).put(2, 4).put(0x9201, 16).text("Traffic         ").put(0xF000, 16);
    pushFigs(d, join({fig0_2Programme(0x9201, 1), fig(0, eight), fig(1, componentLabel)}));
    pushFigs(d, join({fig1Label(0, 0x9200, "Ruz ZU5 Mux     "), fig1Label(1, 0x9201, "Ruz ZU5 Radio   ", 16, 0xFE00)}));
    pushFigs(d, fig1Label(5, 0xE4910001, "Info            ", 32));

    EXPECT_EQ("Info            ", label(records(d, 1, 5).at(0).u.fig1.label));
    EXPECT_EQ("Ruz ZUV Mux     ", label(records(d, 1, 0).at(0).u.fig1.label));

    FicServiceInfo info;
    ASSERT_EQ(0, DAB_Bb_Ruz_FicDecoderGetService(d, 0, 0, &info));
    EXPECT_EQ(1, info.labelValid);
    EXPECT_EQ("Ruz ZUV Radio   ", label(info.label));
    EXPECT_EQ(0xFE00, info.charFlags);

    FicServiceComponentInfo c;
    ASSERT_EQ(0, DAB_Bb_Ruz_FicDecoderGetServiceComponent(d, 0x9201, 0, 0, &c));
    EXPECT_EQ(1, c.scIdSValid);
    EXPECT_EQ(2, c.scIdS);
    EXPECT_EQ(1, c.labelValid);
    EXPECT_EQ("Traffic         ", label(c.label));
    EXPECT_EQ(0xF000, c.charFlags);
}

TEST(FicDecoderFigs, SegmentedLabels)
{
    Bits segment = Bits();
    segment.put(1, 1).put(2, 3).put(0, 1).put(1, 3).put(0x9201, 16);
    for (char ch : std::string("Hello"))
        segment.put(static_cast<uint8_t>(ch), 8);
    Bits other = Bits();
    other.put(0, 1).put(0, 3).put(0, 1).put(5, 3).put(0xE4910001, 32).put('X', 8);
    DecoderPtr decoder = makeDecoder();
    pushFigs(decoder.get(), join({fig(2, segment), fig(2, other)}));
    const auto r = records(decoder.get(), 2, 1).at(0);
    EXPECT_EQ(1, r.header.type2.toggle);
    EXPECT_EQ(2, r.header.type2.segmentIndex);
    EXPECT_EQ(0x9201u, r.u.fig2.id);
    ASSERT_EQ(5, r.u.fig2.segmentLength);
    EXPECT_EQ(0, std::memcmp(r.u.fig2.segment, "Hello", 5));
    const auto r5 = records(decoder.get(), 2, 5).at(0);
    EXPECT_EQ(0xE4910001u, r5.u.fig2.id);
    EXPECT_EQ(1, r5.u.fig2.segmentLength);
}

TEST(FicDecoderFigs, FidcAndConditionalAccessStayOutOfTheDatabase)
{
    DecoderPtr decoder = makeDecoder();
    Bytes many;
    for (int i = 0; i < 60; ++i)
        many.push_back(i % 2 ? 0xA0 : 0xC0); // type 5 and 6 headers of length 0
    // 60 invalid headers, each skipping 30 bytes: only the first is read.
    ASSERT_EQ(0, DAB_Bb_Ruz_FicDecoderPushFigs(decoder.get(), many.data(), static_cast<uint8_t>(many.size()), 0));
    Bytes fidc;
    for (int i = 0; i < 50; ++i) {
        fidc.push_back(0xA1);
        fidc.push_back(static_cast<uint8_t>(i));
    }
    ASSERT_EQ(0, pushFigs(decoder.get(), fidc));
    for (int type = 0; type < 3; ++type) {
        for (int extension = 0; extension < 32; ++extension)
            EXPECT_EQ(nullptr, DAB_Bb_Ruz_FicDecoderGetFigList(decoder.get(), type, extension));
    }
}

TEST(FicDecoderChangeCounter, CountsCallsThatSeeChanges)
{
    DecoderPtr decoder = makeDecoder();
    FicDecoder *d = decoder.get();
    EXPECT_EQ(0u, DAB_Bb_Ruz_FicDecoderGetChangeCounter(d));
    pushFigs(d, join({fig0_2Programme(0x9201, 1), fig1Label(1, 0x9201, "One             ")}));
    EXPECT_EQ(1u, DAB_Bb_Ruz_FicDecoderGetChangeCounter(d));
    EXPECT_EQ(1u, DAB_Bb_Ruz_FicDecoderGetChangeCounter(d));
    pushFigs(d, fig0_1Short(1, 0, 10)); // not watched
    EXPECT_EQ(1u, DAB_Bb_Ruz_FicDecoderGetChangeCounter(d));
    pushFigs(d, fig1Label(1, 0x9201, "Two             "));
    EXPECT_EQ(2u, DAB_Bb_Ruz_FicDecoderGetChangeCounter(d));
}
