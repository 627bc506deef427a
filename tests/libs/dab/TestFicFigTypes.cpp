// The less common FIGs, hand-encoded, against the records they produce.
#include "FicTestSupport.h"

#include <gtest/gtest.h>

#include <functional>

using namespace ZOZ::Test;

namespace {

struct Case {
    const char *name;
    Bytes figs;
    int type, extension;
    std::function<void(const FicFigRecord &)> check;
};

Bytes seenFig0_7()
{
    Bits b = type0(7);
    b.put(3, 6).put(7, 10);
    return fig(0, b);
}

Bits type2(int extension, int segmentIndex, int toggle = 0)
{
    Bits b;
    b.put(toggle, 1).put(segmentIndex, 3).put(0, 1).put(extension, 3);
    return b;
}

std::vector<Case> cases()
{
    std::vector<Case> out;
    {
        Bits b = type0(4);
        b.put(0, 1).put(1, 1).put(9, 6).put(0x1234, 16);
        out.push_back({"0/4 FIC form", fig(0, b), 0, 4, [](const FicFigRecord &r) {
                           EXPECT_EQ(1, r.u.fig0_4.mf);
                           EXPECT_EQ(9, r.u.fig0_4.id);
                           EXPECT_EQ(0x1234, r.u.fig0_4.caOrg);
                       }});
    }
    {
        Bits b = type0(6, 0, 1);
        b.put(1, 1).put(1, 1).put(1, 1).put(0, 1).put(0xABC, 12).put(0, 4).put(2, 4);
        b.put(0xE4910001, 32).put(0xE4910002, 32);
        out.push_back({"0/6 data services", fig(0, b), 0, 6, [](const FicFigRecord &r) {
                           EXPECT_EQ(FIC_UPDATE_CURRENT, r.updateMode);
                           EXPECT_EQ(0xABC, r.u.fig0_6.lsn);
                           ASSERT_EQ(2, r.u.fig0_6.numIds);
                           EXPECT_EQ(0xE4910002u, r.u.fig0_6.ids[1]);
                       }});
    }
    {
        Bits b = type0(6);
        b.put(1, 1).put(0, 1).put(0, 1).put(1, 1).put(0x010, 12).put(0, 1).put(2, 2).put(1, 1).put(1, 4);
        b.put(0xE1, 8).put(0xC201, 16);
        out.push_back({"0/6 international ids", fig(0, b), 0, 6, [](const FicFigRecord &r) {
                           EXPECT_EQ(2, r.u.fig0_6.idLq);
                           EXPECT_EQ(1, r.u.fig0_6.shd);
                           EXPECT_EQ(0xE1, r.u.fig0_6.ecc[0]);
                           EXPECT_EQ(0xC201u, r.u.fig0_6.ids[0]);
                       }});
    }
    {
        Bits b = type0(8, 0, 1);
        b.put(0xE4910002, 32).put(1, 1).put(0, 3).put(5, 4).put(1, 1).put(0, 3).put(0x00F, 12).put(0x55, 8);
        out.push_back({"0/8 long form with extension", fig(0, b), 0, 8, [](const FicFigRecord &r) {
                           EXPECT_EQ(0xE4910002u, r.u.fig0_8.serviceId);
                           EXPECT_EQ(5, r.u.fig0_8.scIdS);
                           EXPECT_EQ(2, r.u.fig0_8.form);
                           EXPECT_EQ(0x00F, r.u.fig0_8.scId);
                           EXPECT_EQ(0x55, r.u.fig0_8.reserved8);
                       }});
    }
    {
        Bits b = type0(11);
        b.put(0, 4).put(1, 1).put(3, 5).put(7, 6).put(0, 3).put(2, 5).put(0x11, 8).put(0x22, 8);
        b.put(1, 4).put(0, 1).put(4, 5).put(8, 6).put(0x1000, 16).put(0x2000, 16).put(0x300, 12).put(0x400, 12);
        out.push_back({"0/11 both GATy", fig(0, b), 0, 11, [](const FicFigRecord &r) {
                           if (r.u.fig0_11.gaty == 0) {
                               EXPECT_EQ(2, r.u.fig0_11.listLength);
                               EXPECT_EQ(0x22, r.u.fig0_11.list[1]);
                           } else {
                               EXPECT_EQ(0x2000, r.u.fig0_11.longitudeCoarse);
                               EXPECT_EQ(0x400, r.u.fig0_11.longitudeExtent);
                           }
                       }});
    }
    {
        Bits b = type0(12);
        b.put(0x4242, 16).put(1, 1).put(5, 3).put(1, 2).put(1, 2).put(0x99, 8).put(0xDEADBEEF, 32).put(7, 32);
        out.push_back({"0/12 two values", fig(0, b), 0, 12, [](const FicFigRecord &r) {
                           EXPECT_EQ(0x4242, r.u.fig0_12.id);
                           EXPECT_EQ(0x99, r.u.fig0_12.optional8);
                           ASSERT_EQ(2, r.u.fig0_12.numValues);
                           EXPECT_EQ(0xDEADBEEFu, r.u.fig0_12.values[0]);
                           EXPECT_EQ(7u, r.u.fig0_12.values[1]);
                       }});
    }
    {
        Bits b = type0(16);
        b.put(0x9201, 16).put(0x1234, 16).put(0, 6).put(1, 1).put(1, 1).put(0x9202, 16).put(0x5678, 16);
        out.push_back({"0/16 with update", fig(0, b), 0, 16, [](const FicFigRecord &r) {
                           EXPECT_EQ(0x1234, r.u.fig0_16.pnum);
                           EXPECT_EQ(1, r.u.fig0_16.continuationFlag);
                           EXPECT_EQ(0x9202, r.u.fig0_16.newServiceId);
                           EXPECT_EQ(0x5678, r.u.fig0_16.newPnum);
                       }});
    }
    {
        Bits b = type0(18);
        b.put(0x9201, 16).put(0x0003, 16).put(0, 3).put(2, 5).put(1, 8).put(4, 8);
        out.push_back({"0/18 clusters", fig(0, b), 0, 18, [](const FicFigRecord &r) {
                           EXPECT_EQ(3, r.u.fig0_18.asuFlags);
                           ASSERT_EQ(2, r.u.fig0_18.numClusters);
                           EXPECT_EQ(4, r.u.fig0_18.clusterIds[1]);
                       }});
    }
    {
        Bits b = type0(19);
        b.put(1, 8).put(0x0002, 16).put(1, 1).put(1, 1).put(12, 6).put(0, 2).put(33, 6);
        out.push_back({"0/19 with region", fig(0, b), 0, 19, [](const FicFigRecord &r) {
                           EXPECT_EQ(2, r.u.fig0_19.aswFlags);
                           EXPECT_EQ(1, r.u.fig0_19.newFlag);
                           EXPECT_EQ(12, r.u.fig0_19.subChId);
                           EXPECT_EQ(33, r.u.fig0_19.regionId);
                       }});
    }
    {
        Bits b = type0(20);
        b.put(0x9201, 16).put(3, 4).put(2, 2).put(1, 1).put(1, 1).put(1, 1).put(0, 1).put(17, 6);
        b.put(21, 5).put(13, 5).put(45, 6).put(30, 6).put(1, 1).put(1, 1).put(0x9301, 16).put(0x9300, 16);
        out.push_back({"0/20 with transfer", fig(0, b), 0, 20, [](const FicFigRecord &r) {
                           EXPECT_EQ(3, r.u.fig0_20.scIdS);
                           EXPECT_EQ(17, r.u.fig0_20.scField6);
                           EXPECT_EQ(21, r.u.fig0_20.date);
                           EXPECT_EQ(45, r.u.fig0_20.minutes);
                           EXPECT_EQ(0x9301u, r.u.fig0_20.transferServiceId);
                           EXPECT_EQ(0x9300, r.u.fig0_20.transferEid);
                       }});
    }
    {
        Bits b = type0(21);
        b.put(0, 11).put(9, 5);
        b.put(0x9200, 16).put(0, 4).put(1, 1).put(3, 3).put(0x01, 8).put(0x02, 8).put(0x03, 8);
        b.put(0x9300, 16).put(1, 4).put(0, 1).put(0, 3);
        out.push_back({"0/21 entry and delete form", fig(0, b), 0, 21, [](const FicFigRecord &r) {
                           EXPECT_EQ(0x9200, r.u.fig0_21.id);
                           ASSERT_EQ(3, r.u.fig0_21.length);
                           EXPECT_EQ(0x03, r.u.fig0_21.frequencies[2]);
                       }});
    }
    {
        Bits b = type0(22);
        b.put(1, 1).put(5, 7).put(0, 5).put(1, 3).put(2, 5).put(0x123, 11).put(0x4444, 16).put(0x5555, 16);
        b.put(0, 1).put(6, 7).put(0x1111, 16).put(0x2222, 16).put(3, 4).put(4, 4);
        out.push_back({"0/22 both forms", fig(0, b), 0, 22, [](const FicFigRecord &r) {
                           if (r.u.fig0_22.ms) {
                               ASSERT_EQ(1, r.u.fig0_22.numSubFields);
                               EXPECT_EQ(0x123, r.u.fig0_22.subFields[0].field11);
                               EXPECT_EQ(0x5555, r.u.fig0_22.subFields[0].field16b);
                           } else {
                               EXPECT_EQ(6, r.u.fig0_22.mainId);
                               EXPECT_EQ(4, r.u.fig0_22.longitudeFine);
                           }
                       }});
    }
    {
        Bits b = type0(25);
        b.put(0x9201, 16).put(0x0001, 16).put(0, 4).put(2, 4).put(0x9300, 16).put(0x9400, 16);
        out.push_back({"0/25 first layout", fig(0, b), 0, 25, [](const FicFigRecord &r) {
                           EXPECT_EQ(0, r.u.fig0_25.secondLayout);
                           ASSERT_EQ(2, r.u.fig0_25.numEids);
                           EXPECT_EQ(0x9400, r.u.fig0_25.eids[1]);
                       }});
        Bits c = type0(25);
        c.put(0x9201, 16).put(0x0001, 16).put(9, 6).put(1, 2).put(0x77, 8).put(0x9500, 16);
        out.push_back({"0/25 second layout", join({seenFig0_7(), fig(0, c)}), 0, 25, [](const FicFigRecord &r) {
                           EXPECT_EQ(1, r.u.fig0_25.secondLayout);
                           ASSERT_EQ(1, r.u.fig0_25.count);
                           EXPECT_EQ(0x77, r.u.fig0_25.items[0].field8);
                           EXPECT_EQ(0x9500, r.u.fig0_25.items[0].field16);
                       }});
    }
    {
        Bits b = type0(26);
        b.put(2, 8).put(0x0004, 16).put(0, 1).put(1, 1).put(7, 6).put(0x9300, 16).put(5, 8).put(0, 2).put(9, 6);
        out.push_back({"0/26 first layout", fig(0, b), 0, 26, [](const FicFigRecord &r) {
                           EXPECT_EQ(7, r.u.fig0_26.subChId);
                           EXPECT_EQ(0x9300, r.u.fig0_26.eid);
                           EXPECT_EQ(5, r.u.fig0_26.otherClusterId);
                           EXPECT_EQ(9, r.u.fig0_26.regionId);
                       }});
        Bits c = type0(26);
        c.put(2, 8).put(0x0004, 16).put(1, 1).put(5, 3).put(6, 4).put(0x9400, 16);
        out.push_back({"0/26 second layout", join({seenFig0_7(), fig(0, c)}), 0, 26, [](const FicFigRecord &r) {
                           EXPECT_EQ(1, r.u.fig0_26.secondLayout);
                           EXPECT_EQ(5, r.u.fig0_26.field3);
                           EXPECT_EQ(6, r.u.fig0_26.field4);
                           EXPECT_EQ(0x9400, r.u.fig0_26.eid);
                       }});
    }
    {
        Bits b = type0(27);
        b.put(0x9201, 16).put(0, 4).put(2, 4).put(0xD301, 16).put(0xD302, 16);
        out.push_back({"0/27 PI codes", fig(0, b), 0, 27, [](const FicFigRecord &r) {
                           ASSERT_EQ(2, r.u.fig0_27.numPiCodes);
                           EXPECT_EQ(0xD302, r.u.fig0_27.piCodes[1]);
                       }});
    }
    {
        Bits b = type0(28);
        b.put(3, 8).put(1, 1).put(0, 1).put(0, 6).put(0xD301, 16);
        out.push_back({"0/28", fig(0, b), 0, 28, [](const FicFigRecord &r) {
                           EXPECT_EQ(3, r.u.fig0_28.clusterId);
                           EXPECT_EQ(0xD301, r.u.fig0_28.piCode);
                       }});
    }
    {
        Bits b = type0(31);
        b.put(0x80000001, 32).put(0x03, 8).put(0x02, 8);
        out.push_back({"0/31", fig(0, b), 0, 31, [](const FicFigRecord &r) {
                           EXPECT_EQ(0x80000001u, r.u.fig0_31.type0Flags);
                           EXPECT_EQ(0x03, r.u.fig0_31.type1Flags);
                       }});
    }
    {
        Bits b = type1(2, 15);
        b.put(1, 1).put(1, 1).put(0x21, 6).put(0x31, 8).put(0x41, 8).text("Regional label  ").put(0xFFFF, 16);
        b.put(0x51, 8).put(6, 4).put(7, 4);
        out.push_back({"1/2 with both flags", fig(1, b), 1, 2, [](const FicFigRecord &r) {
                           EXPECT_EQ(15, r.header.type1.charset);
                           EXPECT_EQ(0x21, r.u.fig1.field6);
                           EXPECT_EQ(0x31, r.u.fig1.optional8);
                           EXPECT_EQ(0x41, r.u.fig1.field8);
                           EXPECT_EQ("Regional label  ", label(r.u.fig1.label));
                           EXPECT_EQ(0x51, r.u.fig1.extra8);
                           EXPECT_EQ(7, r.u.fig1.extra4b);
                       }});
    }
    {
        Bits b = type1(3);
        b.put(1, 2).put(44, 6).text("Region          ").put(0xFC00, 16);
        out.push_back({"1/3", fig(1, b), 1, 3, [](const FicFigRecord &r) {
                           EXPECT_EQ(44, r.u.fig1.regionId);
                           EXPECT_EQ(0xFC00, r.u.fig1.charFlags);
                       }});
    }
    {
        Bits b = type1(6);
        b.put(1, 1).put(0, 3).put(4, 4).put(0xE4910001, 32).put(0, 3).put(12, 5).text("X-PAD app label ").put(0xF000, 16);
        out.push_back({"1/6 data service", fig(1, b), 1, 6, [](const FicFigRecord &r) {
                           EXPECT_EQ(1, r.u.fig1.pd);
                           EXPECT_EQ(4, r.u.fig1.scIdS);
                           EXPECT_EQ(0xE4910001u, r.u.fig1.id);
                           EXPECT_EQ(12, r.u.fig1.xpadAppType);
                       }});
    }
    {
        Bits b = type2(3, 1);
        b.put(2, 2).put(10, 6).put('a', 8).put('b', 8);
        out.push_back({"2/3", fig(2, b), 2, 3, [](const FicFigRecord &r) {
                           EXPECT_EQ(10, r.u.fig2.regionId);
                           EXPECT_EQ(1, r.header.type2.segmentIndex);
                           EXPECT_EQ(2, r.u.fig2.segmentLength);
                       }});
    }
    {
        Bits b = type2(4, 0, 1);
        b.put(0, 1).put(0, 3).put(1, 4).put(0x9201, 16).put('x', 8).put('y', 8).put('z', 8);
        out.push_back({"2/4 programme", fig(2, b), 2, 4, [](const FicFigRecord &r) {
                           EXPECT_EQ(1, r.header.type2.toggle);
                           EXPECT_EQ(0x9201u, r.u.fig2.id);
                           EXPECT_EQ(1, r.u.fig2.scIdS);
                           ASSERT_EQ(3, r.u.fig2.segmentLength);
                           EXPECT_EQ('z', r.u.fig2.segment[2]);
                       }});
    }
    {
        Bits b = type2(6, 2);
        b.put(1, 1).put(0, 3).put(2, 4).put(0xE4910001, 32).put(0, 3).put(3, 5).put('q', 8);
        out.push_back({"2/6 data service", fig(2, b), 2, 6, [](const FicFigRecord &r) {
                           EXPECT_EQ(0xE4910001u, r.u.fig2.id);
                           EXPECT_EQ(3, r.u.fig2.xpadAppType);
                           ASSERT_EQ(1, r.u.fig2.segmentLength);
                           EXPECT_EQ('q', r.u.fig2.segment[0]);
                       }});
    }
    {
        Bits b = type2(7, 0);
        b.put(0x1234, 16);
        out.push_back({"2/7 empty segment", fig(2, b), 2, 7, [](const FicFigRecord &r) {
                           EXPECT_EQ(0x1234u, r.u.fig2.id);
                           EXPECT_EQ(0, r.u.fig2.segmentLength);
                       }});
    }
    return out;
}

} // namespace

