// gzip members (compressed MOT directories and bodies): the member header is
// skipped by hand and the deflate data inflated raw, so a member needs no
// more than its header, its data and the 8-byte trailer.
#include "DabMotDecoder.h"

#include <zlib.h>

namespace {

constexpr uint32_t FixedHeaderBytes = 10;
constexpr uint32_t TrailerBytes = 8;
constexpr uint32_t SmallestMember = 18;
constexpr uint8_t Magic[3] = {0x1F, 0x8B, 0x08}; // identification and the deflate method

// Member header flags.
constexpr uint8_t HeaderCrc = 0x02;
constexpr uint8_t Extra = 0x04;
constexpr uint8_t Name = 0x08;
constexpr uint8_t Comment = 0x10;
constexpr uint8_t Reserved = 0xE0;

constexpr int RawDeflateWindow = -15;

bool isGzip(const uint8_t *data)
{
    return data[0] == Magic[0] && data[1] == Magic[1] && data[2] == Magic[2];
}

// The ISIZE field: the uncompressed length modulo 2^32.
uint32_t announcedSize(const uint8_t *data, uint32_t length)
{
    const uint8_t *p = data + length - 4;
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// Skips a zero-terminated field; false when it runs off the end.
bool skipString(const uint8_t *data, uint32_t length, uint32_t &position)
{
    while (position < length && data[position] != 0)
        ++position;
    if (position >= length)
        return false;
    ++position;
    return true;
}

// Where the deflate data begins; false for a damaged or reserved header.
bool headerLength(const uint8_t *data, uint32_t length, uint32_t &position)
{
    const uint8_t flags = data[3];
    if (flags & Reserved)
        return false;
    position = FixedHeaderBytes;
    if (flags & Extra) {
        if (length < position + 2)
            return false;
        position += 2 + (uint32_t(data[position]) | (uint32_t(data[position + 1]) << 8));
    }
    if ((flags & Name) && !skipString(data, length, position))
        return false;
    if ((flags & Comment) && !skipString(data, length, position))
        return false;
    if (flags & HeaderCrc)
        position += 2;
    return position <= length && length - position >= TrailerBytes;
}

} // namespace

extern "C" int DAB_Bb_Ruz_MotDecoderGetUncompressedSize(const uint8_t *data, uint32_t length, uint32_t *size)
{
    if (!data || !size || length < SmallestMember)
        return MOT_DECODER_INVALID_PARAMETER;
    *size = 0;
    if (!isGzip(data))
        return MOT_DECODER_DECOMPRESSION_FAILED;
    // A small object may well grow when compressed, so the size is only held
    // against what a caller may sensibly allocate.
    const uint32_t announced = announcedSize(data, length);
    if (announced > MOT_DECODER_MAX_OBJECT_SIZE)
        return MOT_DECODER_DECOMPRESSION_FAILED;
    *size = announced;
    return MOT_DECODER_OK;
}

extern "C" int DAB_Bb_Ruz_MotDecoderUncompress(const uint8_t *data, uint32_t length, uint8_t *output,
                                               uint32_t *outputSize)
{
    if (!data || !output || !outputSize || length < FixedHeaderBytes)
        return MOT_DECODER_INVALID_PARAMETER;
    if (!isGzip(data))
        return MOT_DECODER_DECOMPRESSION_FAILED;
    if (announcedSize(data, length) > *outputSize)
        return MOT_DECODER_INVALID_PARAMETER;
    uint32_t start = 0;
    if (!headerLength(data, length, start))
        return MOT_DECODER_DECOMPRESSION_FAILED;

    z_stream stream{};
    if (inflateInit2(&stream, RawDeflateWindow) != Z_OK)
        return MOT_DECODER_DECOMPRESSION_FAILED;
    stream.next_in = const_cast<Bytef *>(data + start);
    stream.avail_in = length - start - TrailerBytes;
    stream.next_out = output;
    stream.avail_out = *outputSize;
    const int result = inflate(&stream, Z_FINISH);
    const uint32_t produced = static_cast<uint32_t>(stream.total_out);
    inflateEnd(&stream);
    if (result != Z_STREAM_END)
        return MOT_DECODER_DECOMPRESSION_FAILED;
    *outputSize = produced;
    return MOT_DECODER_OK;
}
