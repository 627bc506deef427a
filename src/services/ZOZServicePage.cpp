// What a service tells the pages about itself: its template variables, the
// rows of its secondary components, its translated texts and its preview image.
#include "ZOZService.h"

#include "http/ZOZHttpContentType.h"
#include "web/ZOZResourcePath.h"

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
    for (const QString *part : {&m_programTypeText, &m_ensembleLabel, &m_source, &m_countryText}) {
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
    const quint32 selector = quint32(m_serviceId);
    QVector<TemplateVariable> variables;
    variables.reserve(49);
    variables << TemplateVariable(QStringLiteral("HTTP_REFRESH_CYCLE"), refreshCycle())
              << TemplateVariable(QStringLiteral("singleViewPath"), m_singleViewPath)
              << TemplateVariable(QStringLiteral("requestPath"), path)
              << TemplateVariable(QStringLiteral("revRequestPath"), QStringLiteral("../").repeated(path.count(QLatin1Char('/'))))
              << TemplateVariable(QStringLiteral("cachePath"), m_cachePath)
              << TemplateVariable(QStringLiteral("ID"), int(m_serviceId))
              << TemplateVariable(QStringLiteral("ID_"), static_cast<unsigned int>(selector & 0xFFFF0000u))
              << TemplateVariable(QStringLiteral("ID__"), static_cast<unsigned int>(selector & 0xFFFFFF00u))
              << TemplateVariable(QStringLiteral("IDE"), ensembleIndexOf(m_serviceId))
              << TemplateVariable(QStringLiteral("IDS"), serviceIndexOf(m_serviceId))
              << TemplateVariable(QStringLiteral("IDC"), componentIndexOf(m_serviceId))
              << TemplateVariable(QStringLiteral("SCID"), m_componentId)
              << TemplateVariable(QStringLiteral("SCIDS"), m_componentIdS)
              << TemplateVariable(QStringLiteral("hasTextMessages"), m_hasTextMessages)
              << TemplateVariable(QStringLiteral("hasJournaline"), m_hasJournaline)
              << TemplateVariable(QStringLiteral("textMessage"), textMessage(), true)
              << TemplateVariable(QStringLiteral("audioStreamPath"), m_audioStreamPath)
              << TemplateVariable(QStringLiteral("isVisible"), isVisible())
              << TemplateVariable(QStringLiteral("isEncrypted"), m_isEncrypted)
              << TemplateVariable(QStringLiteral("isFavourite"), isServiceFavourite())
              << TemplateVariable(QStringLiteral("isAudio"), !m_isData)
              << TemplateVariable(QStringLiteral("isData"), m_isData)
              << TemplateVariable(QStringLiteral("isFixed"), m_isFixed)
              << TemplateVariable(QStringLiteral("isAvailable"), isAvailable())
              << TemplateVariable(QStringLiteral("isPacketMode"), m_isPacketMode)
              << TemplateVariable(QStringLiteral("hasAudio"), !m_isData || !m_audioStreamPath.isEmpty())
              << TemplateVariable(QStringLiteral("audioClassification"), m_audioClassification)
              << TemplateVariable(QStringLiteral("logo"), m_logo)
              << TemplateVariable(QStringLiteral("source"), m_source)
              << TemplateVariable(QStringLiteral("subTitle"), subTitle())
              << TemplateVariable(QStringLiteral("label"), m_label, true)
              << TemplateVariable(QStringLiteral("labelExt"), m_labelExt, true)
              << TemplateVariable(QStringLiteral("labelComponent"), m_componentLabel, true)
              << TemplateVariable(QStringLiteral("ensemble"), m_ensembleLabel, true)
              << TemplateVariable(QStringLiteral("ensembleShortName"), m_ensembleLabelShort, true)
              << TemplateVariable(QStringLiteral("name"), m_name)
              << TemplateVariable(QStringLiteral("shortname"), m_shortname)
              << TemplateVariable(QStringLiteral("applicationId"), int(m_applicationId))
              << TemplateVariable(QStringLiteral("ensembleId"), int(m_ensembleIdentifier))
              << TemplateVariable(QStringLiteral("validEnsembleId"), m_ensembleIdentifier >= 0)
              << TemplateVariable(QStringLiteral("ECC"), m_ecc)
              << TemplateVariable(QStringLiteral("countryId"), m_countryId)
              << TemplateVariable(QStringLiteral("serviceId"), m_serviceIdentifier)
              << TemplateVariable(QStringLiteral("shortId"), m_shortId)
              << TemplateVariable(QStringLiteral("streamId"), int(m_streamId))
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
    m_languageText = translatedKey("Language", m_language);
    m_countryText = translatedKey("Country", m_country);
    m_programTypeText = translatedKey("ProgramType", m_programType);
    retranslateContent();
    for (Service *service : std::as_const(m_children))
        service->retranslate();
    for (Service *service : std::as_const(m_siblings))
        service->retranslate();
}

void Service::retranslateContent()
{
}

bool Service::httpFileRequest(const HttpRequest &request, HttpResponse &response)
{
    if (!request.query.contains(QStringLiteral("preview")))
        return false;
    const QString styleRoot = m_settings ? m_settings->styleRoot() : QString();
    const QString theme = m_settings ? m_settings->theme() : QString();
    QFile file;
    for (const QString &image : {QStringLiteral("img/preview/") + m_shortname + QStringLiteral(".svg"),
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
    response.status = 200;
    response.contentType = HttpContentSvg;
    response.filePath = file.fileName();
    response.body = file.readAll();
    response.lastModified = QFileInfo(file).lastModified().toUTC();
    return true;
}

} // namespace ZOZ
