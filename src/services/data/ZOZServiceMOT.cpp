#include "ZOZServiceMOT.h"

#include "ZOZMotFile.h"

#include "DabCodeTables.h"
#include "DabMotDecoder.h"
#include "base/ZOZLog.h"
#include "base/ZOZPaths.h"
#include "settings/ZOZSettings.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cstdlib>

namespace ZOZ {

namespace {

constexpr quint32 LogMot = LogSource::ServiceMot;
constexpr quint32 LogMotError = LogSource::ServiceMot | LogFlag::Error;
constexpr quint32 LogMotWarning = LogSource::ServiceMot | LogFlag::Warning;

// What the decoder reports when the service refuses a delivery.
constexpr int InternalError = 15;

// Request buffers are allocated when the directory arrives, before any body
// byte: together they stay below this, the rest is requested with a later
// directory. Buffers of abandoned requests count too; when they alone pass
// it the decoder starts afresh.
constexpr quint64 MaxOutstandingBytes = 64ull * 1024 * 1024;

// A first estimate of the reception's end, until progress tells better.
constexpr quint32 UnknownDuration = 3600000;

// The index is written at most this often while objects arrive; the rest
// follows with the next object, a new directory or the service's end.
constexpr qint64 IndexSyncMs = 1000;

const QString SlashKey = QStringLiteral("--SLASH--");

QString groupKey(const QString &name)
{
    QString key = name;
    return key.replace(QLatin1Char('/'), SlashKey);
}

bool isHtml(const MotFile &file)
{
    if (!file.mime.isEmpty())
        return file.mime.compare(QLatin1String("text/html"), Qt::CaseInsensitive) == 0;
    return file.name().endsWith(QLatin1String(".html"), Qt::CaseInsensitive)
        || file.name().endsWith(QLatin1String(".htm"), Qt::CaseInsensitive);
}

} // namespace

const QString ServiceMOT::IndexFileName = QStringLiteral("__ZOZ_FILES.ini");

void ServiceMOT::FreeDeleter::operator()(void *memory) const
{
    std::free(memory);
}

ServiceMOT::ServiceMOT(ServiceDescriptor &, uint32_t entityBufferSize)
    : Service(true)
    , m_entity(entityBufferSize, 0)
{
    // Nothing has arrived yet: the reception starts incomplete.
    m_receptionState.complete = false;
    m_receptionState.progress = 0;
    auto *memory = static_cast<DabMotDecoder *>(std::malloc(DAB_Bb_Ruz_MotDecoderGetSize()));
    if (!memory
        || DAB_Bb_Ruz_MotDecoderInit(memory, 1, m_entity.data(), uint32_t(m_entity.size()), &ServiceMOT::onData, this,
                                     nullptr, 0)
               != MOT_DECODER_OK) {
        ZOZ_LOG(LogMotError, QStringLiteral("ServiceMOT::ServiceMOT() -> could not initialise MOT decoder"));
        std::free(memory);
        return;
    }
    m_decoder.reset(memory);
}

ServiceMOT::~ServiceMOT()
{
    ZOZ_LOG(LogMot, QStringLiteral("ServiceMOT::~ServiceMOT()"));
    clearData();
    QMutexLocker locker(&m_decoderMutex);
    m_decoder.reset();
}

void ServiceMOT::setup()
{
    loadCache();
}

void ServiceMOT::reload()
{
    clearData();
    loadCache();
}

void ServiceMOT::clearData()
{
    // The decoder holds the objects' request buffers: it starts afresh
    // before they go.
    QMutexLocker decoderLocker(&m_decoderMutex);
    resetDecoder();
    closeIndex();
    QWriteLocker locker(&m_objectMapLock);
    for (MotFile *file : std::as_const(m_objects))
        file->release();
    m_objects.clear();
    m_listDirty = true;
    locker.unlock();
    setRefreshCycle(refreshCycle() + 1);
}

void ServiceMOT::resetDecoder()
{
    if (m_decoder
        && DAB_Bb_Ruz_MotDecoderInit(m_decoder.get(), 1, m_entity.data(), uint32_t(m_entity.size()),
                                     &ServiceMOT::onData, this, nullptr, 0)
               != MOT_DECODER_OK)
        m_decoder.reset();
    std::vector<std::vector<uint8_t>>().swap(m_retired);
    m_resetNeeded = false;
    m_waiting.clear();
    m_outstandingBytes = 0;
    m_directoryId = -1;
    m_directoryObjects = 0;
    m_received.clear();
    QReadLocker locker(&m_objectMapLock);
    for (MotFile *file : std::as_const(m_objects)) {
        ModalPointerLocker fileLocker(file);
        file->dropRequest();
    }
}

bool ServiceMOT::hasPhysicalCache() const
{
    const Settings *settings = Settings::instance();
    return settings && settings->hasPhysicalCache();
}

bool ServiceMOT::handlePacket(int length, const uchar *const &data)
{
    const quint32 now = currentTime();
    {
        QMutexLocker locker(&m_mutex);
        if (m_receptionState.startTime == 0) {
            m_receptionState.startTime = now;
            m_receptionState.estimatedEnd = now + UnknownDuration;
        }
    }
    QMutexLocker locker(&m_decoderMutex);
    if (!m_decoder || !data || length <= 0)
        return false;
    const int result = DAB_Bb_Ruz_MotDecoderProcessDataGroup(m_decoder.get(), data, uint32_t(length));
    if (m_resetNeeded) {
        ZOZ_LOG(LogMotWarning, QStringLiteral("ServiceMOT::handlePacket() -> warning: too many abandoned requests, restarting the MOT decoder"));
        resetDecoder();
    }
    const QString where =
        QStringLiteral("ServiceMOT::handlePacket( data[%1], dataLength[%2] )").arg(logAddress(data)).arg(length);
    if (result == MOT_DECODER_OK) {
        ZOZ_LOG(LogMot, where);
        return true;
    }
    ZOZ_LOG(LogMotError, where
                             + QStringLiteral(" -> error DABMOT_RUZ_process: '%1'")
                                   .arg(QString::fromLatin1(motErrorText(uint32_t(result)))));
    return false;
}

int ServiceMOT::onData(const uint8_t *, uint32_t, const MotHeader *header, void *context)
{
    return static_cast<ServiceMOT *>(context)->handleData(header);
}

const MotDirectory *ServiceMOT::currentDirectory()
{
    MotDirectory *directory = nullptr;
    if (!m_decoder || DAB_Bb_Ruz_MotDecoderGetDirectory(m_decoder.get(), &directory) != MOT_DECODER_OK)
        return nullptr;
    return directory;
}

int ServiceMOT::handleData(const MotHeader *header)
{
    const MotDirectory *directory = currentDirectory();
    if (directory)
        onDirectory(directory);
    if (!header)
        return handleDirectory(directory);
    return handleObject(*header);
}

int ServiceMOT::handleDirectory(const MotDirectory *directory)
{
    if (!directory || !directory->complete) {
        ZOZ_LOG(LogMotError, QStringLiteral("ServiceMOT::handleData() -> warning: MOT directory not ready yet"));
        return InternalError;
    }
    onDirectory(directory);
    ZOZ_LOG(LogMot, QStringLiteral("ServiceMOT::handleData() -> received directory with transport ID: %1")
                        .arg(directory->transportId));
    if (m_index)
        m_index->sync();
    // An object counts as received once per directory.
    if (m_directoryId != directory->transportId) {
        m_directoryId = directory->transportId;
        m_received.clear();
    }
    m_directoryObjects = directory->numberOfObjects;
    m_waiting.clear();
    for (uint32_t index = 0; index < directory->numberOfObjects; ++index) {
        MotHeader header {};
        const int result = DAB_Bb_Ruz_MotDecoderGetDirectoryEntry(m_decoder.get(), index, &header);
        if (result != MOT_DECODER_OK) {
            ZOZ_LOG(LogMotWarning,
                    QStringLiteral("ServiceMOT::handleData() -> warning: could not extract header at index: %1 (error: %2)")
                        .arg(index)
                        .arg(QString::fromLatin1(motErrorText(uint32_t(result)))));
            continue;
        }
        const QString name = objectName(header);
        if (name.isEmpty())
            continue;
        QWriteLocker locker(&m_objectMapLock);
        MotFile *&file = m_objects[name];
        if (!file) {
            file = new MotFile(name);
            file->retain();
        }
        ModalPointerLocker fileLocker(file);
        if (requestFile(file, header) == Request::Deferred) {
            WaitingRequest waiting {name, header, {}};
            if (header.mimeType && header.mimeTypeLength > 0)
                waiting.mime = QByteArray(header.mimeType, qsizetype(header.mimeTypeLength));
            waiting.header.extension = nullptr;
            waiting.header.contentName = nullptr;
            waiting.header.contentNameLength = 0;
            m_waiting.append(waiting);
        }
    }
    // A directory that announces nothing is a carousel received in full. Without this its
    // reception would stay at 0 % and an SPI scan would wait for it until its time-out.
    if (directory->numberOfObjects == 0) {
        QMutexLocker locker(&m_mutex);
        m_receptionState.progress = 100;
        m_receptionState.complete = true;
        m_receptionState.estimatedEnd = currentTime();
    }
    return MOT_DECODER_OK;
}

ServiceMOT::Request ServiceMOT::requestFile(MotFile *file, const MotHeader &header)
{
    if (file->isRequested()) {
        if (file->header().transportId == header.transportId)
            return Request::OnItsWay;
        // The carousel moved the name to another transport id: the old
        // request may never complete, but the decoder keeps its buffer.
        m_retired.push_back(file->takeRequest());
        if (m_outstandingBytes > MaxOutstandingBytes) {
            // Not inside the decoder's call: after it.
            m_resetNeeded = true;
            return Request::Deferred;
        }
    }
    if (header.bodySize > 0 && header.bodySize <= MotFile::MaxBodySize
        && m_outstandingBytes + header.bodySize > MaxOutstandingBytes)
        return Request::Deferred;
    int result = MOT_DECODER_INVALID_PARAMETER;
    if (file->takeHeader(header)) {
        result = DAB_Bb_Ruz_MotDecoderRequestObject(m_decoder.get(), header.transportId, file->requestBuffer(),
                                                    file->requestSize());
        if (result != MOT_DECODER_OK)
            file->dropRequest();
    }
    if (result == MOT_DECODER_BUFFER_TOO_SMALL)
        return Request::Deferred; // every reassembly slot is busy
    if (result != MOT_DECODER_OK) {
        ZOZ_LOG(LogMotWarning,
                QStringLiteral("ServiceMOT::requestFile() -> warning: could not request object with transport ID: %1 (name: '%2')")
                    .arg(header.transportId)
                    .arg(file->name()));
        return Request::Refused;
    }
    m_outstandingBytes += file->requestSize();
    ZOZ_LOG(LogMot, QStringLiteral("ServiceMOT::requestFile() -> receiving %1 file (TID: %2, name: '%3')")
                        .arg(file->updated > 0 ? QStringLiteral("updated") : QStringLiteral("new"))
                        .arg(header.transportId)
                        .arg(file->name()));
    return Request::Made;
}

// The decoder collects a limited number of objects at once, and the
// directory is not delivered again while it stays the same: the objects
// that had to wait are requested as earlier ones complete.
void ServiceMOT::requestWaiting()
{
    const MotDirectory *directory = currentDirectory();
    if (!directory || directory->transportId != m_directoryId) {
        m_waiting.clear();
        return;
    }
    while (!m_waiting.isEmpty()) {
        WaitingRequest &next = m_waiting.front();
        next.header.mimeType = next.mime.isEmpty() ? nullptr : next.mime.constData();
        next.header.mimeTypeLength = uint32_t(next.mime.size());
        MotFile *file = m_objects.value(next.name);
        Request result = Request::Refused;
        if (file) {
            ModalPointerLocker fileLocker(file);
            result = requestFile(file, next.header);
        }
        if (result == Request::Deferred)
            return;
        m_waiting.pop_front();
    }
}

int ServiceMOT::handleObject(const MotHeader &header)
{
    const QString name = objectName(header);
    const quint32 now = currentTime();
    QWriteLocker locker(&m_objectMapLock);
    MotFile *file = m_objects.value(name);
    if (!file) {
        ZOZ_LOG(LogMotWarning,
                QStringLiteral("ServiceMOT::handleData() -> warning: received object that was not announced '%1' -> ignoring")
                    .arg(name));
        return InternalError;
    }
    ModalPointerLocker fileLocker(file);
    const quint32 requested = file->requestSize();
    QByteArray data = file->parseBuffer();
    m_outstandingBytes -= std::min<quint64>(m_outstandingBytes, requested);
    requestWaiting();
    if (data.isEmpty())
        return InternalError;
    if (isHtml(*file))
        rewriteLinks(data);
    if (file->header().transportId != header.transportId)
        ZOZ_LOG(LogMotWarning,
                QStringLiteral("ServiceMOT::handleData() -> warning: incoming filename was used for another transport Id '%1': %2 != %3")
                    .arg(name)
                    .arg(file->header().transportId)
                    .arg(header.transportId));
    const bool storing = m_storeObjects && hasPhysicalCache();
    if (data == file->body) {
        // Unchanged bytes are on disk already: a carousel repeating itself
        // writes nothing.
        file->timeReceived = now;
        onObjectUnchanged(file);
    } else {
        file->body = data;
        file->timeReceived = now;
        if (storing)
            storeObject(file, cachePath());
        onObjectChanged(file);
        m_listDirty = true;
        setRefreshCycle(refreshCycle() + 1);
        ZOZ_LOG(LogMot, file->updated > 0 ? QStringLiteral("ServiceMOT::handleData() -> updated object: '%1'").arg(name)
                                          : QStringLiteral("ServiceMOT::handleData() -> new object: '%1'").arg(name));
    }
    m_received.insert(name);
    if (m_reRequest)
        requestFile(file, header);
    updateProgress(now);
    return MOT_DECODER_OK;
}

void ServiceMOT::updateProgress(quint32 now)
{
    const int total = m_directoryObjects;
    const int received = int(m_received.size());
    int percent = total == 0 ? 1 : std::max(1, received * 100 / total);
    if (received > total)
        percent = 100;
    QMutexLocker locker(&m_mutex);
    ReceptionState &state = m_receptionState;
    state.progress = quint8(std::min(percent, 100));
    if (state.complete)
        return;
    state.complete = percent > 99;
    if (state.complete)
        state.estimatedEnd = now;
    else
        state.estimatedEnd = quint32((quint64(now - std::min(now, state.startTime)) * 100) / quint64(percent))
                           + state.startTime;
}

int ServiceMOT::receivedObjects() const
{
    QMutexLocker locker(&m_decoderMutex);
    return int(m_received.size());
}

int ServiceMOT::directoryObjects() const
{
    QMutexLocker locker(&m_decoderMutex);
    return m_directoryObjects;
}

// Links that start with "/" point at the broadcast site's root, which is
// the service's web path here (absolute, so that they resolve from any page
// of the site). The page is taken byte for byte: a site in another encoding
// than UTF-8 keeps every byte, and only the links change.
void ServiceMOT::rewriteLinks(QByteArray &data) const
{
    static const QRegularExpression link(
        QStringLiteral("(href|src)[ \\t\\n\\r\\f\\v]*=[ \\t\\n\\r\\f\\v]*('[^ \\t\\n\\r\\f\\v]*'|\"[^ \\t\\n\\r\\f\\v]*\")"));
    const QString prefix = QLatin1Char('/') + QString::fromLatin1(requestPath().toUtf8());
    QString text = QString::fromLatin1(data);
    qsizetype position = 0;
    QRegularExpressionMatch match = link.match(text, position);
    while (match.hasMatch()) {
        position = match.capturedStart(0);
        // The pattern takes no blank into a value, so there is nothing to trim;
        // trimming here would take bytes of UTF-8 characters for blanks.
        const QString value = match.captured(2);
        const QChar first = value.isEmpty() ? QChar() : value.front();
        if (value.size() >= 2 && (first == QLatin1Char('\'') || first == QLatin1Char('"')) && value.back() == first) {
            QString inner = value.mid(1, value.size() - 2);
            if (inner.startsWith(QLatin1Char('/')))
                inner = prefix + inner.mid(1);
            text.replace(position, match.capturedLength(0), match.captured(1) + QLatin1Char('=') + first + inner + first);
        }
        position += match.capturedLength(0);
        match = link.match(text, position + 1);
    }
    data = text.toLatin1();
}

QString ServiceMOT::objectName(const MotHeader &header)
{
    if (!header.contentName || header.contentNameLength == 0)
        return {};
    return safeName(QString::fromUtf8(reinterpret_cast<const char *>(header.contentName),
                                      qsizetype(header.contentNameLength)));
}

QString ServiceMOT::safeName(const QString &text)
{
    static const QRegularExpression unusual(QStringLiteral("[^A-Za-z0-9./-]+"));
    QString name = text;
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    name.replace(unusual, QStringLiteral("_"));
    return withoutDotSegments(name);
}

QString ServiceMOT::cacheFilePath(const QString &folder, const QString &name)
{
    if (folder.isEmpty() || name.isEmpty())
        return {};
    const QString root = QDir::cleanPath(QDir(folder).absolutePath());
    const QString path = QDir::cleanPath(root + QLatin1Char('/') + name);
    if (!path.startsWith(root + QLatin1Char('/')) || path == root + QLatin1Char('/') + IndexFileName)
        return {};
    // A link inside the folder could still lead out of it.
    return liesInFolder(path, root) ? path : QString();
}

void ServiceMOT::storeObject(MotFile *file, const QString &folder)
{
    if (!hasPhysicalCache() || folder.isEmpty() || file->name().isEmpty())
        return;
    const QString path = cacheFilePath(folder, file->name());
    if (path.isEmpty()) {
        ZOZ_LOG(LogMotWarning,
                QStringLiteral("ServiceMOT::storeObject() -> warning: refusing to store '%1' outside the cache folder")
                    .arg(file->name()));
        return;
    }
    if (!file->body.isEmpty()) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(file->body) != file->body.size()) {
            ZOZ_LOG(LogMotError,
                    QStringLiteral("ServiceMOT::storeObject() -> error: could not write '%1'").arg(path));
            return;
        }
    }
    QSettings &index = indexFile(folder);
    index.beginGroup(groupKey(file->name()));
    index.setValue(QStringLiteral("timeReceived"), file->timeReceived);
    index.setValue(QStringLiteral("mime"), file->mime);
    index.setValue(QStringLiteral("updated"), file->updated);
    index.setValue(QStringLiteral("timeExpirationValid"), file->timeExpirationValid);
    index.setValue(QStringLiteral("timeExpiration"), file->timeExpiration);
    index.endGroup();
    file->cached = false;
    if (!m_indexSync.isValid() || m_indexSync.elapsed() >= IndexSyncMs) {
        index.sync();
        m_indexSync.start();
    }
}

