#include "ZOZEnsembleSource.h"

#include "ZOZReceiver.h"
#include "ZOZService.h"

namespace ZOZ {

EnsembleSource::~EnsembleSource() = default;

// A receiver made and set up before the manager is used as it is.
ReceiverEnsembleSource::ReceiverEnsembleSource(Receiver *receiver)
    : m_receiver(receiver                         ? receiver
                 : Receiver::existingInstance() ? Receiver::existingInstance()
                                                : Receiver::instance())
{
}

ReceiverEnsembleSource::~ReceiverEnsembleSource()
{
    shutdown();
}

void ReceiverEnsembleSource::connectNotifier(std::function<void()> dataReady, std::function<void(bool)> scanMode,
                                             QObject *context)
{
    if (!m_receiver)
        return;
    QObject::connect(m_receiver, &Receiver::dataReady, context, std::move(dataReady));
    QObject::connect(m_receiver, &Receiver::signalScanMode, context, std::move(scanMode));
}

void ReceiverEnsembleSource::setNoticeSinks(MessageSink messages, NotificationSink notifications)
{
    if (!m_receiver)
        return;
    m_receiver->setMessageSink(std::move(messages));
    m_receiver->setNotificationSink(std::move(notifications));
}

bool ReceiverEnsembleSource::init(Settings *settings)
{
    if (!m_receiver || !m_receiver->init(settings)) {
        shutdown();
        return false;
    }
    return true;
}

void ReceiverEnsembleSource::start()
{
    if (m_receiver)
        m_receiver->start(QThread::InheritPriority);
}

QVector<DabEnsemble> ReceiverEnsembleSource::getEnsembles()
{
    return m_receiver ? m_receiver->getEnsembles() : QVector<DabEnsemble>();
}

// The receiver's handlers and its selection hold their own counted
// references on the services, so the manager may drop a service while the
// library still delivers to it; the flag only matters to other receivers.
void ReceiverEnsembleSource::attachStreamHandler(Service *service, bool)
{
    if (m_receiver && service)
        m_receiver->attachStreamHandler(service);
}

void ReceiverEnsembleSource::detachStreamHandler(Service *service)
{
    if (m_receiver && service)
        m_receiver->detachStreamHandler(service);
}

void ReceiverEnsembleSource::selectServiceComponents(const QVector<Service *> &services)
{
    if (!m_receiver)
        return;
    QVector<StreamConsumer *> consumers;
    consumers.reserve(services.size());
    for (Service *service : services) {
        if (service)
            consumers << service;
    }
    m_receiver->selectServiceComponents(consumers);
}

void ReceiverEnsembleSource::shutdown()
{
    if (!m_receiver)
        return;
    m_receiver = nullptr;
    Receiver::destroyInstance();
}

} // namespace ZOZ
