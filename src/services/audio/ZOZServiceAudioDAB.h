#pragma once

#include "ZOZServiceAudio.h"

#include "DABplusDecoder.h"

#include <QElapsedTimer>

#include <functional>
#include <vector>

struct DabPadDecoder;

namespace ZOZ {

// The audio service of one DAB (Layer II) or DAB+ sub-channel: finds the frame
// alignment of the stream (Layer II headers, or superframe starts checked with
// the Fire code and RS(120,110)), and decodes both through the DAB+ decoder,
// which runs the Layer II or the AAC decoder as the stream needs. The
// programme-associated data of every decoded frame goes through a PAD decoder:
// Dynamic Label groups to the service's label decoder, X-PAD data groups to
// the data services registered with it.
class ServiceAudioDAB : public ServiceAudio
{
    Q_OBJECT

public:
    // Sync is given up when this long passes without decoded output.
    static constexpr qint64 SyncTimeoutMs = 5000;
    // Whole frames buffered before the search drops the oldest one.
    static constexpr uint32_t SearchFrames = 10;

    // What a DAB+ stream showed so far, for the pages and for checks.
    struct SuperframeCounts
    {
        uint32_t superframes = 0;     // superframes the decoder took
        uint32_t rsFailures = 0;      // of their codewords, not correctable
        uint32_t syncs = 0;           // times the search found a start
        uint32_t discardedBytes = 0;  // dropped by the search since the last (re)open
    };

    ServiceAudioDAB(ServiceDescriptor &descriptor, int subChannelSize, bool surroundHint, bool dabPlus);
    ~ServiceAudioDAB() override;

    // (Re)opens the decoder for a sub-channel size (units of 8 kbit/s); mode
    // -1 keeps the surround state. False when nothing had to change.
    bool initDecoder(int subChannelSize, bool surroundHint, bool dabPlus, int mode);
    void closeDecoder();

    // A data service carried in this service's X-PAD (a SlideShow, say),
    // registered under its X-PAD application type; one reference is held
    // until it is unregistered or the decoder closes. `log` names it in the log.
    void registerPadApplication(Service *service, bool log);
    void unregisterPadApplication(Service *service);
    // The PAD of one decoded frame: X-PAD bytes (reversed, as the frame
    // carries them) followed by the two F-PAD bytes.
    void processPad(const uint8_t *pad, uint32_t length);

    bool isDabPlus() const { return m_isDabPlus; }
    bool isSynced() const;
    SuperframeCounts superframeCounts() const;

    // The sync test of a buffer start, without side effects.
    static bool checkSuperframe(const uint8_t *buffer, uint32_t fill, uint32_t frameSize, bool dabPlus);

    // Time source of the sync timeout; tests move it.
    void setElapsedSource(std::function<qint64()> nowMs);

protected:
    // Only once the stream's codec is known, named by the sub-channel size and codec.
    void writeRawOutput(const uchar *data, int length) override;
    void flush() override;
    void updateCodecInfo() override;
    bool findSuperframe() override;
    bool decodeFrame(uint32_t &frames) override;
    bool checkReconfig() override;
    bool checkFormat() override;

private:
    struct PadApplication
    {
        Service *service = nullptr;
        std::vector<uint8_t> buffer;
        uint8_t appType = 0;
    };

    static int onDynamicLabelGroup(uint8_t *buffer, uint32_t length, void *context);
    static int onXPadDataGroup(uint8_t *buffer, uint32_t length, void *context);
    // Under the decoder mutex.
    void openPadDecoder();
    void closePadDecoder();
    void removePadApplication(std::vector<PadApplication>::iterator application);

    // Codec, rate, channels and bit rate of a decoded DAB+ unit.
    void takeFormat(const DABplusDecoderFrameInfo &info);
    // The running bit rate, from a decoder's report (0: none).
    void takeBitRate(int reported);
    void closeDabPlus();
    qint64 nowMs() const;

    bool m_initialised = false; // initDecoder ran once
    bool m_isDabPlus = false;
    bool m_isSynced = false;
    int m_subChannelSize = 0;
    int m_runningBitRate = 0;
    qint64 m_lastOutputMs = -1; // -1: nothing decoded since the last (re)open or sync loss
    DABplusDecoderHandle m_dabPlus = nullptr;
    // The stream's format as the decoder last reported it.
    uint32_t m_decodedRate = 0;
    uint32_t m_decodedChannels = 0;
    uint32_t m_streamType = DABPLUS_STREAM_UNKNOWN;
    bool m_formatChanged = false;
    SuperframeCounts m_counts;
    QElapsedTimer m_clock;
    std::function<qint64()> m_nowMs;

    // Guards the PAD decoder and its applications; taken after the service mutex.
    QRecursiveMutex m_decoderMutex;
    std::unique_ptr<DabPadDecoder, FreeDeleter> m_padDecoder;
    std::array<uint8_t, 128> m_dlBuffer {};
    std::vector<PadApplication> m_padApplications;
};

} // namespace ZOZ
