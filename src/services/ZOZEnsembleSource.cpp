#include "ZOZEnsembleSource.h"

#include "ZOZReceiver.h"

namespace ZOZ {

EnsembleSource::~EnsembleSource() = default;

// A receiver made and set up before the manager is used as it is.
ReceiverEnsembleSource::ReceiverEnsembleSource()
    : m_receiver(Receiver::existingInstance() ? Receiver::existingInstance() : Receiver::instance())
{
}

ReceiverEnsembleSource::~ReceiverEnsembleSource()
{
    shutdown();
}

QObject *ReceiverEnsembleSource::notifier()
{
    return m_receiver;
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

// The receiver does not hand sub-channel data to services yet: its stream
// handlers and component selection come with the packet-mode side.
void ReceiverEnsembleSource::attachStreamHandler(Service *, bool)
{
}

void ReceiverEnsembleSource::detachStreamHandler(Service *)
{
}

void ReceiverEnsembleSource::selectServiceComponents(const QVector<Service *> &)
{
}

void ReceiverEnsembleSource::shutdown()
{
    if (!m_receiver)
        return;
    m_receiver = nullptr;
    Receiver::destroyInstance();
}

} // namespace ZOZ
