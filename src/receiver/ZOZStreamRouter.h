#pragma once

#include "ZOZStreamConsumer.h"

#include <QMap>
#include <QMutex>
#include <QVector>

#include <cstdint>

namespace ZOZ {

class StreamHandler;

// Where the bytes of the received sub-channels go: the services (and, as they
// come, the audio decoders) register as stream consumers for one stream, or
// for one packet address of a packet-mode stream, and the router hands each
// piece of MSC data to the handlers of its stream. A packet-mode stream gets
// one packet-mode decoder, whose data groups go to the consumers of each
// address.
//
// Registration runs on any thread but the library's; delivery on the
// library's thread. Locks, always taken in this order: the handler-map mutex
// (the map and its lists), then a handler's own lock (its consumers, decoder
// and pending bytes), then the handler's reference count. Delivery takes the
// map lock only to collect the handlers with a reference each, and feeds
// them after letting it go.
class StreamRouter
{
public:
    // Ensemble indices a handler can be registered for.
    static constexpr int MaxEnsembleIndex = 64;

    StreamRouter();
    ~StreamRouter();
    StreamRouter(const StreamRouter &) = delete;
    StreamRouter &operator=(const StreamRouter &) = delete;

    void attachStreamHandler(StreamConsumer *service);
    void detachStreamHandler(StreamConsumer *service);
    // Disposes of every handler and lets go of every consumer.
    void releaseStreamHandlers();

    // Hands one piece of a stream to its handlers (the library's thread).
    void deliver(int ensembleIndex, int streamId, const quint8 *data, int length);

    // The two halves of deliver. Appends the handlers of a stream with a
    // reference each; the caller releases them.
    void collectStreamHandlers(int ensembleIndex, int streamId, QVector<StreamHandler *> &out);
    // Feeds one sub-channel piece to the handlers of its stream.
    static void __DAB_parseSubchannel(QVector<StreamHandler *> &handlers, const quint8 *data, int *length);
    // The packet-mode decoder's data-group callback.
    static int packetModeDataCallback(uint8_t *buffer, uint32_t length, uint32_t tag);

private:
    // Ensemble index -> stream id -> handlers, each entry one reference.
    QMutex m_mutex;
    QMap<int, QMap<int, QVector<StreamHandler *>>> m_handlers;
};

} // namespace ZOZ
