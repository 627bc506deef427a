// Enhanced packet mode: the bytes of the data packets are held in the
// application data table (filled column by column, one Reed-Solomon codeword
// per row) until the FEC packets that follow bring the parity bytes; then every
// row is corrected and the packets are read out of the corrected table. Whatever
// cannot be corrected still comes out, uncorrected, in arrival order.
#include "DabPacketDecoderInternal.h"

#include "RsCodec.h"

#include <cstring>

namespace DabPacket {

namespace {

// Standard FEC packets carry parity after a 2-byte header and no CRC; short-header
// ones after their 1-byte header, before a CRC.
constexpr int StandardFecSkip = 2;
constexpr int StandardFecOverhead = 2;
constexpr int ShortFecSkip = 1;
constexpr int ShortFecOverhead = 3;

// RS(255, 239) with roots alpha^0..alpha^15 over x^8 + x^4 + x^3 + x^2 + 1:
// tables built once and shared, read-only, by every instance. A frame with
// fewer columns is the same code shortened: its missing leading symbols are zero.
const RsCodecContext &codec()
{
    static const RsCodecContext context = [] {
        RsCodecContext c;
        RsCodec_Init(&c, 8, 0x11D, 0, 1, ParityBytes, 0);
        return c;
    }();
    return context;
}

int tableSize(const DabPmDecoder &d)
{
    return d.rows * d.columns;
}

bool storesNext(const DabPmDecoder &d, const Header &h)
{
    const bool fec = h.address == d.fecAddress;
    return !fec && (d.fecState == InsideFecPackets || d.fecState == FillingTable);
}

// The table takes the bytes as they come: a damaged length byte must not move
// the frame's boundaries, so packets are found again only after correction.
void store(DabPmDecoder &d, const uint8_t *packet, uint32_t bytes)
{
    std::memcpy(d.frame + d.tableFill, packet, bytes);
    d.tableFill = static_cast<uint16_t>(d.tableFill + bytes);
    if (d.tableFill == tableSize(d)) {
        d.fecState = CollectingParity;
        d.rsFill = 0;
        d.nextFecCounter = 0;
    }
}

void decodeFrame(DabPmDecoder &d, Outcome &outcome)
{
    const int rows = d.rows;
    const int columns = d.columns;
    const uint8_t *parity = d.frame + tableSize(d);
    const int shortened = MaxColumns - columns;
    uint8_t *data = d.codeword + shortened;
    for (int r = 0; r < rows; ++r) {
        std::memset(d.codeword, 0, static_cast<size_t>(shortened));
        for (int j = 0; j < columns; ++j)
            data[j] = d.frame[r + j * rows];
        for (int k = 0; k < ParityBytes; ++k)
            data[columns + k] = parity[r + k * rows];
        int corrected = RsCodec_Decode(&codec(), d.codeword, nullptr, 0);
        // An error "found" where the shortened code has no symbol means the row
        // is beyond correction.
        for (int i = 0; i < shortened && corrected > 0; ++i) {
            if (d.codeword[i] != 0)
                corrected = -1;
        }
        ++d.statistics.rsRows;
        if (corrected < 0) {
            ++d.statistics.rsRowsUncorrectable;
            d.statistics.rsUncorrectableBytes += columns;
            continue;
        }
        if (corrected == 0)
            continue;
        ++d.statistics.rsRowsCorrected;
        d.statistics.rsCorrectedSymbols += corrected;
        for (int j = 0; j < columns; ++j)
            d.frame[r + j * rows] = data[j];
    }
    flushFecFrame(d, outcome);
    // The next data packet starts the next frame.
    d.fecState = FillingTable;
}

void collectParity(DabPmDecoder &d, const uint8_t *packet, const Header &h, Outcome &outcome)
{
    const bool standard = d.mode == PM_MODE_STANDARD;
    if (standard && h.fecCounter != d.nextFecCounter) {
        // A parity packet went missing: the parity bytes would be misplaced.
        ++d.statistics.incompleteFrames;
        flushFecFrame(d, outcome);
        d.fecState = InsideFecPackets;
        return;
    }
    const int skip = standard ? StandardFecSkip : ShortFecSkip;
    const int bytes = h.length - (standard ? StandardFecOverhead : ShortFecOverhead);
    if (bytes < 0 || tableSize(d) + d.rsFill + bytes > PM_FRAME_BYTES) {
        ++d.statistics.incompleteFrames;
        flushFecFrame(d, outcome);
        return;
    }
    std::memcpy(d.frame + tableSize(d) + d.rsFill, packet + skip, static_cast<size_t>(bytes));
    d.rsFill = static_cast<uint16_t>(d.rsFill + bytes);
    ++d.nextFecCounter;
    const bool lastParity = standard ? h.fecCounter == LastFecCounter : h.last != 0;
    if (!lastParity)
        return;
    if (d.rsFill >= ParityBytes * d.rows) {
        decodeFrame(d, outcome);
    } else {
        ++d.statistics.incompleteFrames;
        flushFecFrame(d, outcome);
    }
}

} // namespace

void flushFecFrame(DabPmDecoder &d, Outcome &outcome)
{
    const uint32_t fill = d.tableFill;
    d.fecState = WaitingForFrame;
    d.tableFill = 0;
    d.rsFill = 0;
    uint32_t offset = 0;
    while (fill - offset >= MinPacketBytes) {
        const uint8_t *packet = d.frame + offset;
        const Header h = parseHeader(d, packet);
        if (h.length > fill - offset)
            break; // the cut end of a packet that overhung the table
        outcome.add(reassemble(d, packet, h));
        offset += h.length;
    }
}

uint32_t enhancedBytesNeeded(const DabPmDecoder &d, const Header &h)
{
    if (!storesNext(d, h))
        return h.length;
    const uint32_t room = static_cast<uint32_t>(tableSize(d) - d.tableFill);
    return h.length < room ? h.length : room;
}

void processEnhanced(DabPmDecoder &d, const uint8_t *packet, const Header &h, Outcome &outcome)
{
    const bool fec = h.address == d.fecAddress;
    switch (d.fecState) {
    case WaitingForFrame:
        if (fec)
            d.fecState = InsideFecPackets;
        else
            outcome.add(reassemble(d, packet, h));
        return;
    case InsideFecPackets:
        if (fec) {
            outcome.add(reassemble(d, packet, h));
        } else {
            d.fecState = FillingTable;
            store(d, packet, enhancedBytesNeeded(d, h));
        }
        return;
    case FillingTable:
        if (fec) {
            // Parity before a full table: the frame lost packets.
            ++d.statistics.incompleteFrames;
            flushFecFrame(d, outcome);
            d.fecState = InsideFecPackets;
        } else {
            store(d, packet, enhancedBytesNeeded(d, h));
        }
        return;
    case CollectingParity:
        if (fec) {
            collectParity(d, packet, h, outcome);
        } else {
            // The rest of the parity never came: the frame goes out uncorrected,
            // and this packet, which starts the next one, with it.
            ++d.statistics.incompleteFrames;
            flushFecFrame(d, outcome);
            outcome.add(reassemble(d, packet, h));
        }
        return;
    default:
        return;
    }
}

} // namespace DabPacket
