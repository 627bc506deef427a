#pragma once

#include "DabMotDecoder.h"
#include "base/ZOZPointer.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace ZOZ {

// One named object of a MOT carousel: the body last received (uncompressed),
// its MIME type and times, and while it is requested the buffer the decoder
// fills. Changed only under its object lock.
class MotFile : public Pointer
{
public:
    // Objects larger than this are never requested: the size comes from the
    // broadcast and would otherwise be allocated as announced.
    static constexpr uint32_t MaxBodySize = MOT_DECODER_MAX_OBJECT_SIZE;

    explicit MotFile(const QString &name);
    ~MotFile() override;

    // Copies the directory's header and allocates the request buffer; false
    // (nothing changed) for an empty or oversized body or while a request is
    // outstanding.
    bool takeHeader(const MotHeader &header);
    // The request buffer, for the decoder to fill.
    uint8_t *requestBuffer() { return m_request.empty() ? nullptr : m_request.data(); }
    uint32_t requestSize() const { return uint32_t(m_request.size()); }
    bool isRequested() const { return !m_request.empty(); }
    // Gives the request buffer up, as when the decoder refused it.
    void dropRequest();
    // Hands the request buffer over and forgets it.
    std::vector<uint8_t> takeRequest();
    // The received bytes, inflated when the header says they are compressed;
    // empty (with a log line) when they cannot be. Frees the request buffer,
    // so the object may be requested again.
    QByteArray parseBuffer();

    const QString &name() const { return m_name; }
    const MotHeader &header() const { return m_header; }

    bool cached = false; // restored from the cache and not written since
    QString mime;        // MIME type text
    QByteArray body;
    int updated = -1;    // requests made, minus one
    quint32 timeReceived = 0;
    bool timeExpirationValid = false;
    quint32 timeExpiration = 0;

private:
    std::vector<uint8_t> m_request;
    MotHeader m_header {};
    QString m_name;
};

} // namespace ZOZ
