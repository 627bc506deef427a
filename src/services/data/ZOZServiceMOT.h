#pragma once

#include "ZOZService.h"
#include "DabMotDecoder.h"
#include "web/ZOZTemplateValue.h"

#include <QElapsedTimer>
#include <QMap>
#include <QReadWriteLock>
#include <QRecursiveMutex>
#include <QSet>
#include <QSettings>

#include <memory>
#include <vector>

struct DabMotDecoder;
struct MotDirectory;

namespace ZOZ {

class MotFile;

// The base of the data services whose MOT carousel comes with a directory
// (Broadcast Website, SPI): it requests every object the directory names,
// keeps them by name, rewrites the links of HTML objects so that they stay
// below the service's web path, stores them in the service's cache folder
// with the index "__ZOZ_FILES.ini" and restores them at start. Derived
// services react through the three hooks, which run on the data thread
// inside the decoder call.
//
// Lock order: decoder mutex → object map → an object's own lock; the object
// list has its own lock, taken after the map's.
class ServiceMOT : public Service
{
    Q_OBJECT

public:
    static const QString IndexFileName; // "__ZOZ_FILES.ini"

    ServiceMOT(ServiceDescriptor &descriptor, uint32_t entityBufferSize);
    ~ServiceMOT() override;

    void clearData() override;
    void loadCache() override;
    bool handlePacket(int length, const uchar *const &data) override;
    void setup() override;
    void reload() override;

    // The name an object is kept and stored under: the ContentName with "\"
    // as "/", unusual characters as "_", and no empty, "." or ".." segment,
    // so that it cannot leave the cache folder. Empty when nothing is left.
    static QString objectName(const MotHeader &header);
    // The same rules for a name given as text.
    static QString safeName(const QString &text);
    // The file of `name` in `folder`, or empty when the name would lead
    // outside the folder (also through a link) or is the index itself.
    static QString cacheFilePath(const QString &folder, const QString &name);

    // Rebuilds the object list when it is dirty.
    void buildObjectList();
    // The object list: one map per object, in name order, with "filename"
    // and "received". Read under objectListLock().
    const QVector<TemplateValue> &objectList() const { return m_objectList; }
    QReadWriteLock &objectListLock() { return m_objectListLock; }
    QReadWriteLock &objectMapLock() { return m_objectMapLock; }
    // Read under objectMapLock(); each value holds one reference.
    const QMap<QString, MotFile *> &objects() const { return m_objects; }

    // Writes one object's body and its index group; the caller holds the object lock.
    void storeObject(MotFile *file, const QString &folder);
    // Reads one object's index group (`index` is inside it) and its body file.
    void loadObject(MotFile *file, const QString &folder, const QString &name, QSettings &index);

    // The objects received since the current directory arrived, and the directory's count.
    int receivedObjects() const;
    int directoryObjects() const;

protected:
    // Called with the decoder's directory (or null) on every decoder callback.
    virtual void onDirectory(const MotDirectory *directory);
    // A new or changed object; its lock is held.
    virtual void onObjectChanged(MotFile *file);
    // An object received again with the same bytes; its lock is held.
    virtual void onObjectUnchanged(MotFile *file);

    // Deliveries request the object again at once (the programme guide
    // follows each new version); off by default.
    bool m_reRequest = false;
    // Received objects are written to the cache folder; on by default.
    bool m_storeObjects = true;

    // The decoder's current directory, null while there is none; under the decoder mutex.
    const MotDirectory *currentDirectory();

private:
    struct FreeDeleter
    {
        void operator()(void *memory) const;
    };

    static int onData(const uint8_t *object, uint32_t size, const MotHeader *header, void *context);
    int handleData(const MotHeader *header);
    int handleDirectory(const MotDirectory *directory);
    int handleObject(const MotHeader &header);
    enum class Request { Made, OnItsWay, Deferred, Refused };
    // A waiting request: the directory entry's header, its MIME text kept here.
    struct WaitingRequest
    {
        QString name;
        MotHeader header;
        QByteArray mime;
    };

    // The caller holds the object map's write lock and the object's lock.
    Request requestFile(MotFile *file, const MotHeader &header);
    void requestWaiting();
    void updateProgress(quint32 now);
    bool hasPhysicalCache() const;
    // Starts the decoder afresh: every request and buffer it held is given up.
    void resetDecoder();
    void rewriteLinks(QByteArray &data) const;
    // The open index of the folder; written when closed.
    QSettings &indexFile(const QString &folder);
    void closeIndex();

    mutable QRecursiveMutex m_decoderMutex; // the decoder, its buffers, the requests and the counts below
    std::unique_ptr<DabMotDecoder, FreeDeleter> m_decoder;
    std::vector<uint8_t> m_entity;
    // Request buffers of objects whose transport id changed while they were
    // being received: the decoder may still write into them until it starts afresh.
    std::vector<std::vector<uint8_t>> m_retired;
    quint64 m_outstandingBytes = 0;
    bool m_resetNeeded = false;
    QList<WaitingRequest> m_waiting; // directory entries not requested yet, in order
    int m_directoryObjects = 0;
    int m_directoryId = -1;
    QSet<QString> m_received; // names received under the current directory
    std::unique_ptr<QSettings> m_index;
    QElapsedTimer m_indexSync;

    QReadWriteLock m_objectMapLock;
    QMap<QString, MotFile *> m_objects;
    bool m_listDirty = true;
    QReadWriteLock m_objectListLock;
    QVector<TemplateValue> m_objectList;
};

} // namespace ZOZ
