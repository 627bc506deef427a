// The FIC database: replacement and modification counters, keyed updates,
// reconfiguration at its CIF, expiry and the fixed pool.
#include "FicTestSupport.h"

#include <gtest/gtest.h>

using namespace ZOZ::Test;

namespace {

Bytes fig0_0(int changeFlags, int cifLow, int occurrence = 0)
{
    Bits b = type0(0);
    b.put(0x9200, 16).put(changeFlags, 2).put(0, 1).put(0, 5).put(cifLow, 8);
    if (changeFlags != 0)
        b.put(occurrence, 8);
    return fig(0, b);
}

Bytes fig0_1(int subChId, int start, int cn)
{
    Bits b = type0(1, cn);
    b.put(subChId, 6).put(start, 10).put(0, 1).put(0, 1).put(10, 6);
    return fig(0, b);
}

Bytes fig0_2(uint16_t serviceId, int subChId, int cn = 0)
{
    Bits b = type0(2, cn);
    b.put(serviceId, 16).put(0, 1).put(0, 3).put(1, 4).put(0, 2).put(63, 6).put(subChId, 6).put(1, 1).put(0, 1);
    return fig(0, b);
}

Bytes fig0_24(uint16_t serviceId, std::vector<uint16_t> eids, int cn)
{
    Bits b = type0(24, cn);
    b.put(serviceId, 16).put(0, 1).put(0, 3).put(static_cast<uint32_t>(eids.size()), 4);
    for (uint16_t eid : eids)
        b.put(eid, 16);
    return fig(0, b);
}

Bytes emptyFib() { return fib({}); }

std::vector<int> subChannels(const FicDecoder *d, int cn)
{
    std::vector<int> out;
    for (const FicFigRecord &r : records(d, 0, 1)) {
        if (r.header.type0.cn == cn)
            out.push_back(r.u.fig0_1.subChId);
    }
    return out;
}

} // namespace

TEST(FicDatabase, ModificationCounterFollowsContent)
{
    DecoderPtr decoder = makeDecoder();
    FicDecoder *d = decoder.get();
    pushFigs(d, fig0_2(0x9201, 1));
    EXPECT_EQ(1u, DAB_Bb_Ruz_FicDecoderGetFigCount(d, 0, 2));
    pushFigs(d, fig0_2(0x9201, 1));
    EXPECT_EQ(1u, DAB_Bb_Ruz_FicDecoderGetFigCount(d, 0, 2));
    FicFigRecord r;
    DAB_Bb_Ruz_FicDecoderGetFigData(DAB_Bb_Ruz_FicDecoderGetFigList(d, 0, 2), &r);
    EXPECT_EQ(1u, r.timeStamp); // refreshed by the second push
    pushFigs(d, fig0_2(0x9201, 2));
    EXPECT_EQ(2u, DAB_Bb_Ruz_FicDecoderGetFigCount(d, 0, 2));
    EXPECT_EQ(1u, records(d, 0, 2).size());

    // Kept in key order whatever the arrival order; current before next.
    pushFigs(d, join({fig0_2(0x9300, 3), fig0_2(0x9100, 4), fig0_2(0x9000, 5, 1)}));
    const auto all = records(d, 0, 2);
    ASSERT_EQ(4u, all.size());
    EXPECT_EQ(0x9100u, all[0].u.fig0_2.serviceId);
    EXPECT_EQ(0x9201u, all[1].u.fig0_2.serviceId);
    EXPECT_EQ(0x9300u, all[2].u.fig0_2.serviceId);
    EXPECT_EQ(0x9000u, all[3].u.fig0_2.serviceId);
    EXPECT_EQ(3, DAB_Bb_Ruz_FicDecoderGetNumServices(d, 0));
    EXPECT_EQ(1, DAB_Bb_Ruz_FicDecoderGetNumServices(d, 1));
}

TEST(FicDatabase, ReconfigurationAtTheSignalledCif)
{
    DecoderPtr decoder = makeDecoder();
    FicDecoder *d = decoder.get();
    pushFib(d, fib({fig0_0(1, 0, 10), fig0_1(1, 0, 0), fig0_1(2, 50, 1)}));
    for (int cif = 1; cif < 10; ++cif) {
        pushFib(d, emptyFib());
        ASSERT_EQ(std::vector<int>{1}, subChannels(d, 0)) << "switched early at CIF " << cif;
    }
    pushFib(d, emptyFib());
    EXPECT_EQ(std::vector<int>{2}, subChannels(d, 0));
    EXPECT_TRUE(subChannels(d, 1).empty());
}

