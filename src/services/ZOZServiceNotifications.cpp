// Notifications for the pages and the tray, and the one pending question.

#include "ZOZServiceNotifications.h"

#include "base/ZOZMainThreadServices.h"

#include <QDateTime>

namespace ZOZ {

namespace {

// Icons of the tray's bubble messages.
enum BubbleIcon { BubbleInformation = 1, BubbleWarning = 2, BubbleCritical = 3 };
constexpr int DefaultBubbleTimeoutMs = 5000;
// The answered action runs on the main thread, after the reply went out.
constexpr int ConfirmedCallDelayMs = 100;

} // namespace

void ServiceNotifications::addNotification(const QString &message, const QString &type, const int &duration,
                                           const bool &clickable, const QString &ID, const bool &withTimestamp,
                                           const bool &isZozOnly)
{
    if (message.isEmpty())
        return;

    const int timeout = duration < 0 ? DefaultBubbleTimeoutMs : duration * 1000;
    const bool isError = type == QLatin1String("error");
    const bool isWarning = type == QLatin1String("warning");
    switch (m_notifyBubbleMode.load()) {
    case 1:
        if (isError)
            emit requestBubbleMessage(message, BubbleCritical, timeout);
        break;
    case 2:
        if (isWarning)
            emit requestBubbleMessage(message, BubbleWarning, timeout);
        else if (isError)
            emit requestBubbleMessage(message, BubbleCritical, timeout);
        break;
    case 3:
        emit requestBubbleMessage(message, BubbleInformation, timeout);
        break;
    default:
        break;
    }

    QMutexLocker locker(&m_mutex);
    Notification entry;
    entry.id = ID;
    if (entry.id.isEmpty())
        entry.id = QString::number(m_nextNotificationId++);
    else
        m_notifications.removeIf([&](const Notification &old) { return old.id == entry.id; });
    entry.message = message;
    entry.type = type;
    entry.isZozOnly = isZozOnly;
    entry.timestamp = withTimestamp ? uint(QDateTime::currentSecsSinceEpoch()) : 0u;
    entry.duration = duration;
    entry.clickable = clickable;
    m_notifications << entry;
    const qsizetype excess = m_notifications.size() - MaxNotifications;
    if (excess > 0)
        m_notifications.remove(0, excess);
}

QVector<Notification> ServiceNotifications::notifications() const
{
    QMutexLocker locker(&m_mutex);
    return m_notifications;
}

void ServiceNotifications::clearNotification(const QString &id)
{
    QMutexLocker locker(&m_mutex);
    m_notifications.removeIf([&](const Notification &entry) { return entry.id == id; });
}

NotificationSnapshot ServiceNotifications::takeSnapshot()
{
    QMutexLocker locker(&m_mutex);
    NotificationSnapshot snapshot;
    snapshot.notifications = m_notifications;
    snapshot.question = m_messageText;
    snapshot.injectScripts.swap(m_injectScripts);
    return snapshot;
}

void ServiceNotifications::setMessage(const QString &text, QObject *confirmReceiver, const QByteArray &confirmSlot,
                                      QObject *cancelReceiver, const QByteArray &cancelSlot)
{
    if (!confirmReceiver || confirmSlot.isEmpty())
        return;
    QMutexLocker locker(&m_mutex);
    m_messageText = text;
    m_confirmReceiver = confirmReceiver;
    m_confirmSlot = confirmSlot;
    m_cancelReceiver = cancelReceiver;
    m_cancelSlot = cancelSlot;
}

QString ServiceNotifications::pendingMessage() const
{
    QMutexLocker locker(&m_mutex);
    return m_messageText;
}

void ServiceNotifications::answer(const QString &id, bool confirmed)
{
    DeferredCall call;
    QString declined;
    {
        QMutexLocker locker(&m_mutex);
        if (!m_messageText.isEmpty() && m_messageText == id) {
            // Answered once: a second answer to the same question finds nothing.
            m_messageText.clear();
            if (confirmed)
                call = {m_confirmReceiver.data(), m_confirmSlot, ConfirmedCallDelayMs};
            else
                call = {m_cancelReceiver.data(), m_cancelSlot, ConfirmedCallDelayMs};
            if (!confirmed)
                declined = id;
        }
    }
    if (!declined.isEmpty())
        emit questionDeclined(declined, call.slot);
    if (call.target && !call.slot.isEmpty())
        MainThreadServices::queueInvoke(call);
}

QString ServiceNotifications::lastSelectorId() const
{
    QMutexLocker locker(&m_mutex);
    return m_lastSelectorId;
}

void ServiceNotifications::setLastSelectorId(const QString &selectorId)
{
    QMutexLocker locker(&m_mutex);
    m_lastSelectorId = selectorId;
}

} // namespace ZOZ
