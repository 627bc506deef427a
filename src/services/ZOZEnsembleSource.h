#pragma once

#include "ZOZDabEnsemble.h"

#include <QObject>
#include <QVector>

namespace ZOZ {

class Receiver;
class Service;
class Settings;

// What the service manager needs of the receiver: its ensemble database, its
// two signals and the registration of the services' streams. The program
// uses the receiver singleton; tests hand in ensembles of their own.
class EnsembleSource
{
public:
    virtual ~EnsembleSource();

    // The object that emits dataReady() and signalScanMode(bool).
    virtual QObject *notifier() = 0;
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

// The receiver singleton, created with the source.
class ReceiverEnsembleSource : public EnsembleSource
{
public:
    ReceiverEnsembleSource();
    ~ReceiverEnsembleSource() override;

    QObject *notifier() override;
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