TEST(FicDatabase, ChangeFlagsZeroCancelThePendingChange)
{
    DecoderPtr decoder = makeDecoder();
    FicDecoder *d = decoder.get();
    pushFib(d, fib({fig0_0(1, 0, 5), fig0_1(1, 0, 0), fig0_1(2, 50, 1)}));
    pushFib(d, fib({fig0_0(0, 1)}));
    for (int i = 0; i < 10; ++i)
        pushFib(d, emptyFib());
    EXPECT_EQ(std::vector<int>{1}, subChannels(d, 0));
    EXPECT_EQ(std::vector<int>{2}, subChannels(d, 1));
}

TEST(FicDatabase, FigPushesReconfigureAtOnce)
{
    DecoderPtr decoder = makeDecoder();
    FicDecoder *d = decoder.get();
    pushFigs(d, join({fig0_1(1, 0, 0), fig0_1(2, 50, 1), fig0_2(0x9201, 1), fig0_2(0x9202, 2, 1)}));
    // Sub-channels only: the services stay.
    pushFigs(d, fig0_1(3, 80, 1), FIC_RECONFIGURE_SUBCHANNELS);
    EXPECT_EQ(std::vector<int>{2}, subChannels(d, 0));
    EXPECT_EQ(std::vector<int>{3}, subChannels(d, 1));
    EXPECT_EQ(1, DAB_Bb_Ruz_FicDecoderGetNumServices(d, 1));

    // A refused push changes nothing, not even its flags.
    Bytes broken = fig0_2(0x9203, 3);
    broken.pop_back();
    EXPECT_EQ(FIC_DECODER_BAD_ARGUMENT, pushFigs(d, broken, FIC_RECONFIGURE_SERVICES));
    EXPECT_EQ(1, DAB_Bb_Ruz_FicDecoderGetNumServices(d, 1));

    pushFigs(d, fig0_1(3, 80, 1), FIC_RECONFIGURE_SERVICES);
    EXPECT_EQ(1, DAB_Bb_Ruz_FicDecoderGetNumServices(d, 0));
    EXPECT_EQ(0, DAB_Bb_Ruz_FicDecoderGetNumServices(d, 1));
    FicServiceInfo info;
    DAB_Bb_Ruz_FicDecoderGetService(d, 0, 0, &info);
    EXPECT_EQ(0x9202u, info.serviceId);
}

TEST(FicDatabase, KeyedUpdatesKeepNextEntriesAndDeleteBothConfigurations)
{
    DecoderPtr decoder = makeDecoder();
    FicDecoder *d = decoder.get();
    pushFigs(d, join({fig0_24(0x9201, {0x1000}, 0), fig0_24(0x9201, {0x2000}, 1), fig0_24(0x9201, {0x1500}, 1)}));
    auto entries = records(d, 0, 24);
    ASSERT_EQ(3u, entries.size());
    EXPECT_EQ(0, entries[0].header.type0.cn);
    EXPECT_EQ(0x1000, entries[0].u.fig0_24.eids[0]);
    // Two next entries with one key coexist, in content order.
    EXPECT_EQ(0x1500, entries[1].u.fig0_24.eids[0]);
    EXPECT_EQ(0x2000, entries[2].u.fig0_24.eids[0]);

    // A new current entry replaces the current one only.
    pushFigs(d, fig0_24(0x9201, {0x1001}, 0));
    entries = records(d, 0, 24);
    ASSERT_EQ(3u, entries.size());
    EXPECT_EQ(0x1001, entries[0].u.fig0_24.eids[0]);

    // Another service's entries are untouched by the delete form.
    pushFigs(d, fig0_24(0x9300, {0x3000}, 0));
    pushFigs(d, fig0_24(0x9201, {}, 0));
    entries = records(d, 0, 24);
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ(0x9300u, entries[0].u.fig0_24.serviceId);
}

