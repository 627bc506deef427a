// Stream handlers: services registered for a stream or a packet address get
// the bytes the receiver library delivers for their sub-channel.
#include "../libs/codec/support/EtiSubchannels.h"
#include "../libs/dab/PacketTestSupport.h"

#include "ZOZDab.h"
#include "ZOZReceiver.h"
#include "ZOZStreamHandler.h"

#include <QMutex>
#include <QMutexLocker>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

using namespace ZOZ;
using namespace ZOZ::Test::Packet;

namespace {

// A service as the receiver sees it, recording what it is given.
class FakeConsumer : public Pointer, public StreamConsumer
{
public:
    explicit FakeConsumer(Location where) : m_where(where) { retain(); }

    Location streamLocation() const override { return m_where; }
    Pointer *streamReference() override { return this; }
    void receiveData(int length, const uchar *const &data) override
    {
        QMutexLocker locker(&m_mutex);
        m_received.emplace_back(data, data + length);
    }

    std::vector<Bytes> received()
    {
        QMutexLocker locker(&m_mutex);
        return m_received;
    }
    void clear()
    {
        QMutexLocker locker(&m_mutex);
        m_received.clear();
    }

private:
    Location m_where;
    QMutex m_mutex;
    std::vector<Bytes> m_received;
};

StreamConsumer::Location streamService(int ensemble, int subChId)
{
    StreamConsumer::Location where;
    where.ensembleIndex = ensemble;
    where.streamId = subChId;
    return where;
}

StreamConsumer::Location packetService(int ensemble, int subChId, quint16 address, quint8 rows = 0,
                                       quint8 columns = 0)
{
    StreamConsumer::Location where = streamService(ensemble, subChId);
    where.packetMode = true;
    where.packetAddress = address;
    where.packetModeEnhanced = rows != 0;
    where.reedSolomonRows = rows;
    where.reedSolomonColumns = columns;
    return where;
}

// Consumers live on the heap with the test's own reference, like services.
struct Owned {
    explicit Owned(StreamConsumer::Location where) : consumer(new FakeConsumer(where)) {}
    ~Owned() { consumer->release(); }
    FakeConsumer *operator->() const { return consumer; }
    FakeConsumer *consumer;
};

class StreamHandlerTest : public ::testing::Test
{
protected:
    void feed(int subChId, const Bytes &bytes)
    {
        receiver.DAB_parseMscData(&ensemble, bytes.data(), int(bytes.size()), quint8(subChId));
    }
    int handlerCount(int subChId)
    {
        QVector<StreamHandler *> handlers;
        receiver.collectStreamHandlers(ensemble.index, subChId, handlers);
        for (StreamHandler *h : handlers)
            h->release();
        return handlers.size();
    }
    Bytes groupStream(quint16 address, const Bytes &group)
    {
        int &c = continuity[address];
        return join(groupPackets(address, group, c, 96));
    }

    Receiver receiver;
    DabEnsemble ensemble;
    std::map<quint16, int> continuity;

    void SetUp() override { ensemble.index = 7; }
};

} // namespace

TEST_F(StreamHandlerTest, StreamServiceAttachedTwiceGetsTwoHandlers)
{
    Owned service(streamService(7, 3));
    receiver.attachStreamHandler(service.consumer);
    receiver.attachStreamHandler(service.consumer);
    EXPECT_EQ(2, handlerCount(3));
    EXPECT_EQ(3, service->referenceCount());
    feed(3, {1, 2, 3, 4});
    feed(4, {9, 9, 9}); // another sub-channel
    feed(3, {5, 6});    // below three bytes: dropped
    EXPECT_EQ((std::vector<Bytes>{{1, 2, 3, 4}, {1, 2, 3, 4}}), service->received());
    receiver.detachStreamHandler(service.consumer);
    EXPECT_EQ(0, handlerCount(3));
    EXPECT_EQ(1, service->referenceCount());
}

