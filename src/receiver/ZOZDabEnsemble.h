#pragma once

#include "ZOZClock.h"

#include <QByteArray>
#include <QDataStream>
#include <QMap>
#include <QMutex>
#include <QString>
#include <QVector>

#include <array>
#include <map>
#include <memory>

struct FicDecoder;

namespace ZOZ {

// Records the receiver builds from the FIC of every ensemble it found. All of
// them are plain values; -1 means "unknown". The receiver keeps the live
// records, everyone else works on copies.

class DabUserApplication
{
public:
    bool valid = false;
    bool changed = false;
    Stamp lastSeen;
    qint16 type = -1;          // user application type, 11 bits
    qint16 packetAddress = -1; // packet address of its component, -1 for none
    QByteArray data;           // user application data bytes
    qint32 dscTy = -1;         // data service component type of the application

    bool operator==(const DabUserApplication &other) const; // stored fields only
};

class DabServiceComponent
{
public:
    DabServiceComponent() = default;
    void clear() { *this = DabServiceComponent(); }

    bool valid = false;
    bool changed = false;
    Stamp lastSeen;
    qint64 serviceId = -1;
    bool isPacketMode = false;
    qint16 packetAddress = -1; // 0xFFFF: none
    qint32 subChId = -1;
    qint32 bitRate = -1;       // units of 8 kbit/s
    qint32 scId = -1;
    qint32 scIdS = -1;
    qint32 dscTy = -1;
    QString label;
    QString shortLabel;
    QString languageName;
    bool audio = false;
    bool audioChanged = false;
    Stamp audioSeen;
    bool dabPlus = false;
    bool dabPlusAudio = false;
    QVector<DabUserApplication> userApplications;
    bool organisationChanged = true;
    bool subChannelChanged = false;
    // What the receiver library needs to start the sub-channel.
    quint16 cuStart = 0;
    quint16 cuCount = 0;
    bool isEep = false;
    quint8 uepIndex = 0;
    quint8 uepLevel = 0;
    quint8 protectionCode = 0; // EEP: option x 4 + level
    quint8 fecScheme = 0;

    bool operator==(const DabServiceComponent &other) const; // stored fields only
};

class DabService
{
public:
    DabService() = default;
    void clear();

    bool valid = false;
    bool changed = false;
    Stamp lastSeen;
    qint64 serviceId = -1;
    quint8 ecc = 0;
    quint8 countryId = 0;
    QString label;
    QString shortLabel;
    QString extendedLabel;
    QString extendedShortLabel;
    QString countryName;
    QString extraText;
    QString programmeTypeName;
    DabServiceComponent primary;
    QVector<DabServiceComponent> components;
    QMap<quint16, QByteArray> announcementSupport; // ASu flags -> cluster ids

    bool operator==(const DabService &other) const; // stored fields only
};

// Announcement switching entry, keyed by SubChId x 256 + cluster id.
struct DabAnnouncement
{
    quint8 clusterId = 0;
    quint16 aswFlags = 0;
    quint8 subChId = 0;
    bool isNew = false;
    quint8 regionId = 0xFF; // 0xFF: no region
};

// Collection state of one extended (segmented) label.
struct DabLabelSegments
{
    static constexpr int MaxSegments = 8;

    qint8 toggle = -1; // -1 after a reset
    std::array<bool, MaxSegments> received {};
    int receivedCount = 0;
    std::array<QByteArray, MaxSegments> segments;
    QString text;
    QString shortText;
};

// Date and time from FIG 0/10, shared by the receiver with every ensemble.
class DabDateTime
{
public:
    void set(quint32 utcSeconds);
    quint32 utcSeconds() const;
    qint64 msSinceUpdate() const;

private:
    mutable QMutex m_mutex;
    quint32 m_utcSeconds = 0;
    Stamp m_updated;
};

class DabLabelRecord
{
public:
    QString text;
    QVector<QString> items;
};

// A service that moved to another ensemble and is not taken from this one.
struct DabEnsembleCacheEntry
{
    qint32 ensembleId = -1;
    qint64 serviceId = -1;

    bool operator==(const DabEnsembleCacheEntry &other) const = default;
};

class DabEnsemble
{
public:
    static constexpr int LabelSegmentSlots = 5;
    static constexpr int ExtendedLabelSlot = 1; // the FIG 2/1 collection

    explicit DabEnsemble(int gridIndex = -1);
    ~DabEnsemble();
    // A copy is a snapshot: it never takes the FIC decoder, which stays with
    // the record that created it, so no copy can free or use it.
    DabEnsemble(const DabEnsemble &other);
    DabEnsemble &operator=(const DabEnsemble &other);

    void clear();
    bool createFicDecoder();
    void freeFicDecoder();
    FicDecoder *ficDecoderInstance() const { return ficDecoder; }
    void resolveChannel();
    void clearChanged();
    void touch();

    qint32 index = -1;
    qint32 gridIndex = -1;
    bool channelResolved = false;
    bool valid = false;
    bool changed = false;
    Stamp lastSeen;
    qint32 ensembleId = -1;
    QString label;
    QString shortLabel;
    qint32 frequency = 0; // kHz
    std::array<qint32, 2> walkerIds { -1, -1 };
    std::array<qint32, 2> walkerCounts { 0, 0 };
    quint8 walkerFlag = 0;
    bool useDefaults = false;
    bool figResetPending = false;
    QByteArray rawData;
    QVector<DabService> services;
    quint8 alarmFlag = 0;
    QMap<quint32, DabAnnouncement> announcements;
    QVector<QMap<qint64, DabLabelSegments>> labelSegments;
    qint32 figPushes = 0;
    qint32 figPushErrors = 0;
    qint32 fibPushes = 0;
    qint32 fibPushErrors = 0;
    bool forceUpdate = false;
    qint32 lastChangeCounter = -1;
    qint32 lastFigCount[3][32];
    DabDateTime *dateTime = nullptr;

    // Equal in every field the ensemble cache stores.
    bool storedFieldsEqual(const DabEnsemble &other) const;

private:
    void copyFrom(const DabEnsemble &other);

    FicDecoder *ficDecoder = nullptr; // owned, see the copy constructor
};

// The receiver's ensemble database: records keyed by their flat channel
// index, owned by the map.
using DabEnsembleMap = std::map<int, std::unique_ptr<DabEnsemble>>;

} // namespace ZOZ