QSettings &ServiceMOT::indexFile(const QString &folder)
{
    if (!m_index || m_index->fileName() != folder + IndexFileName) {
        m_index = std::make_unique<QSettings>(folder + IndexFileName, QSettings::IniFormat);
        m_indexSync.invalidate();
    }
    return *m_index;
}

void ServiceMOT::closeIndex()
{
    m_index.reset(); // written on destruction
    m_indexSync.invalidate();
}

void ServiceMOT::loadCache()
{
    const QString folder = cachePath();
    if (!hasPhysicalCache() || folder.isEmpty()
        || QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot).isEmpty())
        return;
    QMutexLocker decoderLocker(&m_decoderMutex);
    closeIndex();
    QSettings index(folder + IndexFileName, QSettings::IniFormat);
    QWriteLocker locker(&m_objectMapLock);
    for (const QString &group : index.childGroups()) {
        QString name = group;
        name.replace(SlashKey, QStringLiteral("/"));
        // Only names this service could have stored come back.
        if (name != safeName(name))
            continue;
        MotFile *&file = m_objects[name];
        const bool created = !file;
        if (created) {
            file = new MotFile(name);
            file->retain();
        }
        ModalPointerLocker fileLocker(file);
        index.beginGroup(group);
        loadObject(file, folder, name, index);
        index.endGroup();
        file->cached = created;
    }
    m_listDirty = true;
    locker.unlock();
    setRefreshCycle(refreshCycle() + 1);
}

