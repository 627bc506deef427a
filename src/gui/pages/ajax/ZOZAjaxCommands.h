#pragma once

#include "ZOZAjaxTable.h"
#include "web/ZOZTemplateValue.h"

namespace ZOZ {

class Receiver;
class ServiceManager;
class Settings;
struct Notification;
struct ReceiverStatus;

// What the commands of the pages work on; the receiver is null when the
// ensembles come from elsewhere (tests).
struct AjaxContext
{
    ServiceManager *manager = nullptr;
    Receiver *receiver = nullptr;
    Settings *settings = nullptr;
};

// Each scope of commands adds its handlers from its own file.
void addServerInfoCommands(AjaxTable &table, const AjaxContext &context);   // ZOZAjaxServerInfo.cpp
void addReceiverCommands(AjaxTable &table, const AjaxContext &context);     // ZOZAjaxReceiver.cpp
void addSelectionCommands(AjaxTable &table, const AjaxContext &context);    // ZOZAjaxSelection.cpp
void addServiceListCommands(AjaxTable &table, const AjaxContext &context);  // ZOZAjaxServiceList.cpp

// The "receiver" object of the state poll.
TemplateValue receiverStatusValue(const ReceiverStatus &status); // ZOZAjaxReceiver.cpp
// The "notify" list of the state poll.
TemplateValue notificationsValue(const QVector<Notification> &notifications); // ZOZAjaxServerInfo.cpp

} // namespace ZOZ
