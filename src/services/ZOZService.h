#pragma once

#include "web/ZOZPageSource.h"
#include "base/ZOZPointer.h"
#include "settings/ZOZSettings.h"
#include "ZOZStreamConsumer.h"

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QRecursiveMutex>
#include <QString>
#include <QVector>

#include <array>
#include <atomic>

namespace ZOZ {

class ServiceManager;

// What the service manager knows about a new service when it creates it. The
// concrete service class writes its own name and shortname before it hands
// the record to Service::init.
struct ServiceDescriptor
{
    quint32 sourceFlags = 0;
    bool visible = true;
    bool encrypted = false;
    QByteArray extraData;
    qint32 serviceId = -1; // selector id
    qint32 ensembleIdentifier = -1;
    quint8 ecc = 0;
    quint8 countryId = 0;
    qint64 serviceIdentifier = -1;
    qint32 streamId = -1;
    quint16 shortId = 0xFFFF;
    quint16 componentId = 0xFFFF;
    quint16 componentIdS = 0xFFFF;
    quint16 packetId = 0xFFFF;
    bool packetMode = false;
    quint8 packetModeLength = 0;
    bool packetModeEnhanced = false;
    std::array<quint8, 2> fecSettings { 12, 188 };
    qint32 applicationId = -1;
    qint32 applicationType = -1;
    QString label;
    QString labelShort;
    QString labelExt;
    QString labelExtShort;
    QString componentLabel;
    QString componentLabelShort;
    QString ensembleLabel;
    QString ensembleLabelShort;
    QString name;
    QString shortname;
    QString language;
    QString country;
    QString programType;
};

// One announcement (traffic, news ...) as the manager hands it to a service.
struct Announcement
{
    enum System { Dab = 1, Drm = 2 };

    qint32 system = Dab;
    quint16 flags = 0;    // bit n: announcement type n
    quint32 start = 0;    // UNIX seconds the manager first saw it
    qint32 sid = -1;      // selector id of the carrying service
    bool ignored = false;
    quint8 clusterId = 0; // DAB only

