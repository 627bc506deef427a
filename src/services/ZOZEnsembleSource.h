#pragma once

#include "ZOZDabEnsemble.h"

#include <QObject>
#include <QVector>

#include <functional>

namespace ZOZ {

class Receiver;
class Service;
class Settings;

// What the service manager needs of the receiver: its ensemble database, its
// two signals, its questions and notices, and the registration of the
// services' streams. The program hands in its receiver; tests hand in
// ensembles of their own.
class EnsembleSource
{
public:
    virtual ~EnsembleSource();

    using MessageSink = std::function<void(const QString &text, QObject *confirmObject, const char *confirmSlot,
                                           QObject *cancelObject, const char *cancelSlot)>;
    using NotificationSink = std::function<void(const QString &text, const QString &type, int seconds)>;

    // Calls `dataReady` when the database changed and `scanMode` when a scan
    // starts or ends, on the thread of `context`, while `context` lives.
    virtual void connectNotifier(std::function<void()> dataReady, std::function<void(bool)> scanMode,
                                 QObject *context) = 0;
    // Where the receiver's questions and notices go; it may ask on any thread.
    virtual void setNoticeSinks(MessageSink messages, NotificationSink notifications) = 0;
    virtual bool init(Settings *settings) = 0;
    virtual void start() = 0;
    // A copy of the ensemble database.
    virtual QVector<DabEnsemble> getEnsembles() = 0;
    virtual void attachStreamHandler(Service *service, bool flag) = 0;
    virtual void detachStreamHandler(Service *service) = 0;
    // Replaces the services whose components are received.
    virtual void selectServiceComponents(const QVector<Service *> &services) = 0;
    // Stops and deletes the receiver; nothing is called afterwards.
    virtual void shutdown() = 0;
};

// The program's receiver: the one handed in, or the singleton. Shutting
// down destroys the singleton.
class ReceiverEnsembleSource : public EnsembleSource
{
public:
    explicit ReceiverEnsembleSource(Receiver *receiver = nullptr);
    ~ReceiverEnsembleSource() override;

    void connectNotifier(std::function<void()> dataReady, std::function<void(bool)> scanMode,
                         QObject *context) override;
    void setNoticeSinks(MessageSink messages, NotificationSink notifications) override;
    bool init(Settings *settings) override;
    void start() override;
    QVector<DabEnsemble> getEnsembles() override;
    void attachStreamHandler(Service *service, bool flag) override;
    void detachStreamHandler(Service *service) override;
    void selectServiceComponents(const QVector<Service *> &services) override;
    void shutdown() override;

    Receiver *receiver() const { return m_receiver; }

private:
    Receiver *m_receiver = nullptr;
};

} // namespace ZOZ
