#include "ZOZServiceBWS.h"

#include "ZOZMotFile.h"

#include "DabMotDecoder.h"
#include "base/ZOZLog.h"
#include "web/ZOZTemplateValue.h"

#include <QDateTime>

namespace ZOZ {

namespace {

constexpr quint32 LogBws = LogSource::ServiceBws;

// The directory parameter that names the site's start page, after a profile byte.
constexpr uint8_t DefaultEntryPoint = 0x22;

} // namespace

const QString ServiceBWS::PageTemplate = QStringLiteral("templates/services/bws/index.html");
const QString ServiceBWS::NotAvailableTemplate = QStringLiteral("templates/services/bws/na.html");

ServiceBWS::ServiceBWS(ServiceDescriptor &descriptor)
    : ServiceMOT(descriptor, EntityBufferSize)
{
    ZOZ_LOG(LogBws, QStringLiteral("ServiceBWS::ServiceBWS()"));
    descriptor.name = QStringLiteral("Broadcast Website");
    descriptor.shortname = QStringLiteral("bws");
    init(descriptor);
}

ServiceBWS::~ServiceBWS()
{
    ZOZ_LOG(LogBws, QStringLiteral("ServiceBWS::~ServiceBWS()"));
}

QString ServiceBWS::indexFileName() const
{
    QMutexLocker locker(&m_indexMutex);
    return m_indexFileName;
}

void ServiceBWS::setIndexFileName(const QString &name)
{
    QMutexLocker locker(&m_indexMutex);
    m_indexFileName = name;
}

QString ServiceBWS::indexUrl() const
{
    const QString name = indexFileName();
    return name.isEmpty() ? QString() : requestPath() + name;
}

void ServiceBWS::onDirectory(const MotDirectory *directory)
{
    if (!directory || !directory->complete) {
        setIndexFileName({});
        return;
    }
    const uint8_t *data = nullptr;
    uint32_t length = 0;
    if (DAB_Bb_Ruz_MotDecoderGetDirectoryParameter(directory, DefaultEntryPoint, &data, &length) != MOT_DECODER_OK
        || !data || length < 2)
        return;
    // Object names and the start page's name follow the same rules, so that they match.
    const QString name = safeName(QString::fromUtf8(reinterpret_cast<const char *>(data + 1), qsizetype(length - 1)));
    setIndexFileName(name);
    if (isIndexReceived() || name.isEmpty())
        return;
    QReadLocker locker(&objectMapLock());
    if (MotFile *file = objects().value(name)) {
        ModalPointerLocker fileLocker(file);
        if (!file->body.isEmpty())
            m_indexReceived.store(true, std::memory_order_relaxed);
    }
}

void ServiceBWS::onObjectChanged(MotFile *file)
{
    const QString name = indexFileName();
    if (!name.isEmpty() && name == file->name() && !file->body.isEmpty())
        m_indexReceived.store(true, std::memory_order_relaxed);
}

bool ServiceBWS::answerPage(const PageRequest &request, PageAnswer &answer)
{
    const QString prefix = requestPath();
    QString path = request.path.startsWith(prefix) ? request.path.mid(prefix.size()) : request.path;
    if (path.isEmpty() && request.file.isEmpty()) {
        if (request.query.contains(QStringLiteral("getObjectList")))
            return answerObjectList(answer);
        if (request.query.contains(QStringLiteral("preview")))
            return Service::answerPage(request, answer);
        return answerResource(PageTemplate, QStringLiteral("text/html"), answer);
    }
    QString name = path + request.file;
    if (name.startsWith(QLatin1Char('/')))
        name.remove(0, 1);
    if (name.endsWith(QLatin1Char('/')) || request.file.isEmpty())
        name += indexFileName();
    return answerObject(name, answer);
}

bool ServiceBWS::answerObjectList(PageAnswer &answer)
{
    buildObjectList();
    TemplateValue root;
    {
        QReadLocker locker(&objectListLock());
        root << TemplateValue(QStringLiteral("success"), true)
             << TemplateValue(QStringLiteral("objects"), objectList(), TemplateValue::List)
             << TemplateValue(QStringLiteral("indexReceived"), isIndexReceived())
             << TemplateValue(QStringLiteral("indexFilename"), indexUrl());
    }
    answer.status = 200;
    answer.mimeType = QStringLiteral("application/json");
    answer.body = root.toUtf8();
    return true;
}

bool ServiceBWS::answerObject(const QString &name, PageAnswer &answer)
{
    {
        QReadLocker locker(&objectMapLock());
        MotFile *file = objects().value(name);
        if (file) {
            ModalPointerLocker fileLocker(file);
            if (!file->body.isEmpty()) {
                answer.status = 200;
                answer.mimeType = file->mime;
                answer.contentName = file->name();
                answer.body = file->body;
                answer.lastModified = QDateTime::fromSecsSinceEpoch(file->timeReceived, Qt::UTC);
                answer.broadcastContent = true;
                return true;
            }
        }
    }
    return answerResource(NotAvailableTemplate, QStringLiteral("text/html"), answer);
}

} // namespace ZOZ
