#include "ZOZServiceSLS.h"

#include "DabCodeTables.h"
#include "DabMotDecoder.h"
#include "DabMotTime.h"
#include "ZOZSlideCache.h"
#include "ZOZSlidePreview.h"
#include "ZOZSlsImageManager.h"
#include "base/ZOZLog.h"
#include "base/ZOZMd5.h"
#include "settings/ZOZSettings.h"
#include "web/ZOZTemplateValue.h"

#include <QMimeDatabase>
#include <QRegularExpression>

#include <cstdlib>

namespace ZOZ {

namespace {

constexpr quint32 LogSls = LogSource::ServiceSls;
constexpr quint32 LogSlsError = LogSource::ServiceSls | LogFlag::Error;
constexpr quint32 LogSlsWarning = LogSource::ServiceSls | LogFlag::Warning;

// Alternative images are fetched at most this often per service.
constexpr qint64 AltImageThrottleMs = 2000;

// Header parameters a slide reads.
enum : uint8_t {
    ExpireTime = 4,
    TriggerTime = 5,
    CategorySlideId = 0x25,
    CategoryTitle = 0x26,
    ClickThroughUrl = 0x27,
    AlternativeLocationUrl = 0x28,
};

bool parameter(const MotHeader *header, uint8_t id, const uint8_t *&data, uint32_t &length)
{
    return DAB_Bb_Ruz_MotDecoderGetHeaderParameter(header, id, &data, &length) == MOT_DECODER_OK;
}

QString textParameter(const MotHeader *header, uint8_t id)
{
    const uint8_t *data = nullptr;
    uint32_t length = 0;
    if (!parameter(header, id, data, length) || !data)
        return {};
    return QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(length));
}

// A time parameter: present or not, and its time when all its bytes are there.
bool timeParameter(const MotHeader *header, uint8_t id, quint32 &time)
{
    const uint8_t *data = nullptr;
    uint32_t length = 0;
    time = 0;
    if (!parameter(header, id, data, length))
        return false;
    uint32_t read = 0;
    if (data && motTimeToUnix(data, length, read))
        time = read;
    return true;
}

// The body's digest as 32 hex digits, so that every name has one length.
QString digestName(const uint8_t *object, uint32_t size)
{
    if (!object || size == 0)
        return {};
    Md5Context context;
    md5Init(&context);
    md5Update(&context, object, size);
    const Md5Digest digest = md5Final(&context);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(digest.data()), int(digest.size())).toHex());
}

// The ContentName as a safe file name: backslashes become "/", every other
// run of unusual characters one "_".
QString safeContentName(const MotHeader *header)
{
    if (!header->contentName || header->contentNameLength == 0)
        return {};
    static const QRegularExpression backslashes(QStringLiteral("[\\\\]+"));
    static const QRegularExpression unusual(QStringLiteral("[^A-Za-z0-9/.-]+"));
    QString name = QString::fromUtf8(reinterpret_cast<const char *>(header->contentName),
                                     qsizetype(header->contentNameLength));
    name.replace(backslashes, QStringLiteral("/"));
    name.replace(unusual, QStringLiteral("_"));
    return name;
}

QString mimeOf(const MotHeader *header, const QString &contentName)
{
    if (header->mimeType && header->mimeTypeLength > 0)
        return QString::fromLatin1(header->mimeType, qsizetype(header->mimeTypeLength));
    const QMimeType type = QMimeDatabase().mimeTypeForFile(contentName, QMimeDatabase::MatchExtension);
    return type.isDefault() ? QStringLiteral("image/jpeg") : type.name();
}

} // namespace

const QString ServiceSLS::PageTemplate = QStringLiteral("templates/services/sls/index.html");

void ServiceSLS::FreeDeleter::operator()(void *memory) const
{
    std::free(memory);
}

ServiceSLS::ServiceSLS(ServiceDescriptor &descriptor)
    : Service(true)
    , m_slides(this)
    , m_images(SlsImageManager::shared())
    , m_tasks(SlsTasks::shared())
{
    ZOZ_LOG(LogSls, QStringLiteral("ServiceSLS::ServiceSLS()"));
    descriptor.name = QStringLiteral("Slideshow");
    descriptor.shortname = QStringLiteral("sls");
    init(descriptor);
    m_tasks->add(this);
}

ServiceSLS::~ServiceSLS()
{
    m_tasks->remove(this);
    QMutexLocker locker(&m_decoderMutex);
    m_decoder.reset();
}

void ServiceSLS::setTimeSource(std::function<quint32()> now)
{
    m_now = std::move(now);
}

quint32 ServiceSLS::now() const
{
    return m_now ? m_now() : currentTime();
}

