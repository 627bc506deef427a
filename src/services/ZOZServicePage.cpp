// What a service tells the pages about itself: its template variables, the
// rows of its secondary components, its translated texts and its preview image.
#include "ZOZService.h"

#include "ZOZResourcePath.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

namespace ZOZ {

namespace {

QString translatedKey(const char *context, const QString &key)
{
    return QCoreApplication::translate(context, key.toUtf8().constData());
}

} // namespace

QString Service::dataServiceTypeName(const int &code)
{
    switch (code) {
    case 4:
        return QStringLiteral("TPEG");
    case 7:
        return QStringLiteral("SPI");
    case 1235:
        return QStringLiteral("RTCM");
    case 1500:
        return QStringLiteral("Transparent Data Channel");
    case 1502:
        return QStringLiteral("TDC (LIKE)");
    case 1504:
        return QStringLiteral("Transparent File Transmission");
    case 1505:
        return QStringLiteral("Transparent Data Channel (without CRC)");
    case 32769:
        return QStringLiteral("PRBS");
    default:
        return QStringLiteral("Unknown data service (%1)").arg(code);
    }
}

QString Service::subTitle() const
{
    QString text;
    for (const QString *part : {&m_programTypeText, &m_descriptor.ensembleLabel, &m_source, &m_countryText}) {
        if (!part->isEmpty())
            text += QStringLiteral(", ") + *part;
    }
    if (!m_audioClassification.isEmpty())
        text += QStringLiteral(" (") + m_audioClassification + QLatin1Char(')');
    return text.mid(1);
}

QVector<TemplateVariable> Service::fillTemplateVariables()
{
    const QString path = requestPath();
    const quint32 selector = quint32(m_descriptor.serviceId);
    QVector<TemplateVariable> variables;
    variables.reserve(49);
    variables << TemplateVariable(QStringLiteral("HTTP_REFRESH_CYCLE"), refreshCycle())
              << TemplateVariable(QStringLiteral("singleViewPath"), m_singleViewPath)
              << TemplateVariable(QStringLiteral("requestPath"), path)
              << TemplateVariable(QStringLiteral("revRequestPath"), QStringLiteral("../").repeated(path.count(QLatin1Char('/'))))
              << TemplateVariable(QStringLiteral("cachePath"), m_cachePath)
              << TemplateVariable(QStringLiteral("ID"), int(m_descriptor.serviceId))
              << TemplateVariable(QStringLiteral("ID_"), static_cast<unsigned int>(selector & 0xFFFF0000u))
              << TemplateVariable(QStringLiteral("ID__"), static_cast<unsigned int>(selector & 0xFFFFFF00u))
              << TemplateVariable(QStringLiteral("IDE"), ensembleIndexOf(m_descriptor.serviceId))
              << TemplateVariable(QStringLiteral("IDS"), serviceIndexOf(m_descriptor.serviceId))
              << TemplateVariable(QStringLiteral("IDC"), componentIndexOf(m_descriptor.serviceId))
              << TemplateVariable(QStringLiteral("SCID"), m_descriptor.componentId)
              << TemplateVariable(QStringLiteral("SCIDS"), m_descriptor.componentIdS)
              << TemplateVariable(QStringLiteral("hasTextMessages"), m_hasTextMessages)
              << TemplateVariable(QStringLiteral("hasJournaline"), m_hasJournaline)
              << TemplateVariable(QStringLiteral("textMessage"), textMessage(), true)
              << TemplateVariable(QStringLiteral("audioStreamPath"), m_audioStreamPath)
              << TemplateVariable(QStringLiteral("isVisible"), isVisible())
              << TemplateVariable(QStringLiteral("isEncrypted"), m_descriptor.encrypted)
              << TemplateVariable(QStringLiteral("isFavourite"), isServiceFavourite())
              << TemplateVariable(QStringLiteral("isAudio"), !m_isData)
              << TemplateVariable(QStringLiteral("isData"), m_isData)
              << TemplateVariable(QStringLiteral("isFixed"), m_isFixed)
              << TemplateVariable(QStringLiteral("isAvailable"), isAvailable())
              << TemplateVariable(QStringLiteral("isPacketMode"), m_descriptor.packetMode)
              << TemplateVariable(QStringLiteral("hasAudio"), !m_isData || !m_audioStreamPath.isEmpty())
              << TemplateVariable(QStringLiteral("audioClassification"), m_audioClassification)
              << TemplateVariable(QStringLiteral("logo"), m_logo)
              << TemplateVariable(QStringLiteral("source"), m_source)
              << TemplateVariable(QStringLiteral("subTitle"), subTitle())
              << TemplateVariable(QStringLiteral("label"), m_descriptor.label, true)
              << TemplateVariable(QStringLiteral("labelExt"), m_descriptor.labelExt, true)
              << TemplateVariable(QStringLiteral("labelComponent"), m_descriptor.componentLabel, true)
              << TemplateVariable(QStringLiteral("ensemble"), m_descriptor.ensembleLabel, true)
              << TemplateVariable(QStringLiteral("ensembleShortName"), m_descriptor.ensembleLabelShort, true)
              << TemplateVariable(QStringLiteral("name"), m_descriptor.name)
              << TemplateVariable(QStringLiteral("shortname"), m_descriptor.shortname)
              << TemplateVariable(QStringLiteral("applicationId"), int(m_descriptor.applicationId))
              << TemplateVariable(QStringLiteral("ensembleId"), int(m_descriptor.ensembleIdentifier))
              << TemplateVariable(QStringLiteral("validEnsembleId"), m_descriptor.ensembleIdentifier >= 0)
              << TemplateVariable(QStringLiteral("ECC"), m_descriptor.ecc)
              << TemplateVariable(QStringLiteral("countryId"), m_descriptor.countryId)
              << TemplateVariable(QStringLiteral("serviceId"), m_descriptor.serviceIdentifier)
              << TemplateVariable(QStringLiteral("shortId"), m_descriptor.shortId)
              << TemplateVariable(QStringLiteral("streamId"), int(m_descriptor.streamId))
              << TemplateVariable(QStringLiteral("language"), m_languageText)
              << TemplateVariable(QStringLiteral("country"), m_countryText)
              << TemplateVariable(QStringLiteral("type"), m_programTypeText);
    TemplateVariable::Rows rows;
    rows.reserve(m_children.size());
    for (Service *service : std::as_const(m_children))
        rows << service->fillTemplateVariables();
    variables << TemplateVariable(QStringLiteral("SUB"), rows);
    return variables;
}

TemplateVariable::Rows Service::siblingTemplateRows()
{
    TemplateVariable::Rows rows;
    rows.reserve(m_siblings.size());
    for (Service *service : std::as_const(m_siblings))
        rows << service->fillTemplateVariables();
    return rows;
}

void Service::retranslate()
{
    m_languageText = translatedKey("Language", m_descriptor.language);
    m_countryText = translatedKey("Country", m_descriptor.country);
    m_programTypeText = translatedKey("ProgramType", m_descriptor.programType);
    retranslateContent();
    for (Service *service : std::as_const(m_children))
        service->retranslate();
    for (Service *service : std::as_const(m_siblings))
        service->retranslate();
}

void Service::retranslateContent()
{
}

bool Service::answerPage(const PageRequest &request, PageAnswer &answer)
{
    if (!request.query.contains(QStringLiteral("preview")))
        return false;
    const QString styleRoot = m_settings ? m_settings->styleRoot() : QString();
    const QString theme = m_settings ? m_settings->theme() : QString();
    QFile file;
    for (const QString &image : {QStringLiteral("img/preview/") + m_descriptor.shortname + QStringLiteral(".svg"),
                                 QStringLiteral("img/preview/background_na.svg")}) {
        const QString path = resolveResourcePath(styleRoot, theme, image);
        if (path.isEmpty())
            continue;
        file.setFileName(path);
        if (file.open(QIODevice::ReadOnly))
            break;
    }
    if (!file.isOpen())
        return false;
    answer.status = 200;
    answer.mimeType = QStringLiteral("image/svg+xml");
    answer.filePath = file.fileName();
    answer.body = file.readAll();
    answer.lastModified = QFileInfo(file).lastModified().toUTC();
    return true;
}

} // namespace ZOZ
