// The commands with which the service list page and its frame answer the
// player: dismiss a notification, choose the list order and the favourites
// view. The pending question is answered in ZOZServiceManagerNotify.cpp.

#include "ZOZServiceManager.h"
#include "ZOZServiceManagerPrivate.h"

namespace ZOZ {

namespace {

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

} // namespace ZOZ
