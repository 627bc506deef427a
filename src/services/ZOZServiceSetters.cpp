// The setters through which the service manager brings a service in line
// with the ensemble database: compare first, log a change, store it, and
// refresh the derived names where they depend on the value.
#include "ZOZService.h"

#include "base/ZOZLog.h"

#include <QCoreApplication>

namespace ZOZ {

namespace {

constexpr quint32 LogService = LogSource::Service;

QString cleanedLabel(const QString &text)
{
    return text.trimmed().remove(QChar(0));
}

} // namespace

QString Service::idText() const
{
    return QStringLiteral("%1:%2").arg(QString::number(quint32(m_descriptor.ensembleIdentifier), 16),
                                       QString::number(quint32(m_descriptor.serviceIdentifier), 16));
}

// `what` is the head of the line up to the new value, as in
// "Service::setStreamId() -> new stream ID".
void Service::logChange(const QString &what, const QString &value, const QString &before,
                        bool deviceLine)
{
    ZOZ_LOG(LogService | (deviceLine ? LogFlag::Notice : 0u),
            QStringLiteral("%1: '%2' (label[%3], id[%4])").arg(what, value, before, idText()));
}

template <typename T>
bool Service::setNumber(T &member, const T &value, const char *what, bool deviceLine,
                        bool refreshPaths)
{
    if (member == value)
        return false;
    if (Log::instance()) {
        QString text;
        if constexpr (std::is_same_v<T, bool>)
            text = QString::number(value ? 1 : 0);
        else
            text = QString::number(value);
        logChange(QString::fromLatin1(what), text, m_descriptor.label, deviceLine);
    }
    member = value;
    if (refreshPaths)
        updatePaths();
    return true;
}

bool Service::setText(QString &member, const QString &value, const char *what)
{
    const QString text = cleanedLabel(value);
    if (text == member)
        return false;
    logChange(QString::fromLatin1(what), text, m_descriptor.label, false);
    member = text;
    return true;
}

bool Service::setTranslated(QString &key, QString &text, const QString &value, const char *context,
                            const char *what, bool showTranslation)
{
    const QString translation = QCoreApplication::translate(context, value.toUtf8().constData());
    if (key == value.trimmed() && text == translation.trimmed())
        return false;
    logChange(QString::fromLatin1(what),
              showTranslation ? value + QLatin1Char('|') + translation : value, m_descriptor.label, false);
    key = value.trimmed();
    text = translation.trimmed();
    return true;
}

bool Service::setServiceComponentId(const quint16 &value)
{
    return setNumber(m_descriptor.componentId, value, "Service::setServiceComponentId() -> new value", true, false);
}

bool Service::setServiceComponentIdS(const quint16 &value)
{
    return setNumber(m_descriptor.componentIdS, value, "Service::setServiceComponentIdS() -> new value", true, false);
}

bool Service::setShortId(const quint16 &value)
{
    return setNumber(m_descriptor.shortId, value, "Service::setShortId() -> new short ID", true, false);
}

bool Service::setPacketId(const quint16 &value)
{
    return setNumber(m_descriptor.packetId, value, "Service::setPacketId() -> new packet ID", true, true);
}

bool Service::setStreamId(const int &value)
{
    return setNumber(m_descriptor.streamId, value, "Service::setStreamId() -> new stream ID", true, true);
}

bool Service::setServiceId(const int &value)
{
    return setNumber(m_descriptor.serviceId, value, "Service::setServiceId() -> new service ID", false, false);
}

bool Service::setServiceApplicationId(const int &value)
{
    return setNumber(m_descriptor.applicationId, value, "Service::setServiceApplicationId() -> new service application Id", false, true);
}

bool Service::setServiceApplicationType(const int &value)
{
    return setNumber(m_descriptor.applicationType, value, "Service::setServiceApplicationType() -> new service application type", false, false);
}

bool Service::setEnsembleIdentifier(const int &value)
{
    return setNumber(m_descriptor.ensembleIdentifier, value, "Service::setEnsembleIdentifier() -> new service ensembleIdentifier", false, false);
}

bool Service::setServiceECC(const quint8 &value)
{
    return setNumber(m_descriptor.ecc, value, "Service::setServiceECC() -> new service ECC", false, true);
}

bool Service::setServiceCountryId(const quint8 &value)
{
    return setNumber(m_descriptor.countryId, value, "Service::setServiceCountryId() -> new service country id", false, false);
}

bool Service::setServiceIdentifier(const qint64 &value)
{
    return setNumber(m_descriptor.serviceIdentifier, value, "Service::setServiceIdentifier() -> new service identifier", false, true);
}

bool Service::setServiceIsPacketModeEnhanced(const bool &value)
{
    return setNumber(m_descriptor.packetModeEnhanced, value, "Service::setServiceIsPacketModeEnhanced() -> new value", true, false);
}

bool Service::setPacketModeLength(const quint8 &value)
{
    return setNumber(m_descriptor.packetModeLength, value, "Service::setPacketModeLength() -> new value", true, false);
}

bool Service::setServiceLogo(const QString &value)
{
    const QString logo = value.trimmed();
    if (logo == m_logo)
        return false;
    ZOZ_LOG(LogService | LogFlag::Notice,
            QStringLiteral("Service::setServiceLogo() -> new service logo name: '%1' (logo[%2], id[%3])")
                .arg(logo, m_descriptor.label, idText()));
    m_logo = logo;
    return true;
}

bool Service::setServiceLabel(const QString &value)
{
    return setText(m_descriptor.label, value, "Service::setServiceLabel() -> new service label");
}

bool Service::setServiceLabelShort(const QString &value)
{
    return setText(m_descriptor.labelShort, value, "Service::setServiceLabelShort() -> new service label short");
}

bool Service::setServiceLabelExt(const QString &value)
{
    return setText(m_descriptor.labelExt, value, "Service::setServiceLabelExt() -> new service extended label");
}

bool Service::setServiceLabelExtShort(const QString &value)
{
    return setText(m_descriptor.labelExtShort, value, "Service::setServiceLabelExtShort() -> new service extended label short");
}

bool Service::setServiceComponentLabel(const QString &value)
{
    return setText(m_descriptor.componentLabel, value, "Service::setServiceComponentLabel() -> new service component label");
}

bool Service::setServiceComponentLabelShort(const QString &value)
{
    return setText(m_descriptor.componentLabelShort, value, "Service::setServiceComponentLabelShort() -> new service component label short");
}

bool Service::setServiceEnsembleLabel(const QString &value)
{
    return setText(m_descriptor.ensembleLabel, value, "Service::setServiceEnsembleLabel() -> new ensemble label");
}

bool Service::setServiceEnsembleLabelShort(const QString &value)
{
    return setText(m_descriptor.ensembleLabelShort, value, "Service::setServiceEnsembleLabelShort() -> new ensemble label short");
}

bool Service::setServiceLanguage(const QString &value)
{
    return setTranslated(m_descriptor.language, m_languageText, value, "Language", "Service::setServiceLanguage() -> new service language", true);
}

bool Service::setServiceCountry(const QString &value)
{
    return setTranslated(m_descriptor.country, m_countryText, value, "Country", "Service::setServiceCountry() -> new service country", true);
}

bool Service::setServiceType(const QString &value)
{
    return setTranslated(m_descriptor.programType, m_programTypeText, value, "ProgramType", "Service::setServiceType() -> new service type", false);
}

void Service::updatePaths()
{
    const quint32 identifier = quint32(m_descriptor.serviceIdentifier);
    m_globalId = identifier > 65535 ? QString::number(identifier, 16)
                                    : QString::number(m_descriptor.ecc, 16) + QString::number(identifier, 16);
    m_cacheKey = m_globalId
                 + (m_descriptor.packetMode ? QStringLiteral(".d%1").arg(m_descriptor.packetId) : QStringLiteral(".a%1").arg(m_descriptor.applicationType));
    m_singleViewPath.clear();
    if (m_descriptor.ensembleIdentifier != -1)
        m_singleViewPath = QString::number(m_descriptor.ensembleIdentifier) + QLatin1Char('.');
    m_singleViewPath += QStringLiteral("%1.%2/").arg(m_descriptor.streamId).arg(m_descriptor.packetMode ? int(m_descriptor.packetId) : m_descriptor.applicationType);
    const QString cacheFolder = m_settings ? m_settings->cachePath() : QString();
    m_cachePath = cacheFolder + m_descriptor.shortname + QLatin1Char('/') + m_cacheKey + QLatin1Char('/');
    if (m_initialised)
        reload();
}

} // namespace ZOZ
