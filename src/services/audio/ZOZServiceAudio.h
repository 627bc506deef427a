#pragma once

#include "ZOZService.h"
#include "ZOZAudioStream.h"
#include "ZOZAudioTextState.h"
#include "ZOZRawInputCopy.h"
#include "ZOZRecorder.h"

#include <QRecursiveMutex>
#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <memory>

struct DabDlDecoder;

namespace ZOZ {

// What the pages show of an audio service: the state poll's channel entry.
struct AudioServiceInfo
{
    qint32 selectorId = -1;
    bool playing = false;
    QString textMessage;
    QString requestPath;
    bool isDab = true;
    quint16 announcementsDab = 0;
    quint16 announcementsDrm = 0;
    int nominalBitRate = 0;  // bit/s
    int measuredBitRate = 0; // bit/s, 0 until the decoder reports one
    QString channelText;     // "Mono", "Stereo", "Surround"
    QString codecName;
    QString serviceTypeText; // "DAB Classic", "DAB+", with " Surround" for surround streams
    AudioFormat format;
    AudioTexts texts;

    bool operator==(const AudioServiceInfo &) const = default;
};

// The base of every audio service: coded frames of one sub-channel arrive on
// the receiver library's thread, are collected whole frames at a time, brought
// into sync and decoded through the hooks a subclass fills, and the PCM goes
// into the service's own audio stream, from which the audio output plays it.
class ServiceAudio : public Service, public AudioStream
{
    Q_OBJECT

public:
    static constexpr uint32_t FrameBufferBytes = 32768;
    static constexpr uint32_t PcmBufferBytes = 163840;

    explicit ServiceAudio(RawInputCopy::NameChange rawNameChange = RawInputCopy::NameChange::RenameOpenFile);
    ~ServiceAudio() override;

    void init(ServiceDescriptor &descriptor) override;
    bool handlePacket(int length, const uchar *const &data) override;
    // Drops what is buffered and decoded; the output starts over.
    virtual void reset();

    using Service::stop;
    using Service::newTextMessage;
    // A new Dynamic Label text (empty: the label is removed); an intelliText
    // label also fills its menus.
    bool newTextMessage(const QString &text) override;
    void receiveDlDataGroup(const uchar *data, const uint &length) override;
    // One Dynamic Label data group into the service's label decoder; the
    // decoder's result code.
    int processDlDataGroup(const uint8_t *data, uint32_t length);
    // DL Plus tags for the label shown.
    void dlPlusCommand(const uint8_t *command, uint32_t length);
    void retranslate() override;
    AudioServiceInfo audioInfo() const;

    bool isPlaying() const { return m_isPlaying.load(); }
    AudioFormat audioFormat() const;
    uint32_t frameSize() const { return m_frameSize; }
    int nominalBitRate() const { return m_nominalBitRate; }
    int measuredBitRate() const { return m_measuredBitRate; }
    QString codecName() const;
    QString systemName() const;
    QString channelText() const;
    QString serviceTypeText() const;

    virtual void updateChannelText();
    // The key of the recording format in the settings (Settings::RecordingType);
    // 0 while no codec is known, and then nothing is recorded.
    int recordingType() const;

signals:
    void playing();
    void stopped();
    void resetted();

public slots:
    virtual void play();
    virtual void stop();

protected:
    // Appends a piece as it arrived to the debug copy of the input.
    virtual void writeRawOutput(const uchar *data, int length);
    // Decoder hooks. They run with the service mutex held.
    virtual void flush() = 0;
    virtual void updateCodecInfo() = 0;
    // True when the frame buffer starts at a frame the decoder can take.
    virtual bool findSuperframe();
    // Decodes from the front of the frame buffer into m_pcm; lowers frames by
    // what it consumed. False on a decoder error.
    virtual bool decodeFrame(uint32_t &frames);
    virtual bool checkReconfig();
    virtual bool checkFormat();

    // Drops `bytes` from the front of the frame buffer.
    void consumeFrameBytes(uint32_t bytes);
    // Drops `bytes` of frames the decoder took from the front of the frame
    // buffer; a raw recording keeps them.
    void takeDecodedFrames(uint32_t bytes);
    // The label decoder forgets the label shown (a decoder (re)open or close).
    void resetDlDecoder();

    mutable QRecursiveMutex m_serviceMutex;
    std::atomic<bool> m_isPlaying { false };
    int m_channelMode = -2;
    AudioFormat m_audioFormat;
    uint32_t m_frameSize = 0;
    std::array<uint8_t, FrameBufferBytes> m_frameBuffer {};
    uint32_t m_fill = 0;
    int m_nominalBitRate = 0;
    int m_measuredBitRate = 0;
    PcmBlock m_pcm;
    QString m_codecName;
    QString m_systemName;
    QString m_rawExtension;
    QString m_channelText;
    QString m_serviceTypeText;
    int m_recordingClass = 0;
    RawInputCopy m_rawInput;

    // Holds the blocks of the DAB decoder libraries, which the caller allocates.
    struct FreeDeleter
    {
        void operator()(void *block) const { std::free(block); }
    };

private:
    RecordingSource recordingSource() const;
    RecordingControl *recordingControl() const;
    void recordPcm(const RecordingSource &source);

    Recorder m_recorder;
    // Coded bytes the decoder took in this pass, while a raw recording wants them.
    QByteArray m_codedBytes;
    bool m_keepCodedBytes = false;

    static void onLabel(uint8_t charset, const uint8_t *text, uint32_t length, void *context);
    static void onCommand(uint8_t command, const uint8_t *body, uint32_t length, void *context);

    // Only the receiver's thread uses it, inside the PAD hand-off, and the
    // decoder (re)open under the service mutex.
    std::unique_ptr<DabDlDecoder, FreeDeleter> m_dlDecoder;
    AudioTextState m_texts;
};

} // namespace ZOZ
