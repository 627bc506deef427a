// The ajax commands with which the pages choose what is heard.

#include "ZOZAjaxCommands.h"

#include "base/ZOZLog.h"
#include "ZOZService.h"
#include "base/ZOZPointer.h"
#include "ZOZServiceManager.h"
#include "settings/ZOZSettings.h"

#include <QCoreApplication>

namespace ZOZ {

namespace {

constexpr quint32 LogManager = LogSource::ServiceManager;
constexpr quint32 LogManagerWarning = LogSource::ServiceManager | LogFlag::Warning;

const QByteArray Success = QByteArrayLiteral("{\"success\":true}");
const QByteArray Failure = QByteArrayLiteral("{\"success\":false}");

constexpr int RecordingWarningSeconds = 5;

bool parseDecimal(const QString &text, int &value)
{
    bool ok = false;
    value = text.toInt(&ok, 10);
    return ok;
}

// A selector id is -1 or four bytes; any other negative number names the
// highest ensemble, whose service index 255 can never be filled.
bool parseSelector(const QString &text, qint32 &selectorId)
{
    int value = 0;
    if (!parseDecimal(text, value))
        return false;
    selectorId = value;
    return true;
}

// Service identifiers are 16 or 32 bits; pages send them as unsigned or signed decimal.
bool parseServiceIdentifier(const QString &text, int &identifier)
{
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok, 10);
    if (!ok || value < qlonglong(INT_MIN) || value > qlonglong(UINT_MAX))
        return false;
    identifier = int(quint32(value));
    return true;
}

QString selectorText(qint32 selectorId)
{
    return QStringLiteral("%1,%2,%3,%4")
        .arg(Service::ensembleIndexOf(selectorId))
        .arg(Service::serviceIndexOf(selectorId))
        .arg(Service::componentIndexOf(selectorId))
        .arg(Service::dataIndexOf(selectorId));
}

void warn(const QString &message)
{
    ZOZ_LOG(LogManagerWarning, QStringLiteral("ServiceManager::httpAjaxRequest() -> warning: ") + message);
}

// The selector id of the command `key`; a bad one is logged as "<request> request
// with bad parameter" and answered as a failure.
bool readSelector(const HttpRequest &request, const QString &key, const char *requestName, qint32 &selectorId,
                  HttpResponse &response)
{
    const QString text = request.query.value(key);
    if (parseSelector(text, selectorId))
        return true;
    warn(QStringLiteral("%1 request with bad parameter (SID: %2)").arg(QLatin1String(requestName), text));
    response.body = Failure;
    return false;
}

// Reads the selector of the command `key`, logs "<request> request" and answers
// success; false when the selector was bad and the failure already answered.
bool readLoggedSelector(const HttpRequest &request, const QString &key, const char *requestName, qint32 &selectorId,
                        HttpResponse &response)
{
    if (!readSelector(request, key, requestName, selectorId, response))
        return false;
    ZOZ_LOG(LogManager, QStringLiteral("ServiceManager::httpAjaxRequest() -> %1 request (SID: %2)")
                            .arg(QLatin1String(requestName), selectorText(selectorId)));
    response.body = Success;
    return true;
}

// The commands run on the service manager, which takes its own locks.
class SelectionCommands
{
public:
    SelectionCommands(ServiceManager *manager, Settings *settings)
        : m_manager(manager)
        , m_settings(settings)
    {
    }

    bool readLabel(const HttpRequest &request, HttpResponse &response);
    bool selectService(const HttpRequest &request, HttpResponse &response);
    bool selectServiceById(const HttpRequest &request, HttpResponse &response);
    bool selectServiceDirected(const HttpRequest &request, HttpResponse &response);
    bool selectAnnouncement(const HttpRequest &request, HttpResponse &response);
    bool ignoreAnnouncements(const HttpRequest &request, HttpResponse &response);
    bool setServiceFavourite(const HttpRequest &request, HttpResponse &response);

private:
    // Runs `action` on the service `selectorId` names and releases it; a missing one answers failure.
    void applyToService(qint32 selectorId, HttpResponse &response, const std::function<void(Service *)> &action);
    void setLastSelectorId(const HttpRequest &request);
    bool refuseWhileRecording(HttpResponse &response);

