#pragma once

#include "ZOZAjaxTable.h"
#include "ZOZPageHost.h"
#include "web/ZOZTemplateValue.h"

#include <QMutex>

#include <functional>

namespace ZOZ {

class Receiver;
class Scheduler;
class ServiceManager;
class Settings;
struct Notification;
struct ReceiverStatus;

// The parts above the pages, which the application hands over after the
// pages exist and takes back before they go. Commands use them under the
// lock, so that a part is never taken away while a command uses it.
class PageLinks
{
public:
    void setHost(PageHost *host);
    void setAudio(AudioControl *audio);
    // Runs `use` with the part, or returns false when there is none.
    bool withHost(const std::function<void(PageHost &)> &use) const;
    bool withAudio(const std::function<void(AudioControl &)> &use) const;
    bool hasAudio() const;

private:
    mutable QMutex m_mutex;
    PageHost *m_host = nullptr;
    AudioControl *m_audio = nullptr;
};

// What the commands of the pages work on; the receiver is null when the
// ensembles come from elsewhere (tests), the scheduler when there is none.
struct AjaxContext
{
    ServiceManager *manager = nullptr;
    Receiver *receiver = nullptr;
    Settings *settings = nullptr;
    const PageLinks *links = nullptr;
    Scheduler *scheduler = nullptr;
};

// Each scope of commands adds its handlers from its own file.
void addServerInfoCommands(AjaxTable &table, const AjaxContext &context);   // ZOZAjaxServerInfo.cpp
void addReceiverCommands(AjaxTable &table, const AjaxContext &context);     // ZOZAjaxReceiver.cpp
void addSelectionCommands(AjaxTable &table, const AjaxContext &context);    // ZOZAjaxSelection.cpp
void addServiceListCommands(AjaxTable &table, const AjaxContext &context);  // ZOZAjaxServiceList.cpp
void addFrontEndCommands(AjaxTable &table, const AjaxContext &context);     // ZOZAjaxFrontEnd.cpp
void addAudioCommands(AjaxTable &table, const AjaxContext &context);        // ZOZAjaxAudio.cpp
void addApplicationCommands(AjaxTable &table, const AjaxContext &context);  // ZOZAjaxApplication.cpp
void addSchedulerCommands(AjaxTable &table, const AjaxContext &context);    // ZOZAjaxScheduler.cpp
void addSpiCommands(AjaxTable &table, const AjaxContext &context);          // ZOZAjaxSpi.cpp

// Whether a URL sent by a page may be handed to the desktop: a valid URL of
// one of the schemes http, https, mailto and tel.
bool isAllowedExternalUrl(const QUrl &url); // ZOZAjaxApplication.cpp
// A device's product name as the device list shows it: at most 31 characters,
// and a cut name that does not end in ")" gets "..)".
QString deviceEntryName(const QString &productName); // ZOZAjaxApplication.cpp

// The "receiver" object of the state poll.
TemplateValue receiverStatusValue(const ReceiverStatus &status); // ZOZAjaxReceiver.cpp
// The "notify" list of the state poll.
TemplateValue notificationsValue(const QVector<Notification> &notifications); // ZOZAjaxServerInfo.cpp

} // namespace ZOZ