TEST(FicDatabase, LinkageActivationByDeleteFormOfTheNextConfiguration)
{
    auto linkage = [](int la, bool withList, int cn) {
        Bits b = type0(6, cn);
        b.put(withList ? 1 : 0, 1).put(la, 1).put(0, 1).put(0, 1).put(0x123, 12);
        if (withList)
            b.put(0, 1).put(0, 2).put(0, 1).put(1, 4).put(0x9201, 16);
        return fig(0, b);
    };
    DecoderPtr decoder = makeDecoder();
    FicDecoder *d = decoder.get();
    pushFigs(d, linkage(0, true, 0));
    const uint32_t before = DAB_Bb_Ruz_FicDecoderGetFigCount(d, 0, 6);
    pushFigs(d, linkage(1, false, 1));
    auto entries = records(d, 0, 6);
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ(1, entries[0].u.fig0_6.la);
    EXPECT_EQ(1, entries[0].u.fig0_6.numIds);
    EXPECT_EQ(before + 1, DAB_Bb_Ruz_FicDecoderGetFigCount(d, 0, 6));
    pushFigs(d, linkage(1, false, 0));
    EXPECT_TRUE(records(d, 0, 6).empty());
}

TEST(FicDatabase, EntriesExpire)
{
    DecoderPtr decoder = makeDecoder();
    FicDecoder *d = decoder.get();
    // Push 0 carries FIG 0/0; its list is checked at pushes 0, 32, 64...
    pushFib(d, fib({fig0_0(0, 0), fig0_2(0x9201, 1)}));
    for (int push = 1; push < 64; ++push)
        pushFib(d, emptyFib());
    EXPECT_EQ(1u, records(d, 0, 0).size()) << "40 pushes old at push 32: still kept";
    pushFib(d, emptyFib());
    EXPECT_TRUE(records(d, 0, 0).empty());
    EXPECT_EQ(1u, records(d, 0, 2).size()) << "FIG 0/2 lives 400 pushes";

    // Time-out 0: FIG 0/7 survives only the push that brought it.
    Bits seven = type0(7);
    seven.put(1, 6).put(1, 10);
    pushFib(d, fib({fig(0, seven)}));
    EXPECT_EQ(1u, records(d, 0, 7).size());
    for (int push = 0; push < 32; ++push)
        pushFib(d, emptyFib());
    EXPECT_TRUE(records(d, 0, 7).empty());
}

TEST(FicDatabase, FullListAndPoolDropNewEntriesButFollowKnownOnes)
{
    DecoderPtr decoder = makeDecoder();
    FicDecoder *d = decoder.get();
    auto label = [](int extension, uint32_t id, char fill) {
        char text[17];
        std::memset(text, fill, 16);
        text[16] = 0;
        Bits b = type1(extension);
        b.put(id, extension == 5 ? 32 : 16).text(text).put(0, 16);
        return fig(1, b);
    };
    // Ten labels to a push, so that none grows old enough to expire.
    auto pushLabels = [&](int extension, uint32_t first, int count) {
        for (int done = 0; done < count; done += 10) {
            Bytes figs;
            for (int i = done; i < count && i < done + 10; ++i)
                figs = join({figs, label(extension, first + static_cast<uint32_t>(i), 'a')});
            pushFigs(d, figs);
        }
    };
    pushLabels(1, 0x1000, 350);
    EXPECT_EQ(300u, records(d, 1, 1).size());
    pushLabels(5, 0xE0000000, 250);
    EXPECT_EQ(200u, records(d, 1, 5).size()) << "the pool holds 500 entries";

    const uint32_t count = DAB_Bb_Ruz_FicDecoderGetFigCount(d, 1, 1);
    pushFigs(d, label(1, 0x1000, 'z'));
    EXPECT_EQ(count + 1, DAB_Bb_Ruz_FicDecoderGetFigCount(d, 1, 1));
    EXPECT_EQ('z', records(d, 1, 1).at(0).u.fig1.label[0]);

    DAB_Bb_Ruz_FicDecoderInit(d);
    EXPECT_TRUE(records(d, 1, 1).empty());
    EXPECT_EQ(0u, DAB_Bb_Ruz_FicDecoderGetFigCount(d, 1, 1));
    pushFigs(d, label(1, 0x1000, 'a'));
    EXPECT_EQ(1u, records(d, 1, 1).size());
}