TEST_F(StreamHandlerTest, ServicesOfOneAddressShareIt)
{
    Owned first(packetService(7, 5, 1)), second(packetService(7, 5, 1)), other(packetService(7, 5, 700));
    receiver.attachStreamHandler(first.consumer);
    receiver.attachStreamHandler(second.consumer);
    receiver.attachStreamHandler(other.consumer);
    EXPECT_EQ(1, handlerCount(5));
    const Bytes a = pattern(200, 1), b = pattern(120, 2);
    feed(5, join({groupStream(1, a), groupStream(700, b)}));
    EXPECT_EQ(std::vector<Bytes>{a}, first->received());
    EXPECT_EQ(std::vector<Bytes>{a}, second->received());
    EXPECT_EQ(std::vector<Bytes>{b}, other->received()) << "addresses above 255 arrive";

    receiver.detachStreamHandler(first.consumer);
    first->clear();
    second->clear();
    feed(5, groupStream(1, b));
    EXPECT_TRUE(first->received().empty());
    EXPECT_EQ(std::vector<Bytes>{b}, second->received());

    receiver.detachStreamHandler(second.consumer);
    receiver.detachStreamHandler(other.consumer);
    EXPECT_EQ(0, handlerCount(5));
    EXPECT_EQ(1, first->referenceCount());
    EXPECT_EQ(1, second->referenceCount());
    EXPECT_EQ(1, other->referenceCount());
}

TEST_F(StreamHandlerTest, PartialPacketsAreCompletedByTheNextPiece)
{
    Owned service(packetService(7, 5, 2));
    receiver.attachStreamHandler(service.consumer);
    const Bytes group = pattern(500, 3);
    const Bytes stream = groupStream(2, group);
    for (size_t at = 0; at < stream.size(); at += 50)
        feed(5, Bytes(stream.begin() + long(at), stream.begin() + long(std::min(stream.size(), at + 50))));
    EXPECT_EQ(std::vector<Bytes>{group}, service->received());
    receiver.detachStreamHandler(service.consumer);
}

TEST_F(StreamHandlerTest, MissingPacketOfOneAddressKeepsTheOthersPendingBytes)
{
    Owned broken(packetService(7, 5, 1)), whole(packetService(7, 5, 2));
    receiver.attachStreamHandler(broken.consumer);
    receiver.attachStreamHandler(whole.consumer);
    int c = 0;
    std::vector<Bytes> a = groupPackets(1, pattern(250, 1), c, 96); // three packets
    a.erase(a.begin() + 1);
    const Bytes group = pattern(150, 2);
    const Bytes b = groupStream(2, group); // two packets
    // The piece ends inside the last packet of address 2, after the break on address 1.
    const Bytes stream = join({a[0], a[1], b});
    feed(5, Bytes(stream.begin(), stream.end() - 40));
    feed(5, Bytes(stream.end() - 40, stream.end()));
    EXPECT_TRUE(broken->received().empty());
    EXPECT_EQ(std::vector<Bytes>{group}, whole->received());
    receiver.detachStreamHandler(broken.consumer);
    receiver.detachStreamHandler(whole.consumer);
}

TEST_F(StreamHandlerTest, OtherDecoderSettingsTakeTheSubChannelOver)
{
    Owned plain(packetService(7, 6, 1)), enhanced(packetService(7, 6, 2, 12, 188));
    receiver.attachStreamHandler(plain.consumer);
    receiver.attachStreamHandler(enhanced.consumer);
    EXPECT_EQ(1, handlerCount(6));
    EXPECT_EQ(1, plain->referenceCount()) << "the first handler was closed";
    feed(6, groupStream(1, pattern(100, 1)));
    EXPECT_TRUE(plain->received().empty());
    receiver.detachStreamHandler(enhanced.consumer);
    EXPECT_EQ(0, handlerCount(6));
}

TEST_F(StreamHandlerTest, DecoderWithoutPossibleCorrectionStillDelivers)
{
    Owned service(packetService(7, 8, 3, 13, 239)); // a frame larger than the decoder holds
    receiver.attachStreamHandler(service.consumer);
    const Bytes group = pattern(300, 4);
    feed(8, groupStream(3, group));
    EXPECT_EQ(std::vector<Bytes>{group}, service->received());
    receiver.detachStreamHandler(service.consumer);
}

