// What a service tells the pages about itself: its subtitle, its translated
// texts and its preview image.
#include "ZOZService.h"

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
    for (const QString *part : {&m_programTypeText, &m_descriptor.ensembleLabel, &m_source, &m_countryText}) {
        if (!part->isEmpty())
            text += QStringLiteral(", ") + *part;
    }
    if (!m_audioClassification.isEmpty())
        text += QStringLiteral(" (") + m_audioClassification + QLatin1Char(')');
    return text.mid(1);
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
    return answerResource(QStringLiteral("img/preview/") + m_descriptor.shortname + QStringLiteral(".svg"),
                          QStringLiteral("image/svg+xml"), answer)
        || answerResource(QStringLiteral("img/preview/background_na.svg"), QStringLiteral("image/svg+xml"), answer);
}

bool Service::answerResource(const QString &resource, const QString &mimeType, PageAnswer &answer) const
{
    const QString path = resolveResourcePath(m_settings ? m_settings->styleRoot() : QString(),
                                             m_settings ? m_settings->theme() : QString(), resource);
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return false;
    answer.status = 200;
    answer.mimeType = mimeType;
    answer.filePath = file.fileName();
    answer.body = file.readAll();
    answer.lastModified = QFileInfo(file).lastModified().toUTC();
    return true;
}

} // namespace ZOZ
