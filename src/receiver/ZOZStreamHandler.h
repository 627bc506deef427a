#pragma once

#include "base/ZOZPointer.h"
#include "ZOZStreamConsumer.h"

#include <QByteArray>
#include <QMutex>
#include <QVector>

#include <array>
#include <cstdint>

struct DabPmDecoder;

namespace ZOZ {

// One open packet address of a packet-mode handler: the services that want
// it and the buffer the decoder builds its data groups in.
struct PacketAddressRecord
{
    static constexpr quint32 BufferBytes = 8216;
    static constexpr quint32 OfferedBytes = 8215;

    quint16 address = 0;
    QVector<StreamConsumer *> consumers; // one counted reference each
    std::array<quint8, BufferBytes> buffer {};
};

// The receiver's record of services registered for one stream: a stream-mode
// sub-channel with its one service, or a packet-mode sub-channel with its
// decoder and the services of each of its packet addresses. The marked flag of
// the base means disposed: delivery passes such a handler over.
class StreamHandler : public Pointer
{
public:
    // The decoder parameters taken from the first service.
    struct Parameters
    {
        bool enhanced = false;
        quint8 packetLength = 0;
        quint8 rows = 0;
        quint8 columns = 0;
        bool shortHeaders = false;
        bool operator==(const Parameters &) const = default;
    };

    StreamHandler() = default;
    ~StreamHandler() override;

    // Makes the decoder; false (and no decoder) when it cannot be made.
    bool createDecoder(int &result);
    void freeDecoder();
    // Disposes of the handler: no more delivery, every reference let go.
    void close();
    PacketAddressRecord *record(quint16 address) const;

    // Never taken twice by one thread: the decoder's callback runs under the
    // lock that the feed holds.
    QMutex lock;
    StreamConsumer *service = nullptr; // counted reference
    bool isPacketMode = false;
    DabPmDecoder *decoder = nullptr;
    Parameters parameters;
    QByteArray pendingBytes;
    QVector<PacketAddressRecord *> addressRecords;
};

// Decoder tag of a packet address: ensemble index, stream id, packet address.
// The address keeps all of its 10 bits; NoPacketAddress stands for none.
inline quint32 packetTag(int ensembleIndex, int streamId, quint16 address)
{
    return (quint32(ensembleIndex & 0xFF) << 24) | (quint32(streamId & 0xFF) << 16) | address;
}
inline int tagEnsembleIndex(quint32 tag) { return int(tag >> 24); }
inline int tagStreamId(quint32 tag) { return int((tag >> 16) & 0xFF); }
inline quint16 tagPacketAddress(quint32 tag) { return quint16(tag & 0xFFFF); }

} // namespace ZOZ
