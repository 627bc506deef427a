#include "ZOZDabStick.h"

#include "base/ZOZLog.h"

#include <QCoreApplication>

namespace ZOZ {

namespace {

constexpr quint32 LogDab = LogSource::ReceiverDab;
constexpr quint16 StreamMode = 0xFFFF;
const char *const StickName = "REVEV DAB Stick";

QString errorText(const char *text)
{
    return QCoreApplication::translate("Error", text);
}

QString describe(const DabServiceComponent &component, quint16 address)
{
    const bool packetMode = !(component.audio && component.dabPlusAudio) && component.isPacketMode;
    const QString protection = component.isEep ? QStringLiteral("EEP %1").arg(component.protectionCode)
                                               : QStringLiteral("UEP %1").arg(component.uepIndex);
    return QStringLiteral("'%1' [%2, subChId: %3, packAddr: %4, CUstart: %5, CUnum: %6, EP: %7, idx: 0x%8, FECscheme: %9]")
        .arg(component.label, packetMode ? QStringLiteral("PM") : QStringLiteral("audio"))
        .arg(component.subChId)
        .arg(address == StreamMode ? 0 : address)
        .arg(component.cuStart)
        .arg(component.cuCount)
        .arg(protection)
        .arg(component.uepIndex, 0, 16)
        .arg(component.fecScheme);
}

} // namespace

DabStick::DabStick() = default;

void DabStick::setLibrary(const RtkFunctions *functions)
{
    m_api = functions;
    m_apiGiven = functions != nullptr;
}

void DabStick::unloadLibrary()
{
    if (m_apiGiven)
        return;
    while (!rtkUnloadLibrary()) {
    }
}

int32_t DabStick::setFrequency(quint32 frequencyKHz, quint32 bandwidth)
{
    return m_api ? m_api->setFreqAndBW(frequencyKHz, bandwidth) : RTDAB_RESULT_FAILED;
}

int32_t DabStick::signalLock(int *locked)
{
    return m_api ? m_api->getSignalLock(locked) : RTDAB_RESULT_FAILED;
}

void DabStick::readSignalValues()
{
    if (!m_api)
        return;
    int value = 0;
    if (m_api->getSignalPresent(&value) == RTDAB_RESULT_SUCCESS)
        m_signalPresent = value != 0;
    if (m_api->getSignalQuality(&value) == RTDAB_RESULT_SUCCESS)
        m_signalQuality = value;
    if (m_api->getSignalStrength(&value) == RTDAB_RESULT_SUCCESS)
        m_signalStrength = value;
}

void DabStick::resetSignalInfo()
{
    m_signalPresent = false;
    m_signalQuality = 0;
    m_signalStrength = 0;
}

QString DabStick::takeSourceProblem()
{
    // A library handed in is a stand-in without sources of its own.
    const auto getSourceProblem = m_apiGiven ? nullptr : rtkSourceProblemFunction();
    if (!m_api || !getSourceProblem)
        return {};
    char text[512];
    const int32_t serial = getSourceProblem(text, int32_t(sizeof text));
    if (serial <= 0 || serial == m_sourceProblemSerial)
        return {};
    m_sourceProblemSerial = serial;
    m_sourceProblem = QString::fromUtf8(text);
    return m_sourceProblem;
}

bool DabStick::rtkOpenDevice(bool quiet)
{
    if (!m_api)
        return false;
    if (!m_opened) {
        const int model = m_deviceProbe ? m_deviceProbe() : 0;
        if (model == 0) {
            ZOZ_LOG(LogDab | LogFlag::Error,
                    QStringLiteral("Receiver::rtkOpenDevice() -> fatal error: unsupported USB DAB device!"));
            return false;
        }
        m_deviceModel = model;
        const int32_t result = m_api->openDevice();
        if (result != RTDAB_RESULT_SUCCESS) {
            ZOZ_LOG(LogDab | LogFlag::Error,
                    QStringLiteral("Receiver::rtkOpenDevice() -> fatal error: could not open USB DAB device! (%1)")
                        .arg(rtkResultText(result)));
            return false;
        }
        ZOZ_LOG(LogDab | (quiet ? 0 : LogFlag::Notice),
                QStringLiteral("Receiver::rtkOpenDevice() -> opened USB DAB device and checked out ok"));
        m_opened = true;
    }
    if (!m_started) {
        const int32_t result = startTuner();
        if (result != RTDAB_RESULT_SUCCESS) {
            ZOZ_LOG(LogDab | LogFlag::Error,
                    QStringLiteral("Receiver::rtkOpenDevice() -> fatal error: could not start USB DAB tuner! (%1)")
                        .arg(rtkResultText(result)));
            if (!quiet)
                ZOZ_LOG(LogDab | LogFlag::FatalBox,
                        errorText("Fatal Error: Could not start up the %1!").arg(QLatin1String(StickName)));
            return false;
        }
        m_started = true;
    }
    return true;
}

bool DabStick::rtkCloseDevice(bool quiet)
{
    if (!m_api)
        return false;
    if (m_started) {
        const int32_t result = stopTuner();
        if (result != RTDAB_RESULT_SUCCESS) {
            ZOZ_LOG(LogDab | LogFlag::Error,
                    QStringLiteral("Receiver::rtkCloseDevice() -> fatal error: could not stop USB DAB tuner! (%1)")
                        .arg(rtkResultText(result)));
            if (!quiet)
                ZOZ_LOG(LogDab | LogFlag::FatalBox,
                        errorText("Fatal Error: Could not stop the %1!").arg(QLatin1String(StickName)));
            return false;
        }
        m_started = false;
        ZOZ_LOG(LogDab, QStringLiteral("Receiver::rtkCloseDevice() -> stopped USB DAB tuner"));
    }
    if (!m_opened)
        return true;
    const int32_t result = m_api->closeDevice();
    if (result == RTDAB_RESULT_SUCCESS) {
        m_opened = false;
        ZOZ_LOG(LogDab, QStringLiteral("Receiver::rtkCloseDevice() -> closed USB DAB device"));
        return true;
    }
    ZOZ_LOG(LogDab | LogFlag::Error,
            QStringLiteral("Receiver::rtkCloseDevice() -> fatal error: could not close USB DAB device! (%1)")
                .arg(rtkResultText(result)));
    if (!quiet)
        ZOZ_LOG(LogDab | LogFlag::FatalBox,
                errorText("Fatal Error: Could not close connection to the %1!").arg(QLatin1String(StickName)));
    return false;
}

bool DabStick::rtkLoad(bool quiet, const Callbacks &callbacks)
{
    if (m_apiGiven) {
        // A library handed in stays; only the callbacks are registered again.
    } else if ((m_started || m_opened) && rtkIsLoaded()) {
        // Never unload a library with an open stick: its delivery thread
        // would be cut off in the middle of a callback.
    } else {
        while (!rtkUnloadLibrary()) {
        }
        if (!rtkLoadLibrary(m_libraryDirectory)) {
            ZOZ_LOG(LogDab | LogFlag::Error, QStringLiteral("Receiver::rtkLoad() -> fatal error: could not load up RTK modules!"));
            if (!quiet)
                ZOZ_LOG(LogDab | LogFlag::FatalBox, errorText("Fatal Error: Could not find RTK*.dll modules!"));
            m_api = nullptr;
            return false;
        }
        m_api = rtkFunctions();
    }
    ZOZ_LOG(LogDab, QStringLiteral("Receiver::rtkLoad() -> successfully loaded RTK modules"));

    static const char *const CallbackNames[] = { "FIC callback", "MSC callback", "packetMode callback",
                                                 "streamData callback" };
    const int32_t results[] = {
        m_api->setFICCallBack(callbacks.fic),
        m_api->setMSCCallBack(callbacks.msc),
        m_api->setPacketCallBack(callbacks.packet),
        m_api->setStreamDataCallBack(callbacks.streamData),
    };
    for (size_t i = 0; i < std::size(results); ++i) {
        if (results[i] != RTDAB_RESULT_SUCCESS) {
            ZOZ_LOG(LogDab | LogFlag::Error, QStringLiteral("Receiver::rtkLoad() -> fatal error: could not set %1! (%2)")
                                                 .arg(QLatin1String(CallbackNames[i]), rtkResultText(results[i])));
            if (!quiet)
                ZOZ_LOG(LogDab | LogFlag::FatalBox, errorText("Fatal Error: Could not setup RTK modules!"));
            return false;
        }
    }
    ZOZ_LOG(LogDab, QStringLiteral("Receiver::rtkLoad() -> successfully setup all callbacks"));
    return true;
}

int32_t DabStick::startTuner()
{
    return m_apiGiven ? m_api->start() : rtkStart();
}

int32_t DabStick::stopTuner()
{
    return m_apiGiven ? m_api->stop() : rtkStop();
}

bool DabStick::rtkActivateServiceComponent(const DabServiceComponent &component, quint16 address)
{
    if (!m_api)
        return false;
    const quint8 packetMode = (component.audio && component.dabPlusAudio) ? 0 : quint8(component.isPacketMode);
    const int32_t result = m_api->addServiceCom(packetMode, quint8(component.subChId), component.cuStart,
                                                quint8(component.isEep), component.uepIndex, component.protectionCode,
                                                component.cuCount, address == StreamMode ? 0 : address,
                                                component.fecScheme);
    if (result == RTDAB_RESULT_SUCCESS || result == RTDAB_RESULT_ALREADY_SELECTED) {
        ZOZ_LOG(LogDab | LogFlag::Notice,
                QStringLiteral("Receiver::rtkActivateServiceComponent() -> %1 %2")
                    .arg(result == RTDAB_RESULT_SUCCESS ? QStringLiteral("new active serviceComponent")
                                              : QStringLiteral("already existing active serviceComponent"),
                         describe(component, address)));
        return true;
    }
    ZOZ_LOG(LogDab | LogFlag::Error, QStringLiteral("Receiver::rtkActivateServiceComponent() -> could not set active serviceComponent %1")
                                         .arg(describe(component, address)));
    return false;
}

bool DabStick::rtkRemoveServiceComponent(const DabServiceComponent &component, quint16 address)
{
    // Nothing was ever activated for an empty component.
    if (!component.valid && !component.changed)
        return true;
    if (!m_api)
        return false;
    const quint8 packetMode = (component.audio && component.dabPlusAudio) ? 0 : quint8(component.isPacketMode);
    const int32_t result = m_api->delServiceCom(packetMode, quint8(component.subChId), address == StreamMode ? 0 : address);
    if (result == RTDAB_RESULT_SUCCESS) {
        ZOZ_LOG(LogDab | LogFlag::Notice, QStringLiteral("Receiver::rtkActivateServiceComponent() -> removed serviceComponent %1")
                                              .arg(describe(component, address)));
        return true;
    }
    ZOZ_LOG(LogDab | LogFlag::Error, QStringLiteral("Receiver::rtkActivateServiceComponent() -> could not remove serviceComponent %1")
                                         .arg(describe(component, address)));
    return false;
}

} // namespace ZOZ
