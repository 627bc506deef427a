// The receiver's intake of the bytes the library delivers on its own thread:
// FIC pieces into the ensemble's FIC decoder and from there, by the walk, into
// the ensemble database; MSC pieces of the selected sub-channels to the stream
// router. Also the start and end of the receiving side.
#include "ZOZReceiver.h"

#include "ZOZDab.h"
#include "ZOZDabChannels.h"
#include "base/ZOZLog.h"
#include "ZOZReceiverDABUSB.h"

#include <algorithm>

namespace ZOZ {

namespace {

constexpr int FibBytes = 32;
constexpr int MinMscBytes = 3;
// The FIG push takes its length as one byte.
constexpr int MaxFigStringBytes = 255;

// The decoder of an ensemble is made by its first push.
bool ensureFicDecoder(DabEnsemble &ensemble, const char *caller)
{
    if (ensemble.ficDecoderInstance())
        return true;
    if (!ensemble.createFicDecoder()) {
        ZOZ_LOG(LogSource::ReceiverDab | LogFlag::Error,
                QStringLiteral("%1 -> error: could not create the FIC decoder").arg(QLatin1String(caller)));
        return false;
    }
    ensemble.touch();
    return true;
}

} // namespace

bool Receiver::DAB_parseFIBs(DabEnsemble *ensemble, const quint8 *data, int length)
{
    if (!ensemble || !data || length < FibBytes)
        return false;
    if (!ensureFicDecoder(*ensemble, "Receiver::DAB_parseFIBs()"))
        return false;
    ++ensemble->fibPushes;
    // More than four FIBs are refused by the decoder; a count that does not
    // fit its byte stays refused instead of wrapping round.
    const quint8 numFibs = quint8(std::min(length / FibBytes, 255));
    const int result = DAB_Bb_Ruz_FicDecoderPushFibs(ensemble->ficDecoderInstance(), data, numFibs);
    if (result != FIC_DECODER_OK) {
        ZOZ_LOG(LogSource::ReceiverDab | LogFlag::Error,
                QStringLiteral("Receiver::DAB_parseFIBs() -> error DAB_Bb_Ruz_FicDecoderPushFibs: '%1'")
                    .arg(QString::fromLatin1(ficDecoderErrorText(result))));
        ++ensemble->fibPushErrors;
        return false;
    }
    return m_database.updateDatabase(ensemble);
}

bool Receiver::DAB_parseFIGs(DabEnsemble *ensemble, const quint8 *data, int length)
{
    if (!ensemble || !data)
        return false;
    if (!ensureFicDecoder(*ensemble, "Receiver::DAB_parseFIGs()"))
        return false;
    ++ensemble->figPushes;
    const bool reset = ensemble->figResetPending;
    ensemble->figResetPending = false;
    const quint8 flags = reset ? quint8(FIC_RECONFIGURE_SUBCHANNELS | FIC_RECONFIGURE_SERVICES) : 0;
    // A string longer than its length byte can say is refused, not cut short.
    const int result = length > MaxFigStringBytes
        ? FIC_DECODER_BAD_ARGUMENT
        : DAB_Bb_Ruz_FicDecoderPushFigs(ensemble->ficDecoderInstance(), data, quint8(std::max(length, 0)), flags);
    if (result != FIC_DECODER_OK) {
        ZOZ_LOG(LogSource::ReceiverDab | LogFlag::Error,
                QStringLiteral("Receiver::DAB_parseFIGs() -> error DAB_Bb_Ruz_FicDecoderPushFigs: '%1'")
                    .arg(QString::fromLatin1(ficDecoderErrorText(result))));
        ++ensemble->figPushErrors;
        return false;
    }
    return m_database.updateDatabase(ensemble);
}

void Receiver::DAB_parseMscData(DabEnsemble *ensemble, const quint8 *data, int length, quint8 subChId)
{
    if (!ensemble || !data || length < MinMscBytes)
        return;
    if (!isChannelIndex(ensemble->index))
        return;
    if (m_mscSink)
        m_mscSink(ensemble->index, subChId, data, length);
    m_streams.deliver(ensemble->index, subChId, data, length);
}

bool Receiver::initDAB()
{
    ZOZ_LOG(LogSource::ReceiverDab, QStringLiteral("Receiver::initDAB()"));
    return initDabUsb();
}

void Receiver::closeDAB()
{
    ZOZ_LOG(LogSource::ReceiverDab, QStringLiteral("Receiver::closeDAB()"));
    if (!m_usb)
        return;
    if (m_stick.isStarted() || m_stick.isOpened())
        m_stick.rtkCloseDevice(true);
    m_usb->unpublish();
    m_database.close();
    m_usb.reset();
}

} // namespace ZOZ
