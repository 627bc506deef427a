// The commands with which the service list page and its frame answer the
// player: dismiss a notification, answer the pending question, choose the
// list order and the favourites view.

#include "ZOZMainThreadServices.h"
#include "ZOZServiceManager.h"
#include "ZOZServiceManagerPrivate.h"

namespace ZOZ {

namespace {

constexpr int ConfirmedCallDelayMs = 100;
const QByteArray Acknowledged = "{\"success\":true}";

} // namespace

bool ServiceManager::ajaxClearNotify(const HttpRequest &request, HttpResponse &response)
{
    QMutexLocker locker(&d->notes.messageMutex);
    d->notes.notifications.removeListItems(QStringLiteral("ID"), request.query.value(QStringLiteral("clearNotify")));
    response.body = Acknowledged;
    return true;
}

bool ServiceManager::ajaxSetSortType(const HttpRequest &request, HttpResponse &response)
{
    bool ok = false;
    const int type = request.query.value(QStringLiteral("setSortType")).toInt(&ok, 10);
    if (ok)
        setSortType(type);
    response.body = Acknowledged;
    return true;
}

bool ServiceManager::ajaxSwitchFavourites(const HttpRequest &, HttpResponse &response)
{
    setSortFavouritesOnly(!isSortFavouritesOnly());
    response.body = Acknowledged;
    return true;
}

// The pages send the question's text back as its identifier; the answered
// action runs later on the main thread, never on this connection's thread.
bool ServiceManager::ajaxConfirmed(const HttpRequest &request, HttpResponse &response)
{
    QMutexLocker locker(&d->notes.messageMutex);
    NotificationState &notes = d->notes;
    const QString answered = request.query.value(QStringLiteral("confirmed"));
    if (!notes.messageText.isEmpty() && notes.messageText == answered) {
        notes.messageText.clear();
        if (request.query.contains(QStringLiteral("yes"))) {
            if (notes.confirmReceiver)
                MainThreadServices::queueInvoke({notes.confirmReceiver.data(), notes.confirmSlot, ConfirmedCallDelayMs});
        } else if (notes.cancelReceiver && !notes.cancelSlot.isEmpty()) {
            MainThreadServices::queueInvoke({notes.cancelReceiver.data(), notes.cancelSlot, ConfirmedCallDelayMs});
        }
    }
    response.body = Acknowledged;
    return true;
}

} // namespace ZOZ
