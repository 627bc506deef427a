// The commands with which the service list page and its frame answer the
// player: dismiss a notification, choose the list order and the favourites
// view, answer the pending question.

#include "ZOZAjaxCommands.h"

#include "ZOZServiceManager.h"

namespace ZOZ {

namespace {

const QByteArray Acknowledged = "{\"success\":true}";

} // namespace

void addServiceListCommands(AjaxTable &table, const AjaxContext &context)
{
    ServiceManager *manager = context.manager;
    table.setHandler(QStringLiteral("clearNotify"), [manager](const HttpRequest &request, HttpResponse &response) {
        manager->notes().clearNotification(request.query.value(QStringLiteral("clearNotify")));
        response.body = Acknowledged;
        return true;
    });
    table.setHandler(QStringLiteral("setSortType"), [manager](const HttpRequest &request, HttpResponse &response) {
        bool ok = false;
        const int type = request.query.value(QStringLiteral("setSortType")).toInt(&ok, 10);
        if (ok)
            manager->setSortType(type);
        response.body = Acknowledged;
        return true;
    });
    table.setHandler(QStringLiteral("switchFavourites"), [manager](const HttpRequest &, HttpResponse &response) {
        manager->setSortFavouritesOnly(!manager->isSortFavouritesOnly());
        response.body = Acknowledged;
        return true;
    });
    table.setHandler(QStringLiteral("confirmed"), [manager](const HttpRequest &request, HttpResponse &response) {
        manager->notes().answer(request.query.value(QStringLiteral("confirmed")),
                                request.query.contains(QStringLiteral("yes")));
        response.body = Acknowledged;
        return true;
    });
}

} // namespace ZOZ
