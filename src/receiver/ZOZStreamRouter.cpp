#include "ZOZStreamRouter.h"

#include "ZOZDab.h"
#include "base/ZOZLog.h"
#include "ZOZStreamHandler.h"

#include <QMutexLocker>

namespace ZOZ {

namespace {

constexpr quint32 LogReceiver = LogSource::Receiver;
constexpr quint32 LogDab = LogSource::ReceiverDab;

// The handler whose decoder is running on this thread: its data groups go to
// its own address records. Going back to the handler map from inside the
// decoder would take the map lock under a handler lock, against the order
// that attach and detach keep.
thread_local StreamHandler *t_feedingHandler = nullptr;

StreamHandler::Parameters parametersOf(const StreamConsumer::Location &where)
{
    StreamHandler::Parameters p;
    p.enhanced = where.packetModeEnhanced;
    p.packetLength = where.packetModeLength;
    p.rows = where.reedSolomonRows;
    p.columns = where.reedSolomonColumns;
    p.shortHeaders = where.shortHeaders();
    return p;
}

void dispose(StreamHandler *handler)
{
    handler->close();
    handler->release();
}

} // namespace

StreamRouter::StreamRouter() = default;

StreamRouter::~StreamRouter()
{
    releaseStreamHandlers();
}

void StreamRouter::attachStreamHandler(StreamConsumer *service)
{
    if (!service)
        return;
    const StreamConsumer::Location where = service->streamLocation();
    ZOZ_LOG(LogReceiver, QStringLiteral("Receiver::attachStreamHandler( streamId[%1], handler[%2], eIdx[%3] )")
                             .arg(where.streamId)
                             .arg(logAddress(service))
                             .arg(where.ensembleIndex));
    if (where.ensembleIndex < 0 || where.ensembleIndex > MaxEnsembleIndex || where.streamId < 0)
        return;
    QMutexLocker mapLocker(&m_mutex);
    QVector<StreamHandler *> &list = m_handlers[where.ensembleIndex][where.streamId];

    if (!where.packetMode) {
        auto *handler = new StreamHandler();
        handler->retain();
        retainConsumer(service);
        handler->service = service;
        list.append(handler);
        return;
    }
    if (!where.ownPacketAddress)
        return;

    const StreamHandler::Parameters parameters = parametersOf(where);
    StreamHandler *handler = nullptr;
    for (int i = list.size() - 1; i >= 0; --i) {
        StreamHandler *candidate = list[i];
        QMutexLocker locker(&candidate->lock);
        if (candidate->isMarked() || !candidate->isPacketMode)
            continue;
        if (candidate->parameters == parameters) {
            handler = candidate;
            break;
        }
        // One decoder per sub-channel: a service with other decoder settings
        // takes the sub-channel over.
        locker.unlock();
        list.removeAt(i);
        dispose(candidate);
    }
    if (!handler) {
        handler = new StreamHandler();
        handler->retain();
        handler->isPacketMode = true;
        handler->parameters = parameters;
        int result = 0;
        if (!handler->createDecoder(result)) {
            ZOZ_LOG(LogReceiver | LogFlag::Error,
                    QStringLiteral("Receiver::attachStreamHandler() -> error: could not create packetmode decoder; err[%1]!")
                        .arg(result));
            dispose(handler);
            return;
        }
        result = DAB_Bb_Ruz_PmDecoderSetFec(handler->decoder, parameters.enhanced, parameters.rows, parameters.columns);
        if (result != PM_DECODER_OK)
            ZOZ_LOG(LogReceiver | LogFlag::Error,
                    QStringLiteral("Receiver::attachStreamHandler() -> error: packetmode decoder could not set mode! [enhanced: %1, RC: %2x%3, err: %4]")
                        .arg(int(parameters.enhanced))
                        .arg(parameters.rows)
                        .arg(parameters.columns)
                        .arg(result));
        list.append(handler);
    }

    QMutexLocker locker(&handler->lock);
    PacketAddressRecord *record = handler->record(where.packetAddress);
    if (!record) {
        record = new PacketAddressRecord();
        record->address = where.packetAddress;
        const int result = DAB_Bb_Ruz_PmDecoderAddAddress(
            handler->decoder, where.packetAddress, PM_ADDRESS_DATA_GROUPS, record->buffer.data(),
            PacketAddressRecord::OfferedBytes, &StreamRouter::packetModeDataCallback,
            packetTag(where.ensembleIndex, where.streamId, where.packetAddress));
        if (result != PM_DECODER_OK) {
            ZOZ_LOG(LogReceiver | LogFlag::Error,
                    QStringLiteral("Receiver::attachStreamHandler() -> error: could not open packetmode address! (packetAddr: %1)")
                        .arg(where.packetAddress));
            delete record;
            return;
        }
        handler->addressRecords.append(record);
    }
    retainConsumer(service);
    record->consumers.append(service);
}

void StreamRouter::detachStreamHandler(StreamConsumer *service)
{
    if (!service)
        return;
    const StreamConsumer::Location where = service->streamLocation();
    ZOZ_LOG(LogReceiver, QStringLiteral("Receiver::detachStreamHandler( streamId[%1], handler[%2], eIdx[%3] )")
                             .arg(where.streamId)
                             .arg(logAddress(service))
                             .arg(where.ensembleIndex));
    QMutexLocker mapLocker(&m_mutex);
    auto ensemble = m_handlers.find(where.ensembleIndex);
    if (ensemble == m_handlers.end())
        return;
    auto stream = ensemble->find(where.streamId);
    if (stream == ensemble->end())
        return;
    QVector<StreamHandler *> &list = *stream;
    for (int i = list.size() - 1; i >= 0; --i) {
        StreamHandler *handler = list[i];
        QMutexLocker locker(&handler->lock);
        if (handler->isPacketMode) {
            for (int r = handler->addressRecords.size() - 1; r >= 0; --r) {
                PacketAddressRecord *record = handler->addressRecords[r];
                for (int c = record->consumers.size() - 1; c >= 0; --c) {
                    if (record->consumers[c] == service) {
                        record->consumers.removeAt(c);
                        releaseConsumer(service);
                    }
                }
                if (record->consumers.isEmpty()) {
                    DAB_Bb_Ruz_PmDecoderRemoveAddress(handler->decoder, record->address, nullptr, nullptr);
                    handler->addressRecords.removeAt(r);
                    delete record;
                }
            }
            if (handler->addressRecords.isEmpty()) {
                handler->freeDecoder();
                handler->isPacketMode = false;
            }
        }
        if (handler->service == service) {
            handler->service = nullptr;
            releaseConsumer(service);
        }
        if (!handler->isPacketMode && !handler->service) {
            list.removeAt(i);
            handler->setMarked();
            locker.unlock();
            handler->release();
        }
    }
}

void StreamRouter::collectStreamHandlers(int ensembleIndex, int streamId, QVector<StreamHandler *> &out)
{
    QMutexLocker mapLocker(&m_mutex);
    auto ensemble = m_handlers.constFind(ensembleIndex);
    if (ensemble == m_handlers.constEnd())
        return;
    auto stream = ensemble->constFind(streamId);
    if (stream == ensemble->constEnd())
        return;
    for (StreamHandler *handler : *stream) {
        handler->retain();
        out.append(handler);
    }
}

void StreamRouter::releaseStreamHandlers()
{
    QMutexLocker mapLocker(&m_mutex);
    for (auto &streams : m_handlers) {
        for (QVector<StreamHandler *> &list : streams) {
            for (StreamHandler *handler : list)
                dispose(handler);
        }
    }
    m_handlers.clear();
}

int StreamRouter::packetModeDataCallback(uint8_t *buffer, uint32_t length, uint32_t tag)
{
    // The feed holds the handler's lock while its decoder runs.
    StreamHandler *handler = t_feedingHandler;
    if (!handler || tagEnsembleIndex(tag) > MaxEnsembleIndex || handler->isMarked())
        return 0;
    const quint16 packetAddress = tagPacketAddress(tag);
    const uchar *const data = buffer;
    const int bytes = int(length);
    if (packetAddress == StreamConsumer::NoPacketAddress) {
        if (handler->service)
            handler->service->receiveData(bytes, data);
        return 0;
    }
    if (!handler->isPacketMode)
        return 0;
    for (PacketAddressRecord *record : handler->addressRecords) {
        if (record->address != packetAddress)
            continue;
        for (StreamConsumer *consumer : record->consumers)
            consumer->receiveData(bytes, data);
    }
    return 0;
}

void StreamRouter::__DAB_parseSubchannel(QVector<StreamHandler *> &handlers, const quint8 *data, int *length)
{
    for (StreamHandler *handler : handlers) {
        QMutexLocker locker(&handler->lock);
        if (handler->isMarked())
            continue;
        PointerLocker reference(handler);
        if (handler->decoder) {
            handler->pendingBytes.append(reinterpret_cast<const char *>(data), *length);
            uint32_t remaining = uint32_t(handler->pendingBytes.size());
            StreamHandler *outer = t_feedingHandler;
            t_feedingHandler = handler;
            const int result = RUZ_PM_Process(
                handler->decoder, reinterpret_cast<const uint8_t *>(handler->pendingBytes.constData()), &remaining);
            t_feedingHandler = outer;
            if (result != PM_DECODER_OK) {
                const uint32_t code = uint32_t(result);
                ZOZ_LOG(LogDab | LogFlag::Error,
                        QStringLiteral("Receiver::__DAB_parseSubchannel() -> error in RUZ_PM_Process: '%1'")
                            .arg(QString::fromLatin1(packetModeErrorText(code))));
            }
            // A missing packet costs only its own group: the decoder went on
            // with the rest, so its unfinished last packet is kept as usual.
            if (result != PM_DECODER_OK && result != PM_DECODER_CONTINUITY_ERROR)
                handler->pendingBytes.clear();
            else if (remaining == 0)
                handler->pendingBytes.clear();
            else
                handler->pendingBytes.remove(0, handler->pendingBytes.size() - int(remaining));
        } else if (handler->service) {
            handler->service->receiveData(*length, data);
        }
    }
}

void StreamRouter::deliver(int ensembleIndex, int streamId, const quint8 *data, int length)
{
    QVector<StreamHandler *> handlers;
    collectStreamHandlers(ensembleIndex, streamId, handlers);
    if (handlers.isEmpty())
        return;
    __DAB_parseSubchannel(handlers, data, &length);
    for (StreamHandler *handler : handlers)
        handler->release();
}

} // namespace ZOZ