void ServiceSLS::setup()
{
    QMutexLocker locker(&m_decoderMutex);
    m_entity.assign(EntityBufferSize, 0);
    auto *memory = static_cast<DabMotDecoder *>(std::malloc(DAB_Bb_Ruz_MotDecoderGetSize()));
    if (!memory
        || DAB_Bb_Ruz_MotDecoderInit(memory, 0, m_entity.data(), uint32_t(m_entity.size()), &ServiceSLS::onObject,
                                     this, nullptr, 0)
               != MOT_DECODER_OK) {
        ZOZ_LOG(LogSlsError, QStringLiteral("ServiceSLS::ServiceSLS() -> could not initialise MOT decoder"));
        std::free(memory);
        return;
    }
    m_decoder.reset(memory);
    locker.unlock();
    loadCache();
}

void ServiceSLS::reload()
{
    clearData();
    loadCache();
}

void ServiceSLS::clearData()
{
    m_slides.clear();
    setRefreshCycle(refreshCycle() + 1);
}

void ServiceSLS::saveCache()
{
    // Slides are written as they arrive.
}

bool ServiceSLS::cacheWritable(bool imagesToo) const
{
    const Settings *settings = Settings::instance();
    if (!settings || !settings->hasPhysicalCache() || cachePath().isEmpty())
        return false;
    return !imagesToo || settings->slsHasPermaCache();
}

void ServiceSLS::loadCache()
{
    if (!cacheWritable(false))
        return;
    QMap<quint8, QString> titles;
    const QVector<SlidePointer> restored = SlideCache(cachePath(), false).read(titles);
    if (restored.isEmpty() && titles.isEmpty())
        return;
    m_slides.restore(restored, titles, now());
    markDirty();
    publishChange();
}

void ServiceSLS::clearCache()
{
    const Settings *settings = Settings::instance();
    if (settings && !settings->cachePath().isEmpty())
        SlideCache::clearAll(settings->cachePath() + QStringLiteral("sls/"));
}

void ServiceSLS::writeSlide(Slide &slide)
{
    if (cacheWritable(true))
        SlideCache(cachePath(), true).writeSlide(slide);
}

void ServiceSLS::removeSlide(const Slide &slide)
{
    if (cacheWritable(false))
        SlideCache(cachePath(), false).removeSlide(slide);
}

void ServiceSLS::writeCategory(quint8 categoryId, const QString &title)
{
    if (cacheWritable(false))
        SlideCache(cachePath(), false).writeCategory(categoryId, title);
}

bool ServiceSLS::handlePacket(int length, const uchar *const &data)
{
    QMutexLocker locker(&m_decoderMutex);
    if (!m_decoder || !data || length <= 0)
        return false;
    const int result = DAB_Bb_Ruz_MotDecoderProcessDataGroup(m_decoder.get(), data, uint32_t(length));
    const QString where =
        QStringLiteral("ServiceSLS::handlePacket( data[%1], dataLength[%2] )").arg(logAddress(data)).arg(length);
    if (result == MOT_DECODER_OK) {
        ZOZ_LOG(LogSls, where);
        return true;
    }
    const QString text = QString::fromLatin1(motErrorText(uint32_t(result)));
    if (result == MOT_DECODER_CRC_ERROR)
        ZOZ_LOG(LogSlsWarning, where + QStringLiteral(" -> warning RUZ_MOT_ProcessDataGroup: '%1'").arg(text));
    else
        ZOZ_LOG(LogSlsError, where + QStringLiteral(" -> error RUZ_MOT_ProcessDataGroup: '%1'").arg(text));
    return false;
}

int ServiceSLS::onObject(const uint8_t *object, uint32_t size, const MotHeader *header, void *context)
{
    return static_cast<ServiceSLS *>(context)->saveSlide(object, size, header);
}

int ServiceSLS::saveSlide(const uint8_t *object, uint32_t size, const MotHeader *header)
{
    if (!header) {
        ZOZ_LOG(LogSlsError, QStringLiteral("ServiceSLS::saveSlide() -> invalid parameters"));
        return 0;
    }
    // The body lies in the entity buffer already; the size is checked again
    // all the same before it is copied.
    if (size > MOT_DECODER_MAX_OBJECT_SIZE || (size > 0 && !object))
        return 0;
    SlideObject slide;
    slide.contentType = header->contentType;
    const uint8_t *ids = nullptr;
    uint32_t idsLength = 0;
    if (parameter(header, CategorySlideId, ids, idsLength) && ids && idsLength >= 2) {
        slide.categoryId = ids[0];
        slide.slideId = ids[1];
    }
    slide.triggerValid = timeParameter(header, TriggerTime, slide.trigger);
    slide.expireValid = timeParameter(header, ExpireTime, slide.expire);
    slide.categoryTitle = textParameter(header, CategoryTitle);
    slide.link = textParameter(header, ClickThroughUrl);
    slide.altUrl = textParameter(header, AlternativeLocationUrl);
    slide.contentName = safeContentName(header);
    slide.name = digestName(object, size);
    slide.mime = mimeOf(header, slide.contentName);
    if (size > 0)
        slide.body = QByteArray(reinterpret_cast<const char *>(object), qsizetype(size));
    ZOZ_LOG(LogSls, QStringLiteral("ServiceSLS::saveSlide()[%1] (data: %2, size: %3)")
                        .arg(header->transportId)
                        .arg(logAddress(object))
                        .arg(size));
    if (slide.contentType == SlideObject::Image && slide.body.isEmpty())
        ZOZ_LOG(LogSlsError, QStringLiteral("ServiceSLS::saveSlide() -> MOT body received with empty body"));
    if (m_slides.receive(slide, now())) {
        markDirty();
        publishChange();
    }
    return 0;
}

