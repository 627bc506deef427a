#include "ZOZStreamHandler.h"

#include "ZOZDab.h"

#include <QMutexLocker>

#include <cstdlib>

namespace ZOZ {

StreamHandler::~StreamHandler()
{
    close();
}

bool StreamHandler::createDecoder(int &result)
{
    freeDecoder();
    auto *instance = static_cast<DabPmDecoder *>(std::malloc(DAB_Bb_Ruz_PmDecoderGetSize()));
    if (!instance) {
        result = PM_DECODER_INVALID_PARAMETER;
        return false;
    }
    result = DAB_Bb_Ruz_PmDecoderInit(instance, parameters.shortHeaders ? PM_MODE_SHORT_HEADER : PM_MODE_STANDARD,
                                      parameters.packetLength);
    if (result != PM_DECODER_OK) {
        std::free(instance);
        return false;
    }
    decoder = instance;
    return true;
}

void StreamHandler::freeDecoder()
{
    std::free(decoder);
    decoder = nullptr;
    pendingBytes.clear();
}

void StreamHandler::close()
{
    QMutexLocker locker(&lock);
    setMarked();
    releaseConsumer(service);
    service = nullptr;
    freeDecoder();
    for (PacketAddressRecord *record : addressRecords) {
        for (StreamConsumer *consumer : record->consumers)
            releaseConsumer(consumer);
        delete record;
    }
    addressRecords.clear();
    isPacketMode = false;
}

PacketAddressRecord *StreamHandler::record(quint16 address) const
{
    for (PacketAddressRecord *r : addressRecords) {
        if (r->address == address)
            return r;
    }
    return nullptr;
}

} // namespace ZOZ