void ServiceMOT::loadObject(MotFile *file, const QString &folder, const QString &, QSettings &index)
{
    file->cached = true;
    file->mime = index.value(QStringLiteral("mime"), QStringLiteral("text/html")).toString();
    file->updated = index.value(QStringLiteral("updated"), 0).toInt();
    quint32 received = index.value(QStringLiteral("timeReceived"), 0).toUInt();
    file->timeExpirationValid = index.value(QStringLiteral("timeExpirationValid"), false).toBool();
    file->timeExpiration = index.value(QStringLiteral("timeExpiration"), 0).toUInt();
    const QString path = cacheFilePath(folder, file->name());
    QFile in(path);
    if (!path.isEmpty() && in.open(QIODevice::ReadOnly)) {
        file->body = in.readAll();
        if (received == 0)
            received = quint32(QFileInfo(in).lastModified().toSecsSinceEpoch());
    } else {
        file->body.clear();
    }
    file->timeReceived = received;
}

void ServiceMOT::buildObjectList()
{
    QReadLocker mapLocker(&m_objectMapLock);
    QWriteLocker listLocker(&m_objectListLock);
    if (!m_listDirty)
        return;
    m_listDirty = false;
    m_objectList.clear();
    for (MotFile *file : std::as_const(m_objects)) {
        ModalPointerLocker fileLocker(file);
        TemplateValue row;
        row << TemplateValue(QStringLiteral("filename"), file->name())
            << TemplateValue(QStringLiteral("received"), !file->body.isEmpty());
        m_objectList.append(row);
    }
}

void ServiceMOT::onDirectory(const MotDirectory *)
{
}

void ServiceMOT::onObjectChanged(MotFile *)
{
}

void ServiceMOT::onObjectUnchanged(MotFile *)
{
}

} // namespace ZOZ