    bool operator==(const Announcement &) const = default;
};

// How far the content of a data service has arrived.
struct ReceptionState
{
    bool complete = true;
    quint8 progress = 100; // percent
    quint32 startTime = 0;
    quint32 estimatedEnd = 0;
};

// The base of every audio and data service object: identity on air, labels,
// the flags the pages show, the secondary components (siblings) and data
// services (children) that belong to it, and its own web path below which it
// answers its pages (through the web layer). Reference counted; the service
// manager holds the references. The manager's worker thread changes it under the service-list
// write lock; data arrives on the receiver library's thread.
class Service : public QObject,
                public Pointer,
                public PageSource,
                public Settings::Listener,
                public StreamConsumer
{
    Q_OBJECT

public:
    // The selector id packs four bytes: ensemble, service, component, data.
    static int ensembleIndexOf(qint32 selectorId) { return (quint32(selectorId) >> 24) & 0xFF; }
    static int serviceIndexOf(qint32 selectorId) { return (quint32(selectorId) >> 16) & 0xFF; }
    static int componentIndexOf(qint32 selectorId) { return (quint32(selectorId) >> 8) & 0xFF; }
    static int dataIndexOf(qint32 selectorId) { return quint32(selectorId) & 0xFF; }

    explicit Service(const bool &isData);
    ~Service() override;

    // Cache hooks: the base passes each call on to the children, then the siblings.
    virtual void clearData();
    virtual void loadCache();
    virtual void saveCache();
    virtual void init(ServiceDescriptor &descriptor);
    virtual void receiveDlDataGroup(const uchar *data, const uint &length);
    virtual bool newTextMessage(const QString &text);
    virtual void dynamicLabelCommand(int command, const uchar &value);
    // Every piece of data delivered for the service (the receiver library's thread).
    void receiveData(int length, const uchar *const &data) override;
    virtual void stop(uint reason);
    virtual bool handlePacket(int length, const uchar *const &data);
    virtual ReceptionState *receptionProgress();
    virtual void retranslate();
    virtual void retranslateContent();

    // Setters: each returns true when the value changed.
    virtual bool setServiceComponentId(const quint16 &value);
    virtual bool setServiceComponentIdS(const quint16 &value);
    virtual bool setShortId(const quint16 &value);
    virtual bool setPacketId(const quint16 &value);
    virtual bool setStreamId(const int &value);
    virtual bool setServiceId(const int &value);
    virtual bool setServiceApplicationId(const int &value);
    virtual bool setServiceApplicationType(const int &value);
    virtual bool setEnsembleIdentifier(const int &value);
    virtual bool setServiceECC(const quint8 &value);
    virtual bool setServiceCountryId(const quint8 &value);
    virtual bool setServiceIdentifier(const qint64 &value);
    virtual bool setServiceLogo(const QString &value);
    virtual bool setServiceLabel(const QString &value);
    virtual bool setServiceLabelShort(const QString &value);
    virtual bool setServiceLabelExt(const QString &value);
    virtual bool setServiceLabelExtShort(const QString &value);
    virtual bool setServiceComponentLabel(const QString &value);
    virtual bool setServiceComponentLabelShort(const QString &value);
    virtual bool setServiceEnsembleLabel(const QString &value);
    virtual bool setServiceEnsembleLabelShort(const QString &value);
    virtual bool setServiceLanguage(const QString &value);
    virtual bool setServiceCountry(const QString &value);
    virtual bool setServiceType(const QString &value);

    virtual bool isVisible() const;
    // Whether data arrived for the service.
    virtual bool hasData() const { return isReceiving(); }
    // Called once at the end of init; data services open their decoders here.
    virtual void setup();
    // Called whenever the cache folder moved after init.
    virtual void reload();

    // Pointer
    void setMarked() override;
    // PageSource: the web path below which the service answers, and its preview image.
    QString pagePath() const override { return requestPath(); }
    int pageRefreshCycle() const override { return refreshCycle(); }
    bool answerPage(const PageRequest &request, PageAnswer &answer) override;
    void setPageCycleObserver(PageCycleObserver *observer) override;
    Pointer *pageReference() override { return this; }
    QString requestPath() const;
    void setRequestPath(const QString &path);
    // Moves when what the service's own page shows changed.
    int refreshCycle() const { return m_refreshCycle.load(std::memory_order_relaxed); }
    void setRefreshCycle(int cycle);
    // Settings::Listener
    void settingChanged(const QVector<int> &ids) override;
    // StreamConsumer: where the receiver finds the component on air. Read
    // when the manager attaches, detaches or selects the service, so always
    // with the identifiers of that moment.
    Location streamLocation() const override;
    Pointer *streamReference() override { return this; }

    bool setServiceIsFavourite(const bool &favourite);
    bool isServiceFavourite() const;
    bool setServiceIsPacketModeEnhanced(const bool &value);
    bool setPacketModeLength(const quint8 &value);
    void setFecSettings(const std::array<quint8, 2> &settings);
    bool setHasJournaline(const bool &value);
    void setServiceIsPresent(const bool &present);
    bool setServiceFlags(const quint16 &flags);
    bool setAnnouncements(QVector<Announcement> entries);
    QVector<Announcement> announcementEntries() const { return m_announcementEntries; }
    Service *child(const int &componentIndex, const int &dataIndex);
    void markDirty();
    void updatePaths();
    // UNIX seconds now.
    quint32 currentTime() const;

    static QString dataServiceTypeName(const int &code);
    // The caller holds the service-list lock; the vectors hold no references.
    QVector<Service *> &siblings() { return m_siblings; }
    QVector<Service *> &children() { return m_children; }
    const QVector<Service *> &siblings() const { return m_siblings; }
    const QVector<Service *> &children() const { return m_children; }

    QString subTitle() const;

    // The manager that made the service; null for one made without it.
    ServiceManager *manager() const { return m_manager; }
    // Read access for the manager, the receiver and the pages.
    bool isData() const { return m_isData; }
    bool isAudio() const { return !m_isData; }
    bool isPresent() const { return m_isPresent; }
    bool isReceiving() const { return m_isReceiving.load(std::memory_order_relaxed); }
    bool isAvailable() const { return m_isAvailable.load(std::memory_order_relaxed); }
    bool isFixed() const { return m_isFixed; }
    void setFixed(bool fixed) { m_isFixed = fixed; }
    bool isEncrypted() const { return m_descriptor.encrypted; }
    bool isPacketMode() const { return m_descriptor.packetMode; }
    bool isPacketModeEnhanced() const { return m_descriptor.packetModeEnhanced; }
    bool isJournaline() const { return m_isJournaline; }
    bool hasJournaline() const { return m_hasJournaline; }
    bool hasTextMessages() const { return m_hasTextMessages; }
    void setHasTextMessages(bool on) { m_hasTextMessages = on; }
    bool isRecording() const { return m_isRecording; }
    void setIsRecording(bool on) { m_isRecording = on; }
    bool isInitialised() const { return m_initialised; }
    quint32 sourceFlags() const { return m_descriptor.sourceFlags; }
    std::array<quint8, 2> fecSettings() const { return m_descriptor.fecSettings; }
    // The packet-mode decoder's Reed-Solomon frame of an enhanced packet stream.
    quint8 reedSolomonRows() const { return m_descriptor.fecSettings[0]; }
    quint8 reedSolomonColumns() const { return m_descriptor.fecSettings[1]; }
    // A packet-mode container stands for several packet services and has no
    // packet address of its own.
    bool hasOwnPacketAddress() const { return m_descriptor.shortname != QLatin1String("pmc"); }
    // Bits 2 and 3 of the source flags select the short packet header of other transports.
    quint32 transportFlags() const { return m_descriptor.sourceFlags; }
    quint16 serviceFlags() const { return m_serviceFlags; }
    quint32 instanceNumber() const { return m_instanceNumber; }
    QString instanceName() const { return m_instanceName; }
    qint32 serviceId() const { return m_descriptor.serviceId; }
    int ensembleIndex() const { return ensembleIndexOf(m_descriptor.serviceId); }
    qint32 ensembleIdentifier() const { return m_descriptor.ensembleIdentifier; }
    quint8 ecc() const { return m_descriptor.ecc; }
    quint8 countryId() const { return m_descriptor.countryId; }
    qint64 serviceIdentifier() const { return m_descriptor.serviceIdentifier; }
    qint32 streamId() const { return m_descriptor.streamId; }
    quint16 shortId() const { return m_descriptor.shortId; }
    quint16 componentId() const { return m_descriptor.componentId; }
    quint16 componentIdS() const { return m_descriptor.componentIdS; }
    quint16 packetId() const { return m_descriptor.packetId; }
    quint8 packetModeLength() const { return m_descriptor.packetModeLength; }
    qint32 applicationId() const { return m_descriptor.applicationId; }
    qint32 applicationType() const { return m_descriptor.applicationType; }
    QString singleViewPath() const { return m_singleViewPath; }
    QString globalId() const { return m_globalId; }
    QString cacheKey() const { return m_cacheKey; }
    QString cachePath() const { return m_cachePath; }
    QString logo() const { return m_logo; }
    QString label() const { return m_descriptor.label; }
    QString labelShort() const { return m_descriptor.labelShort; }
    QString labelExt() const { return m_descriptor.labelExt; }
    QString labelExtShort() const { return m_descriptor.labelExtShort; }
    QString componentLabel() const { return m_descriptor.componentLabel; }
    QString componentLabelShort() const { return m_descriptor.componentLabelShort; }
    QString ensembleLabel() const { return m_descriptor.ensembleLabel; }
    QString ensembleLabelShort() const { return m_descriptor.ensembleLabelShort; }
    QString name() const { return m_descriptor.name; }
    QString shortname() const { return m_descriptor.shortname; }
    QString language() const { return m_descriptor.language; }
    QString languageText() const { return m_languageText; }
    QString country() const { return m_descriptor.country; }
    QString countryText() const { return m_countryText; }
    QString programType() const { return m_descriptor.programType; }
    QString programTypeText() const { return m_programTypeText; }
    QString textMessage() const;
    const ServiceDescriptor &descriptor() const { return m_descriptor; }
    QString audioStreamPath() const { return m_audioStreamPath; }
    void setAudioStreamPath(const QString &path) { m_audioStreamPath = path; }
    QString audioClassification() const { return m_audioClassification; }
    void setAudioClassification(const QString &text) { m_audioClassification = text; }
    QString source() const { return m_source; }
    void setSource(const QString &text) { m_source = text; }
    QByteArray extraData() const { return m_descriptor.extraData; }

signals:
    void newTextMessage();

public slots:
    void receiveCheckTimeout();

protected:
    // Answers with a file of the web content (the style root's or the built-in one).
    bool answerResource(const QString &resource, const QString &mimeType, PageAnswer &answer) const;

    QRecursiveMutex m_mutex;
    ReceptionState m_receptionState;

private:
    mutable QMutex m_pageMutex; // guards the two below
    QString m_requestPath;
    PageCycleObserver *m_cycleObserver = nullptr;
    std::atomic<int> m_refreshCycle { 0 };

private:
    QString idText() const;
    void logChange(const QString &what, const QString &value, const QString &before, bool deviceLine);
    void releaseInstanceNumber();
    void assignInstanceNumber();
    template <typename T>
    bool setNumber(T &member, const T &value, const char *what, bool deviceLine, bool refreshPaths);
    bool setText(QString &member, const QString &value, const char *what);
    bool setTranslated(QString &key, QString &text, const QString &value, const char *context, const char *what,
                       bool showTranslation);

    ServiceManager *m_manager = nullptr;
    Settings *m_settings = nullptr;
    // Identity on air, labels and the raw language, country and type keys;
    // the manager keeps it in line with the ensemble database through the
    // setters. Before init nothing is known, not even the FEC frame.
    ServiceDescriptor m_descriptor;
    void *m_handle = nullptr;
    bool m_hasTextMessages = false;
    bool m_isRecording = false;
    bool m_initialised = false;
    QString m_textMessage;
    QString m_source;
    std::atomic<bool> m_isReceiving { false };
    bool m_isPresent = true;
    bool m_isData = false;
    bool m_isFixed = false;
    std::atomic<bool> m_isAvailable { false };
    bool m_isJournaline = false;
    bool m_hasJournaline = false;
    quint32 m_instanceNumber = 0;
    QString m_instanceName;
    QString m_singleViewPath;
    QString m_globalId;
    QString m_cacheKey;
    QString m_cachePath;
    QString m_logo;
    QString m_languageText;
    QString m_countryText;
    QString m_programTypeText;
    QString m_audioStreamPath;
    QString m_audioClassification;
    quint16 m_serviceFlags = 0;
    QVector<Announcement> m_announcementEntries;
    QVector<Service *> m_siblings;
    QVector<Service *> m_children;
};

} // namespace ZOZ
