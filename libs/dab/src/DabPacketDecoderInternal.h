// Inside of the packet-mode decoder: the instance layout and the steps shared
// by the plain and the enhanced (Reed-Solomon) paths.
#ifndef ZOZ_DAB_PACKET_DECODER_INTERNAL_H
#define ZOZ_DAB_PACKET_DECODER_INTERNAL_H

#include "DabPacketDecoder.h"

#include <cstddef>
#include <cstdint>

namespace DabPacket {

constexpr uint32_t InstanceSize = 6848;
constexpr uint16_t MaxAddress = 1023;
constexpr uint16_t FecAddressStandard = 1022;
constexpr uint16_t FecAddressShortHeader = 3;
constexpr uint8_t MaxRows = 180;
constexpr uint8_t MaxColumns = 239;
constexpr int ParityBytes = 16;
constexpr int CodewordBytes = 255;
// The standard-mode FEC packet numbered 8 is the last of a frame's parity.
constexpr uint8_t LastFecCounter = 8;

struct Header {
    uint16_t length;       // whole packet, CRC included
    uint8_t headerLength;  // bytes before the data
    uint8_t continuity;
    uint8_t first;
    uint8_t last;
    uint16_t address;
    uint8_t command;
    uint16_t useful;       // data bytes, already cut to what the packet holds
    uint8_t fecCounter;
};

struct AddressEntry {
    uint16_t address;
    uint8_t type;
    uint8_t inProgress;
    uint8_t lastContinuity;
    uint8_t *buffer;
    uint32_t fill;
    uint32_t capacity;
    DabPmDataGroupCallback callback;
    uint32_t userTag;
};

enum FecState : uint8_t {
    WaitingForFrame = 0,
    InsideFecPackets = 1,
    FillingTable = 2,
    CollectingParity = 3
};

// Outcome of one call: the last callback result, and whether any group was
// abandoned for a missing packet (which wins over the callback result).
struct Outcome {
    int last = PM_DECODER_OK;
    bool continuityError = false;

    void add(int result)
    {
        if (result == PM_DECODER_CONTINUITY_ERROR)
            continuityError = true;
        else
            last = result;
    }
    int result() const { return continuityError ? PM_DECODER_CONTINUITY_ERROR : last; }
};

} // namespace DabPacket

struct DabPmDecoder {
    uint8_t mode;
    uint8_t packetLength;  // short-header mode: packet length minus 3
    uint8_t headerLength;
    uint16_t addressCount;
    DabPacket::AddressEntry addresses[PM_MAX_ADDRESSES];
    DabPmStatistics statistics;
    uint8_t enhanced;
    uint16_t fecAddress;
    uint8_t rows;
    uint8_t columns;
    uint8_t fecState;
    uint8_t nextFecCounter;
    uint16_t tableFill;
    uint16_t rsFill;
    uint8_t frame[PM_FRAME_BYTES];  // application data table, then the parity bytes
    uint8_t codeword[DabPacket::CodewordBytes];
};

namespace DabPacket {

static_assert(sizeof(DabPmDecoder) <= InstanceSize, "the instance outgrew its published size");

// Smallest packet of either mode; parsing a header reads at most this many bytes.
constexpr uint32_t MinPacketBytes = 3;

// Parses the header of the packet at `bytes` (reads at most its first three bytes).
Header parseHeader(const DabPmDecoder &d, const uint8_t *bytes);

// Length of the packet starting at `bytes` (one byte is enough to know it).
uint16_t packetLength(const DabPmDecoder &d, const uint8_t *bytes);

// CRC check and data-group assembly for every address entry of the packet.
int reassemble(DabPmDecoder &d, const uint8_t *packet, const Header &h);

// Enhanced packet mode: how many bytes of the packet the frame state machine
// takes next (a packet that overhangs the data table is cut at its end).
uint32_t enhancedBytesNeeded(const DabPmDecoder &d, const Header &h);

// Enhanced packet mode: the next enhancedBytesNeeded() bytes through the frame state machine.
void processEnhanced(DabPmDecoder &d, const uint8_t *packet, const Header &h, Outcome &outcome);

// Delivers the packets held for the unfinished frame uncorrected, in arrival order.
void flushFecFrame(DabPmDecoder &d, Outcome &outcome);

} // namespace DabPacket

#endif