// The service's own pages move on; the service list is left alone: it would
// rebuild (and the selection page reload) with every slide, while the
// now-playing panel asks the SlideShow for its slide anyway.
void ServiceSLS::publishChange()
{
    setRefreshCycle(refreshCycle() + 1);
}

void ServiceSLS::runTasks()
{
    makePreviews();
    fetchAlternativeImages();
}

void ServiceSLS::makePreviews()
{
    for (const SlidePointer &slide : m_slides.slidesWithDuePreviews()) {
        // Copies taken under the store's lock; the decode runs outside it.
        const SlideImage image = m_slides.imageOf(slide, false);
        if (image.previewDue)
            m_slides.setPreview(slide, false, image.data, makeSlidePreview(image.data, image.mime));
        const SlideImage alternative = m_slides.imageOf(slide, true);
        if (alternative.previewDue)
            m_slides.setPreview(slide, true, alternative.data, makeSlidePreview(alternative.data, alternative.mime));
    }
}

void ServiceSLS::fetchAlternativeImages()
{
    const Settings *settings = Settings::instance();
    if (!settings || !settings->slsHasAltImages())
        return;
    {
        QMutexLocker locker(&m_taskMutex);
        if (m_altThrottle.isValid() && m_altThrottle.elapsed() < AltImageThrottleMs)
            return;
        m_altThrottle.start();
    }
    bool changed = false;
    for (const SlidePointer &slide : m_slides.takeAlternativeRequests()) {
        SlideImage image = m_slides.imageOf(slide, true);
        const QString url = m_slides.alternativeUrlOf(slide);
        // The download runs without the store's lock, so pages keep answering.
        const bool fetched = m_images->download(url, image);
        changed = m_slides.setAlternativeImage(slide, url, fetched ? &image : nullptr) || changed;
    }
    if (changed)
        publishChange();
}

bool ServiceSLS::answerPage(const PageRequest &request, PageAnswer &answer)
{
    if (request.query.contains(QStringLiteral("preview"))) {
        m_slides.update(now());
        return answerPreview(answer) || Service::answerPage(request, answer);
    }
    if (request.query.contains(QStringLiteral("getSlides"))) {
        if (m_slides.update(now()))
            publishChange();
        answer.status = 200;
        answer.mimeType = QStringLiteral("application/json");
        answer.body = m_slides.slidesAnswer(requestPath()).toUtf8();
        return true;
    }
    if (!request.file.isEmpty())
        return answerSlideFile(request.file, answer);
    if (m_slides.update(now()))
        publishChange();
    return answerSlidePage(answer);
}

bool ServiceSLS::answerPreview(PageAnswer &answer)
{
    const SlidePointer active = m_slides.active();
    if (!active)
        return false;
    makePreviews();
    const bool alternative = !m_slides.imageOf(active, true).data.isEmpty();
    const SlideImage image = m_slides.imageOf(active, alternative);
    answer.status = 200;
    answer.body = image.preview.isEmpty() ? image.data : image.preview;
    answer.mimeType = image.mime.isEmpty() ? QStringLiteral("image/png") : image.mime;
    answer.lastModified = image.time;
    return true;
}

bool ServiceSLS::answerSlideFile(const QString &file, PageAnswer &answer)
{
    QString name = file;
    name.remove(QStringLiteral("www."));
    const SlidePointer slide = m_slides.find(name);
    if (!slide)
        return false;
    const bool alternative = !m_slides.imageOf(slide, true).data.isEmpty();
    const SlideImage image = m_slides.imageOf(slide, alternative);
    answer.status = 200;
    answer.body = image.data;
    answer.mimeType = image.mime.isEmpty() ? QStringLiteral("image/png") : image.mime;
    answer.lastModified = image.time;
    return true;
}

bool ServiceSLS::answerSlidePage(PageAnswer &answer)
{
    return answerResource(PageTemplate, QStringLiteral("text/html"), answer);
}

} // namespace ZOZ