    ServiceManager *m_manager;
    Settings *m_settings;
};

void SelectionCommands::applyToService(qint32 selectorId, HttpResponse &response,
                                    const std::function<void(Service *)> &action)
{
    Service *service = m_manager->findService(selectorId, -1, -1);
    if (!service) {
        response.body = Failure;
        return;
    }
    action(service);
    service->release();
}

void SelectionCommands::setLastSelectorId(const HttpRequest &request)
{
    m_manager->notes().setLastSelectorId(request.query.value(QStringLiteral("selectorID")));
}

bool SelectionCommands::refuseWhileRecording(HttpResponse &response)
{
    if (!m_settings || !m_settings->isAudioRecording())
        return false;
    m_manager->addNotification(QStringLiteral("<b>")
                        + QCoreApplication::translate("General", "You may not select another service while recording is active!")
                        + QStringLiteral("</b>"),
                    QStringLiteral("error"), RecordingWarningSeconds, true, QStringLiteral("recording-warning"), false,
                    false);
    response.body = Failure;
    return true;
}

bool SelectionCommands::readLabel(const HttpRequest &request, HttpResponse &response)
{
    qint32 selectorId = -1;
    if (!readLoggedSelector(request, QStringLiteral("readLabel"), "readLabel", selectorId, response) || selectorId == -1)
        return true;
    applyToService(selectorId, response, [this](Service *service) { m_manager->playSpokenLabel(service, true); });
    return true;
}

bool SelectionCommands::selectService(const HttpRequest &request, HttpResponse &response)
{
    qint32 selectorId = -1;
    if (!readSelector(request, QStringLiteral("selectService"), "select service", selectorId, response))
        return true;
    if (refuseWhileRecording(response))
        return true;
    const bool ignoreSpokenLabel = request.query.contains(QStringLiteral("ignoreSpokenLabel"));
    setLastSelectorId(request);
    ZOZ_LOG(LogManager, QStringLiteral("ServiceManager::httpAjaxRequest() -> select service request (SID: %1)")
                            .arg(selectorText(selectorId)));
    response.body = Success;
    if (selectorId == m_manager->selectedServiceId())
        return true;
    if (selectorId == -1) {
        m_manager->selectService(nullptr, false);
        return true;
    }
    const bool found = m_manager->withService(selectorId, [this, ignoreSpokenLabel](Service *service) {
        PointerLocker hold(service);
        m_manager->selectService(service, ignoreSpokenLabel);
    });
    if (!found)
        response.body = Failure;
    return true;
}

bool SelectionCommands::selectServiceById(const HttpRequest &request, HttpResponse &response)
{
    const QString text = request.query.value(QStringLiteral("selectServiceById"));
    int identifier = 0;
    if (!parseServiceIdentifier(text, identifier)) {
        warn(QStringLiteral("select service request with bad parameter (sId: %1)").arg(text));
        response.body = Failure;
        return true;
    }
    if (refuseWhileRecording(response))
        return true;
    const bool ignoreSpokenLabel = request.query.contains(QStringLiteral("ignoreSpokenLabel"));
    setLastSelectorId(request);
    ZOZ_LOG(LogManager, QStringLiteral("ServiceManager::httpAjaxRequest() -> select service request (sId: %1)")
                            .arg(quint32(identifier)));
    Service *service = m_manager->findService(-1, -1, identifier);
    if (!service) {
        response.body = Failure;
        return true;
    }
    m_manager->selectService(service, ignoreSpokenLabel);
    service->release();
    response.body = Success;
    return true;
}

bool SelectionCommands::selectServiceDirected(const HttpRequest &request, HttpResponse &response)
{
    const QString text = request.query.value(QStringLiteral("selectServiceDirected"));
    int direction = -1;
    if (!parseDecimal(text, direction) || (direction != 0 && direction != 1)) {
        warn(QStringLiteral("could not set previous or next service (direction unknown: '%1' ?)").arg(text));
        setLastSelectorId(request);
        response.body = Failure;
        return true;
    }
    if (refuseWhileRecording(response))
        return true;
    setLastSelectorId(request);
    if (direction == 1)
        m_manager->selectNextService();
    else
        m_manager->selectPreviousService();
    response.body = Success;
    return true;
}

bool SelectionCommands::selectAnnouncement(const HttpRequest &request, HttpResponse &response)
{
    qint32 selectorId = -1;
    if (!readLoggedSelector(request, QStringLiteral("selectAnnouncement"), "select announcement", selectorId, response))
        return true;
    if (selectorId == m_manager->announcementServiceId())
        return true;
    if (selectorId == -1) {
        m_manager->withServices([this](const auto &) { m_manager->selectAnnouncement(nullptr); });
        return true;
    }
    applyToService(selectorId, response, [this](Service *service) { m_manager->selectAnnouncement(service); });
    return true;
}

bool SelectionCommands::ignoreAnnouncements(const HttpRequest &request, HttpResponse &response)
{
    qint32 selectorId = -1;
    if (!readLoggedSelector(request, QStringLiteral("ignoreAnnouncements"), "ignore announcement", selectorId, response)
        || selectorId == -1)
        return true;
    applyToService(selectorId, response, [this](Service *service) { m_manager->acknowledgeAnnouncements(service); });
    return true;
}

bool SelectionCommands::setServiceFavourite(const HttpRequest &request, HttpResponse &response)
{
    const QString text = request.query.value(QStringLiteral("setServiceFavourite"));
    qint32 selectorId = -1;
    if (!parseSelector(text, selectorId) || selectorId == -1) {
        warn(QStringLiteral("no service to change favourite status for (SID: %1)").arg(text));
        response.body = Failure;
        return true;
    }
    if (!request.query.contains(QStringLiteral("isFavourite"))) {
        warn(QStringLiteral("no flag to change favourite status (SID: %1)").arg(selectorId));
        response.body = Failure;
        return true;
    }
    const bool favourite = request.query.value(QStringLiteral("isFavourite")) == QLatin1String("true");
    ZOZ_LOG(LogManager,
            QStringLiteral("ServiceManager::httpAjaxRequest() -> setting favourite status for a service (SID: %1, favourite: %2)")
                .arg(selectorText(selectorId), favourite ? QStringLiteral("true") : QStringLiteral("false")));
    const bool found = m_manager->withService(selectorId, [this, favourite](Service *service) {
        if (service->setServiceIsFavourite(favourite))
            m_manager->setDirty(false);
    });
    response.body = found ? Success : Failure;
    return true;
}

} // namespace

void addSelectionCommands(AjaxTable &table, const AjaxContext &context)
{
    auto commands = std::make_shared<SelectionCommands>(context.manager, context.settings);
    const auto bind = [&table, commands](const char *key, bool (SelectionCommands::*handler)(const HttpRequest &, HttpResponse &)) {
        table.setHandler(QString::fromLatin1(key), [commands, handler](const HttpRequest &request, HttpResponse &response) {
            return (commands.get()->*handler)(request, response);
        });
    };
    bind("readLabel", &SelectionCommands::readLabel);
    bind("selectService", &SelectionCommands::selectService);
    bind("selectServiceById", &SelectionCommands::selectServiceById);
    bind("selectServiceDirected", &SelectionCommands::selectServiceDirected);
    bind("selectAnnouncement", &SelectionCommands::selectAnnouncement);
    bind("ignoreAnnouncements", &SelectionCommands::ignoreAnnouncements);
    bind("setServiceFavourite", &SelectionCommands::setServiceFavourite);
}

} // namespace ZOZ
