// Notifications for the pages and the tray, the one pending question and the
// tray text.

#include "ZOZServiceManager.h"

#include "base/ZOZMainThreadServices.h"
#include "ZOZReceiver.h"
#include "ZOZService.h"
#include "ZOZServiceManagerPrivate.h"

#include <QCoreApplication>
#include <QDateTime>

namespace ZOZ {

namespace {

// Icons of the tray's bubble messages.
enum BubbleIcon { BubbleInformation = 1, BubbleWarning = 2, BubbleCritical = 3 };
constexpr int DefaultBubbleTimeoutMs = 5000;
// The answered action runs on the main thread, after the reply went out.
constexpr int ConfirmedCallDelayMs = 100;

} // namespace

void ServiceManager::addNotification(const QString &message, const QString &type, const int &duration,
                                     const bool &clickable, const QString &ID, const bool &withTimestamp,
                                     const bool &isZozOnly)
{
    if (message.isEmpty())
        return;

    const int timeout = duration < 0 ? DefaultBubbleTimeoutMs : duration * 1000;
    const bool isError = type == QLatin1String("error");
    const bool isWarning = type == QLatin1String("warning");
    switch (d->notes.notifyBubbleMode.load()) {
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

    NotificationState &notes = d->notes;
    QMutexLocker locker(&notes.messageMutex);
    QString id = ID;
    if (id.isEmpty())
        id = QString::number(notes.nextNotificationId++);
    else
        notes.notifications.removeListItems(QStringLiteral("ID"), id);

    const uint timestamp = withTimestamp ? uint(QDateTime::currentSecsSinceEpoch()) : 0u;
    TemplateValue entry;
    entry << TemplateValue(QStringLiteral("ID"), id)
          << TemplateValue(QStringLiteral("message"), message).setEscape(false)
          << TemplateValue(QStringLiteral("type"), type) << TemplateValue(QStringLiteral("isZozOnly"), isZozOnly)
          << TemplateValue(QStringLiteral("timestamp"), timestamp) << TemplateValue(QStringLiteral("duration"), duration)
          << TemplateValue(QStringLiteral("clickable"), clickable);
    notes.notifications << entry;
    notes.notifications.removeFirstListItems(notes.notifications.listChildren().size()
                                             - NotificationState::MaxNotifications);
}

TemplateValue ServiceManager::notifications() const
{
    QMutexLocker locker(&d->notes.messageMutex);
    return d->notes.notifications;
}

void ServiceManager::setNotifyBubbleMode(int mode)
{
    d->notes.notifyBubbleMode.store(mode);
}

int ServiceManager::notifyBubbleMode() const
{
    return d->notes.notifyBubbleMode.load();
}

void ServiceManager::setMessage(const QString &text, QObject *confirmReceiver, const QByteArray &confirmSlot,
                                QObject *cancelReceiver, const QByteArray &cancelSlot)
{
    if (!confirmReceiver || confirmSlot.isEmpty())
        return;
    NotificationState &notes = d->notes;
    QMutexLocker locker(&notes.messageMutex);
    notes.messageText = text;
    notes.confirmReceiver = confirmReceiver;
    notes.confirmSlot = confirmSlot;
    notes.cancelReceiver = cancelReceiver;
    notes.cancelSlot = cancelSlot;
}

bool ServiceManager::ajaxConfirmed(const HttpRequest &request, HttpResponse &response)
{
    const QString id = request.query.value(QStringLiteral("confirmed"));
    DeferredCall call;
    {
        NotificationState &notes = d->notes;
        QMutexLocker locker(&notes.messageMutex);
        if (!notes.messageText.isEmpty() && notes.messageText == id) {
            // Answered once: a second answer to the same question finds nothing.
            notes.messageText.clear();
            if (request.query.contains(QStringLiteral("yes")))
                call = {notes.confirmReceiver.data(), notes.confirmSlot, ConfirmedCallDelayMs};
            else
                call = {notes.cancelReceiver.data(), notes.cancelSlot, ConfirmedCallDelayMs};
        }
    }
    if (call.target && !call.slot.isEmpty())
        MainThreadServices::queueInvoke(call);
    response.body = QByteArrayLiteral("{\"success\":true}");
    return true;
}

// The receiver asks its questions on its own thread as well as on the main
// thread during start-up: both land under the message mutex, and the
// answers run later on the main thread through the deferred calls. The
// receiver is stopped before the manager's state goes away.
void ServiceManager::installReceiverSinks()
{
    Receiver *dab = receiver();
    if (!dab)
        return;
    dab->setMessageSink([this](const QString &text, QObject *confirmObject, const char *confirmSlot,
                               QObject *cancelObject, const char *cancelSlot) {
        // The receiver names no object for the application's own slots.
        QObject *cancel = cancelObject ? cancelObject : QCoreApplication::instance();
        setMessage(text, confirmObject, QByteArray(confirmSlot), cancelSlot ? cancel : nullptr,
                   QByteArray(cancelSlot));
    });
    dab->setNotificationSink([this](const QString &text, const QString &type, int seconds) {
        addNotification(text, type, seconds, false, QString(), true, false);
    });
}

QString ServiceManager::pendingMessage() const
{
    QMutexLocker locker(&d->notes.messageMutex);
    return d->notes.messageText;
}

void ServiceManager::announceServiceToolTip(Service *service)
{
    if (!service)
        return;
    emit announceTrayToolTip(QCoreApplication::translate("General", "Current Service: ") + service->label());
}

void ServiceManager::onSwitchMute()
{
    // Muting belongs to the audio output; without one there is nothing to switch.
}

} // namespace ZOZ