TEST_F(StreamHandlerTest, ContainerWithoutItsOwnAddressRegistersNothing)
{
    StreamConsumer::Location where = packetService(7, 9, 1);
    where.ownPacketAddress = false;
    Owned container(where);
    receiver.attachStreamHandler(container.consumer);
    EXPECT_EQ(0, handlerCount(9));
    StreamConsumer::Location far = streamService(65, 1);
    Owned outside(far);
    receiver.attachStreamHandler(outside.consumer);
    EXPECT_EQ(1, outside->referenceCount()) << "ensemble index 65 is not registered";
}

TEST_F(StreamHandlerTest, AttachAndDetachWhileDataFlows)
{
    Owned stream(streamService(7, 1)), packet(packetService(7, 2, 1)), again(packetService(7, 2, 1));
    const Bytes groups = join({groupStream(1, pattern(400, 1)), groupStream(1, pattern(50, 2))});
    std::atomic<bool> running{true};
    std::thread library([&] {
        const Bytes audio(120, 0x55);
        while (running.load()) {
            feed(1, audio);
            for (size_t at = 0; at < groups.size(); at += 96)
                feed(2, Bytes(groups.begin() + long(at), groups.begin() + long(std::min(groups.size(), at + 96))));
        }
    });
    // Data reaches an attached service while the library's thread runs.
    receiver.attachStreamHandler(stream.consumer);
    for (int wait = 0; wait < 2000 && stream->received().empty(); ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    receiver.detachStreamHandler(stream.consumer);
    EXPECT_FALSE(stream->received().empty());
    for (int round = 0; round < 300; ++round) {
        receiver.attachStreamHandler(stream.consumer);
        receiver.attachStreamHandler(packet.consumer);
        receiver.attachStreamHandler(again.consumer);
        std::this_thread::yield();
        receiver.detachStreamHandler(packet.consumer);
        receiver.detachStreamHandler(stream.consumer);
        receiver.detachStreamHandler(again.consumer);
    }
    receiver.attachStreamHandler(packet.consumer);
    running = false;
    library.join();
    receiver.detachStreamHandler(packet.consumer);
    EXPECT_EQ(0, handlerCount(1));
    EXPECT_EQ(0, handlerCount(2));
    EXPECT_EQ(1, stream->referenceCount());
    EXPECT_EQ(1, packet->referenceCount());
    EXPECT_EQ(1, again->referenceCount());
}

TEST_F(StreamHandlerTest, SloveniaJournalineAndSpiThroughTheReceiver)
{
    const std::string path = std::string(ZOZ_TESTDATA_DIR) + "/slovenia-r1.eti";
    if (!std::ifstream(path).good())
        GTEST_SKIP() << "needs the test recording " << path;
    const auto subchannels = readEtiSubchannels(path);
    Owned journaline(packetService(7, 13, 1)), spi(packetService(7, 6, 2));
    receiver.attachStreamHandler(journaline.consumer);
    receiver.attachStreamHandler(spi.consumer);
    for (const auto &[id, service] : {std::pair{13u, journaline.consumer}, std::pair{6u, spi.consumer}}) {
        SCOPED_TRACE(id);
        ASSERT_TRUE(subchannels.count(id));
        const EtiSubchannel &s = subchannels.at(id);
        const size_t frameBytes = s.bytes.size() / s.frames;
        for (size_t at = 0; at < s.bytes.size(); at += frameBytes)
            feed(int(id), Bytes(s.bytes.begin() + long(at), s.bytes.begin() + long(at + frameBytes)));
        const std::vector<Bytes> groups = service->received();
        ASSERT_FALSE(groups.empty());
        for (const Bytes &g : groups) {
            ASSERT_GE(g.size(), 4u);
            const uint16_t crc = uint16_t((g[g.size() - 2] << 8) | g.back());
            EXPECT_EQ(1, DAB_Bb_Ruz_Crc16Check(g.data(), g.size() - 2, crc));
        }
    }
    receiver.detachStreamHandler(journaline.consumer);
    receiver.detachStreamHandler(spi.consumer);
}
