#include "ZOZEnsembleSource.h"

#include "ZOZReceiver.h"
#include "ZOZServiceManager.h"

#include <QCoreApplication>

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
    // The receiver's questions (scan required, no device, ...) go to the pages
    // as the manager's pending question; a missing cancel object means the
    // application.
    if (m_receiver) {
        m_receiver->setMessageSink([](const QString &text, QObject *confirmObject, const char *confirmSlot,
                                      QObject *cancelObject, const char *cancelSlot) {
            if (ServiceManager *manager = ServiceManager::existingInstance()) {
                manager->setMessage(text, confirmObject, QByteArray(confirmSlot),
                                    cancelObject ? cancelObject : QCoreApplication::instance(), QByteArray(cancelSlot));
            }
        });
    }
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
