#include "ZOZServiceSPI.h"

#include "ZOZMotFile.h"
#include "ZOZSLDecoder.h"
#include "ZOZSpiManager.h"
#include "web/ZOZTemplateValue.h"

#include <QDateTime>
#include <QMimeDatabase>
#include <QRegularExpression>

namespace ZOZ {

namespace {

// Guide documents: content type 7 with these subtypes.
constexpr int SpiContentType = 7;
constexpr int LastSpiSubType = 2;

// The object's MIME type: as broadcast, else by the name's extension.
QString mimeTypeOf(const MotFile &file)
{
    if (!file.mime.isEmpty())
        return file.mime.toLower();
    return QMimeDatabase().mimeTypeForFile(file.name(), QMimeDatabase::MatchExtension).name();
}

int logoMimeCode(const MotFile &file)
{
    const QString type = mimeTypeOf(file);
    if (type == QLatin1String("image/jpeg"))
        return SpiLogos::JpegCode;
    if (type == QLatin1String("image/png"))
        return SpiLogos::PngCode;
    return 0;
}

} // namespace

const QString ServiceSPI::PageTemplate = QStringLiteral("templates/services/spi/index.html");

ServiceSPI::ObjectKind ServiceSPI::kindOf(int contentType, int contentSubType, const QString &name)
{
    if (contentType == SpiContentType && contentSubType >= 0 && contentSubType <= LastSpiSubType)
        return ObjectKind::Document;
    // A clip is named after the service it speaks: ECC, SId and component,
    // anywhere in the name.
    static const QRegularExpression spokenLabel(QStringLiteral("e([0-9A-F]+)s([0-9A-F]+)c([0-9A-F]+)"));
    if (name.endsWith(QLatin1String(".m4a"), Qt::CaseInsensitive) && spokenLabel.match(name).hasMatch())
        return ObjectKind::SpokenLabel;
    return ObjectKind::LogoCandidate;
}

ServiceSPI::ServiceSPI(ServiceDescriptor &descriptor)
    : ServiceMOT(descriptor, EntityBufferSize)
    , m_manager(SpiManager::instance())
{
    // The guide follows every new version of a document, and keeps what it
    // decoded in its own store rather than the objects.
    m_reRequest = true;
    m_storeObjects = false;
    descriptor.name = QStringLiteral("Service and Programme Information");
    descriptor.shortname = QStringLiteral("spi");
    init(descriptor);
}

ServiceSPI::~ServiceSPI()
{
    // The objects go in the base's teardown; the spoken-label worker stops first.
    m_spokenLabels.reset();
}

void ServiceSPI::onObjectChanged(MotFile *file)
{
    dispatch(file);
}

void ServiceSPI::onObjectUnchanged(MotFile *file)
{
    // A document repeated unchanged is decoded again: its entries' times
    // are renewed, and the store finds nothing changed.
    dispatch(file);
}

void ServiceSPI::dispatch(MotFile *file)
{
    if (!file || file->body.isEmpty())
        return;
    PointerLocker reference(file);
    const MotHeader &header = file->header();
    switch (kindOf(header.contentType, header.contentSubType, file->name())) {
    case ObjectKind::Document: {
        if (!m_manager)
            return;
        SpiDocument document;
        document.spiServiceId = cacheKey();
        document.serviceCountryKey = quint16(ecc() * 16 + (countryId() & 0x0F));
        document.fullContentIdForm = (sourceFlags() & 1) != 0;
        document.type = header.contentSubType;
        document.body = file->body;
        m_manager->decodeDocument(document);
        break;
    }
    case ObjectKind::SpokenLabel:
        if (!m_spokenLabels)
            m_spokenLabels = std::make_unique<SLDecoder>();
        m_spokenLabels->enqueue(file->name(), file->body);
        break;
    case ObjectKind::LogoCandidate:
        if (m_manager)
            m_manager->logoArrived(cacheKey(), file->name(), logoMimeCode(*file), file->body);
        break;
    }
}

bool ServiceSPI::answerPage(const PageRequest &request, PageAnswer &answer)
{
    if (request.query.contains(QStringLiteral("getServices"))) {
        answerGuide(answer);
        return true;
    }
    if (request.query.contains(QStringLiteral("preview")))
        return Service::answerPage(request, answer);
    const QString prefix = requestPath();
    const QString name = (request.path.startsWith(prefix) ? request.path.mid(prefix.size()) : request.path) + request.file;
    if (!name.isEmpty())
        return answerObject(name, answer);
    return answerResource(PageTemplate, QStringLiteral("text/html"), answer);
}

void ServiceSPI::answerGuide(PageAnswer &answer)
{
    TemplateValue document;
    document << TemplateValue(QStringLiteral("success"), true);
    if (m_manager)
        document << m_manager->buildSpiJson();
    else
        document << TemplateValue(QStringLiteral("services"), TemplateValue::List);
    answer.status = 200;
    answer.mimeType = QStringLiteral("application/json");
    answer.body = document.toUtf8();
    answer.lastModified = QDateTime::currentDateTimeUtc();
}

bool ServiceSPI::answerObject(const QString &name, PageAnswer &answer)
{
    QReadLocker locker(&objectMapLock());
    MotFile *file = objects().value(name);
    if (!file)
        return false;
    ModalPointerLocker fileLocker(file);
    if (file->body.isEmpty())
        return false;
    // Broadcast data: served apart from the player's own pages and commands.
    answer.status = 200;
    answer.broadcastContent = true;
    answer.mimeType = file->mime;
    answer.contentName = file->name();
    answer.body = file->body;
    answer.lastModified = QDateTime::fromSecsSinceEpoch(qint64(file->timeReceived), Qt::UTC);
    return true;
}

} // namespace ZOZ
