#include "zoz_eti.h"

#include "DabCrc16.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <unistd.h>

namespace {

// Frame layout: ERR, FSYNC (3), FC (4), STC (4 per stream), EOH (4), MST, EOF (4), TIST (4).
constexpr size_t FcOffset = 4;
constexpr size_t StcOffset = 8;
constexpr size_t EohBytes = 4;
constexpr size_t EofBytes = 4;
constexpr size_t TistBytes = 4;
constexpr int FrameCountModulo = 250;
constexpr uint8_t PaddingByte = 0x55;

uint32_t readFsync(const uint8_t *p)
{
    return (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

bool isFsync(uint32_t word)
{
    return word == ZOZ_ETI_FSYNC_EVEN || word == ZOZ_ETI_FSYNC_ODD;
}

// MID field value of each transmission mode; mode IV is coded 0.
int modeFromMid(int mid)
{
    return mid == 0 ? 4 : mid;
}

int midFromMode(int mode)
{
    return mode == 4 ? 0 : mode;
}

// Bytes the header (SYNC, FC, STC, EOH) takes for `nst` streams.
size_t headerBytes(size_t nst)
{
    return StcOffset + 4 * nst + EohBytes;
}

bool headerCrcValid(const uint8_t *data, size_t length)
{
    if (length < StcOffset)
        return false;
    const size_t nst = data[5] & 0x7F;
    const size_t end = headerBytes(nst);
    if (length < end)
        return false;
    const uint16_t stored = uint16_t((data[end - 2] << 8) | data[end - 1]);
    return DAB_Bb_Ruz_Crc16(data + FcOffset, end - 2 - FcOffset) == stored;
}

} // namespace

extern "C" {

int ZozEti_FicLength(int mode)
{
    switch (mode) {
    case 1:
    case 2:
    case 4:
        return 96;
    case 3:
        return 128;
    default:
        return 0;
    }
}

int ZozEti_ParseFrame(const uint8_t *data, size_t length, ZozEtiFrame *out)
{
    if (!data || !out || length < StcOffset)
        return ZOZ_ETI_ERR_ARGUMENT;
    const uint32_t fsync = readFsync(data);
    if (!isFsync(fsync))
        return ZOZ_ETI_ERR_SYNC;
    const size_t nst = data[5] & 0x7F;
    const size_t header = headerBytes(nst);
    if (length < header)
        return ZOZ_ETI_ERR_LENGTH;
    if (!headerCrcValid(data, length))
        return ZOZ_ETI_ERR_HEADER_CRC;
    if (nst > ZOZ_ETI_MAX_STREAMS)
        return ZOZ_ETI_ERR_LENGTH;

    const bool ficPresent = (data[5] & 0x80) != 0;
    const int mode = modeFromMid((data[6] >> 3) & 0x03);
    const size_t frameLength = size_t((data[6] & 0x07) << 8) | data[7];
    const size_t ficLength = ficPresent ? size_t(ZozEti_FicLength(mode)) : 0;

    size_t mstLength = ficLength;
    for (size_t i = 0; i < nst; ++i) {
        const uint8_t *stc = data + StcOffset + 4 * i;
        mstLength += 8 * (size_t((stc[2] & 0x03) << 8) | stc[3]);
    }
    // FL counts the STC, EOH and MST words.
    if (frameLength != nst + 1 + mstLength / 4 || mstLength % 4 != 0)
        return ZOZ_ETI_ERR_LENGTH;
    if (header + mstLength + EofBytes + TistBytes > length || header + mstLength + EofBytes + TistBytes > ZOZ_ETI_FRAME_SIZE)
        return ZOZ_ETI_ERR_LENGTH;

    std::memset(out, 0, sizeof *out);
    out->fsync = fsync;
    out->err = data[0];
    out->fct = data[4];
    out->ficPresent = ficPresent ? 1 : 0;
    out->nst = uint8_t(nst);
    out->framePhase = uint8_t(data[6] >> 5);
    out->mode = uint8_t(mode);
    out->frameLength = uint16_t(frameLength);
    const uint8_t *eoh = data + StcOffset + 4 * nst;
    out->mnsc = uint16_t((eoh[0] << 8) | eoh[1]);

    const uint8_t *mst = data + header;
    out->fic = ficPresent ? mst : nullptr;
    out->ficLength = uint16_t(ficLength);
    size_t offset = ficLength;
    for (size_t i = 0; i < nst; ++i) {
        const uint8_t *stc = data + StcOffset + 4 * i;
        ZozEtiStream &stream = out->streams[i];
        stream.subChId = uint8_t(stc[0] >> 2);
        stream.startAddress = uint16_t(((stc[0] & 0x03) << 8) | stc[1]);
        stream.tpl = uint8_t(stc[2] >> 2);
        stream.length = uint16_t(8 * (((stc[2] & 0x03) << 8) | stc[3]));
        stream.data = mst + offset;
        offset += stream.length;
    }
    const uint8_t *eof = mst + mstLength;
    const uint16_t storedCrc = uint16_t((eof[0] << 8) | eof[1]);
    out->mstCrcValid = DAB_Bb_Ruz_Crc16(mst, mstLength) == storedCrc ? 1 : 0;
    const uint8_t *tist = eof + EofBytes;
    out->tist = (uint32_t(tist[0]) << 24) | (uint32_t(tist[1]) << 16) | (uint32_t(tist[2]) << 8) | tist[3];
    return out->mstCrcValid ? ZOZ_ETI_OK : ZOZ_ETI_MST_CRC;
}

int ZozEti_WriteFrame(const ZozEtiFrameInput *in, uint8_t *out)
{
    if (!in || !out || in->mode < 1 || in->mode > 4 || in->fct >= FrameCountModulo || in->nst > ZOZ_ETI_MAX_STREAMS)
        return ZOZ_ETI_ERR_ARGUMENT;
    const size_t ficLength = in->fic ? size_t(ZozEti_FicLength(in->mode)) : 0;
    size_t mstLength = ficLength;
    for (size_t i = 0; i < in->nst; ++i) {
        const ZozEtiStreamInput &stream = in->streams[i];
        if (stream.subChId > 63 || stream.startAddress > 1023 || stream.tpl > 63 || (stream.length && !stream.data))
            return ZOZ_ETI_ERR_ARGUMENT;
        if (stream.length % 8 != 0 || stream.length / 8 > 1023)
            return ZOZ_ETI_ERR_LENGTH;
        mstLength += stream.length;
    }
    const size_t header = headerBytes(in->nst);
    if (header + mstLength + EofBytes + TistBytes > ZOZ_ETI_FRAME_SIZE)
        return ZOZ_ETI_ERR_LENGTH;

    std::memset(out, PaddingByte, ZOZ_ETI_FRAME_SIZE);
    const uint32_t fsync = (in->fct % 2 == 0) ? ZOZ_ETI_FSYNC_EVEN : ZOZ_ETI_FSYNC_ODD;
    out[0] = in->err;
    out[1] = uint8_t(fsync >> 16);
    out[2] = uint8_t(fsync >> 8);
    out[3] = uint8_t(fsync);
    const size_t frameLength = in->nst + 1 + mstLength / 4;
    out[4] = in->fct;
    out[5] = uint8_t((in->fic ? 0x80 : 0x00) | in->nst);
    out[6] = uint8_t(((in->fct % 8) << 5) | (midFromMode(in->mode) << 3) | ((frameLength >> 8) & 0x07));
    out[7] = uint8_t(frameLength);
    for (size_t i = 0; i < in->nst; ++i) {
        const ZozEtiStreamInput &stream = in->streams[i];
        uint8_t *stc = out + StcOffset + 4 * i;
        const size_t stl = stream.length / 8;
        stc[0] = uint8_t((stream.subChId << 2) | (stream.startAddress >> 8));
        stc[1] = uint8_t(stream.startAddress);
        stc[2] = uint8_t((stream.tpl << 2) | (stl >> 8));
        stc[3] = uint8_t(stl);
    }
    uint8_t *eoh = out + StcOffset + 4 * in->nst;
    eoh[0] = uint8_t(in->mnsc >> 8);
    eoh[1] = uint8_t(in->mnsc);
    const uint16_t headerCrc = DAB_Bb_Ruz_Crc16(out + FcOffset, header - 2 - FcOffset);
    eoh[2] = uint8_t(headerCrc >> 8);
    eoh[3] = uint8_t(headerCrc);

    uint8_t *mst = out + header;
    if (ficLength)
        std::memcpy(mst, in->fic, ficLength);
    size_t offset = ficLength;
    for (size_t i = 0; i < in->nst; ++i) {
        if (in->streams[i].length)
            std::memcpy(mst + offset, in->streams[i].data, in->streams[i].length);
        offset += in->streams[i].length;
    }
    uint8_t *eof = mst + mstLength;
    const uint16_t mstCrc = DAB_Bb_Ruz_Crc16(mst, mstLength);
    eof[0] = uint8_t(mstCrc >> 8);
    eof[1] = uint8_t(mstCrc);
    eof[2] = 0xFF;
    eof[3] = 0xFF;
    uint8_t *tist = eof + EofBytes;
    tist[0] = uint8_t(in->tist >> 24);
    tist[1] = uint8_t(in->tist >> 16);
    tist[2] = uint8_t(in->tist >> 8);
    tist[3] = uint8_t(in->tist);
    return ZOZ_ETI_OK;
}

} // extern "C"

// Two frames of buffer: enough to find the next sync word anywhere in a frame.
struct ZozEtiReader {
    static constexpr size_t Capacity = 2 * ZOZ_ETI_FRAME_SIZE;
    uint8_t buffer[Capacity];
    size_t fill = 0;
    bool synced = false;
    uint64_t skipped = 0;

    void drop(size_t count)
    {
        std::memmove(buffer, buffer + count, fill - count);
        fill -= count;
    }
};

extern "C" {

ZozEtiReader *ZozEtiReader_Create(void)
{
    return new (std::nothrow) ZozEtiReader;
}

void ZozEtiReader_Destroy(ZozEtiReader *reader)
{
    delete reader;
}

void ZozEtiReader_Reset(ZozEtiReader *reader)
{
    if (!reader)
        return;
    reader->fill = 0;
    reader->synced = false;
    reader->skipped = 0;
}

int ZozEtiReader_Feed(ZozEtiReader *reader, const uint8_t *data, size_t length)
{
    if (!reader || (!data && length))
        return ZOZ_ETI_ERR_ARGUMENT;
    size_t room = ZozEtiReader::Capacity - reader->fill;
    size_t take = length < room ? length : room;
    if (take > size_t(1) << 30)
        take = size_t(1) << 30;
    if (take)
        std::memcpy(reader->buffer + reader->fill, data, take);
    reader->fill += take;
    return int(take);
}

int ZozEtiReader_Next(ZozEtiReader *reader, uint8_t *frame)
{
    if (!reader || !frame)
        return ZOZ_ETI_ERR_ARGUMENT;
    for (;;) {
        if (reader->fill < 4)
            return 0;
        const bool fsyncHere = isFsync(readFsync(reader->buffer));
        if (reader->synced && !fsyncHere)
            reader->synced = false;
        if (fsyncHere) {
            if (reader->synced) {
                if (reader->fill < ZOZ_ETI_FRAME_SIZE)
                    return 0;
            } else {
                // Out of sync a sync word may be payload: the header CRC confirms it.
                const size_t nst = reader->fill > 5 ? (reader->buffer[5] & 0x7F) : 0;
                if (reader->fill < headerBytes(nst) || reader->fill < 6)
                    return 0;
                if (headerCrcValid(reader->buffer, reader->fill)) {
                    if (reader->fill < ZOZ_ETI_FRAME_SIZE)
                        return 0;
                    reader->synced = true;
                }
            }
            if (reader->synced) {
                std::memcpy(frame, reader->buffer, ZOZ_ETI_FRAME_SIZE);
                reader->drop(ZOZ_ETI_FRAME_SIZE);
                return 1;
            }
        }
        // Search for the next candidate sync word after the first byte.
        size_t next = 1;
        while (next + 3 < reader->fill && !isFsync(readFsync(reader->buffer + next)))
            ++next;
        reader->skipped += next;
        reader->drop(next);
    }
}

int ZozEtiReader_ReadFd(ZozEtiReader *reader, int fd, uint8_t *frame)
{
    if (!reader || !frame || fd < 0)
        return ZOZ_ETI_ERR_ARGUMENT;
    for (;;) {
        const int found = ZozEtiReader_Next(reader, frame);
        if (found != 0)
            return found;
        const size_t room = ZozEtiReader::Capacity - reader->fill;
        const ssize_t got = ::read(fd, reader->buffer + reader->fill, room);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return ZOZ_ETI_ERR_IO;
        }
        if (got == 0)
            return 0;
        reader->fill += size_t(got);
    }
}

uint64_t ZozEtiReader_SkippedBytes(const ZozEtiReader *reader)
{
    return reader ? reader->skipped : 0;
}

} // extern "C"
