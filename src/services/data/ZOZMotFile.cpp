#include "ZOZMotFile.h"

#include "base/ZOZLog.h"

#include <utility>

namespace ZOZ {

namespace {

constexpr quint32 LogMotError = LogSource::ServiceMot | LogFlag::Error;
constexpr quint32 LogMotWarning = LogSource::ServiceMot | LogFlag::Warning;

} // namespace

MotFile::MotFile(const QString &name)
    : m_name(name)
{
}

MotFile::~MotFile() = default;

bool MotFile::takeHeader(const MotHeader &header)
{
    if (header.bodySize == 0 || header.bodySize > MaxBodySize || isRequested())
        return false;
    m_header = header;
    // The header's pointers lie in the decoder's buffers and go stale with
    // the next data group.
    m_header.extension = nullptr;
    m_header.contentName = nullptr;
    m_header.contentNameLength = 0;
    m_header.mimeType = nullptr;
    m_header.mimeTypeLength = 0;
    m_request.assign(header.bodySize, 0);
    ++updated;
    // Without a MIME type the name's extension tells it when the object is served.
    if (header.mimeType && header.mimeTypeLength > 0)
        mime = QString::fromLatin1(header.mimeType, qsizetype(header.mimeTypeLength)).trimmed();
    else
        mime.clear();
    return true;
}

void MotFile::dropRequest()
{
    std::vector<uint8_t>().swap(m_request);
}

std::vector<uint8_t> MotFile::takeRequest()
{
    return std::exchange(m_request, {});
}

QByteArray MotFile::parseBuffer()
{
    if (!isRequested()) {
        ZOZ_LOG(LogMotWarning,
                QStringLiteral("MotFile::parseBuffer() -> error: received object that was not announced '%1' -> ignoring")
                    .arg(m_name));
        return {};
    }
    QByteArray data;
    if (m_header.compressionType != 0) {
        uint32_t size = 0;
        if (DAB_Bb_Ruz_MotDecoderGetUncompressedSize(m_request.data(), requestSize(), &size) != MOT_DECODER_OK) {
            ZOZ_LOG(LogMotError,
                    QStringLiteral("ServiceMOT::handleData() -> error: could not retrieve uncompressed length to object '%1'")
                        .arg(m_name));
        } else {
            std::vector<uint8_t> output(size);
            uint32_t produced = size;
            if (size == 0
                || DAB_Bb_Ruz_MotDecoderUncompress(m_request.data(), requestSize(), output.data(), &produced)
                       != MOT_DECODER_OK)
                ZOZ_LOG(LogMotError,
                        QStringLiteral("ServiceMOT::handleData() -> error: could not uncompress object '%1'").arg(m_name));
            else
                data = QByteArray(reinterpret_cast<const char *>(output.data()), qsizetype(produced));
        }
    } else {
        data = QByteArray(reinterpret_cast<const char *>(m_request.data()), qsizetype(m_request.size()));
    }
    dropRequest();
    return data;
}

} // namespace ZOZ
