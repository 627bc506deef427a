#pragma once

#include "base/ZOZPointer.h"

#include <QtGlobal>

namespace ZOZ {

// A service as the receiver sees it: where its component is on air and where
// its bytes go. The service objects implement it; the receiver holds counted
// references on them through streamReference() and never sees more.
class StreamConsumer
{
public:
    static constexpr quint16 NoPacketAddress = 0xFFFF;

    struct Location
    {
        int ensembleIndex = -1;           // flat channel index, 0 to 64
        int streamId = -1;                // sub-channel id
        bool packetMode = false;
        // Clear for a packet-mode container that stands for several packet
        // services, which register themselves.
        bool ownPacketAddress = true;
        quint16 packetAddress = NoPacketAddress;
        bool packetModeEnhanced = false;
        quint8 packetModeLength = 0;
        quint8 reedSolomonRows = 0;
        quint8 reedSolomonColumns = 0;
        quint32 transportFlags = 0;       // bits 2 and 3: short packet headers

        bool shortHeaders() const { return (transportFlags & 0x0C) != 0; }
    };

    virtual Location streamLocation() const = 0;
    // The bytes of a stream or one packet-mode data group (the library's thread).
    virtual void receiveData(int length, const uchar *const &data) = 0;
    // The counted object behind this consumer.
    virtual Pointer *streamReference() = 0;

protected:
    ~StreamConsumer() = default;
};

inline void retainConsumer(StreamConsumer *consumer)
{
    if (consumer)
        consumer->streamReference()->retain();
}

inline void releaseConsumer(StreamConsumer *consumer)
{
    if (consumer)
        consumer->streamReference()->release();
}

// One counted reference to a consumer, for values that are copied around.
class ConsumerReference
{
public:
    ConsumerReference() = default;
    explicit ConsumerReference(StreamConsumer *consumer) : m_consumer(consumer) { retainConsumer(m_consumer); }
    ConsumerReference(const ConsumerReference &other) : m_consumer(other.m_consumer) { retainConsumer(m_consumer); }
    ConsumerReference &operator=(const ConsumerReference &other)
    {
        if (this != &other) {
            retainConsumer(other.m_consumer);
            releaseConsumer(m_consumer);
            m_consumer = other.m_consumer;
        }
        return *this;
    }
    ~ConsumerReference() { releaseConsumer(m_consumer); }

    StreamConsumer *get() const { return m_consumer; }
    void reset() { *this = ConsumerReference(); }

private:
    StreamConsumer *m_consumer = nullptr;
};

} // namespace ZOZ