TEST(FicFigTypes, RecordsCarryTheirFields)
{
    for (const Case &c : cases()) {
        SCOPED_TRACE(c.name);
        DecoderPtr decoder = makeDecoder();
        ASSERT_EQ(0, pushFigs(decoder.get(), c.figs));
        const auto stored = records(decoder.get(), c.type, c.extension);
        ASSERT_FALSE(stored.empty());
        for (const FicFigRecord &r : stored) {
            EXPECT_EQ(0, r.status);
            EXPECT_EQ(c.type, r.figType);
            EXPECT_EQ(c.extension, r.extension);
            c.check(r);
        }
    }
}

TEST(FicFigTypes, UnreadExtensionsAreNotStored)
{
    const int type0Unread[] = {15, 23, 29, 30};
    for (int extension : type0Unread) {
        Bits b = type0(extension);
        b.put(0x12345678, 32);
        DecoderPtr decoder = makeDecoder();
        pushFigs(decoder.get(), fig(0, b));
        EXPECT_TRUE(records(decoder.get(), 0, extension).empty()) << extension;
    }
    Bits label7 = type1(7);
    label7.put(0x9201, 16).text("Not read        ").put(0, 16);
    Bits segment2 = type2(2, 0);
    segment2.put(0x9201, 16).put('a', 8);
    DecoderPtr decoder = makeDecoder();
    pushFigs(decoder.get(), join({fig(1, label7), fig(2, segment2)}));
    EXPECT_TRUE(records(decoder.get(), 1, 7).empty());
    EXPECT_TRUE(records(decoder.get(), 2, 2).empty());
}
