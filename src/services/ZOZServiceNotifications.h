#pragma once

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>

namespace ZOZ {

// One notification the pages show.
struct Notification
{
    QString id;
    QString message; // HTML: texts from broadcasts or users go in escaped
    QString type;    // "info", "warning" or "error"
    bool isZozOnly = false;
    uint timestamp = 0; // UNIX seconds, 0 without
    int duration = 0;   // seconds
    bool clickable = false;

    bool operator==(const Notification &) const = default;
};

// What the pages read of the notifications in one go.
struct NotificationSnapshot
{
    QVector<Notification> notifications;
    QString question;          // the pending question, empty without one
    QStringList injectScripts; // taken: each goes out once
};

// Notifications for the pages and the tray, the one pending question and
// the selector text of the last selecting page. One mutex guards it all; it
// is taken last, after every other lock of the service manager.
class ServiceNotifications : public QObject
{
    Q_OBJECT

public:
    // The newest entries are kept; a page that polls rarely must not make the
    // list grow without bound.
    static constexpr int MaxNotifications = 100;

    void addNotification(const QString &message, const QString &type, const int &duration, const bool &clickable,
                         const QString &ID, const bool &withTimestamp, const bool &isZozOnly);
    QVector<Notification> notifications() const;
    void clearNotification(const QString &id);
    // Everything the state poll sends; the scripts to inject are taken.
    NotificationSnapshot takeSnapshot();

    void setNotifyBubbleMode(int mode) { m_notifyBubbleMode.store(mode); }
    int notifyBubbleMode() const { return m_notifyBubbleMode.load(); }

    // The question the pages ask until answered; the answer runs a slot
    // (named as SLOT() names it) on the main thread.
    void setMessage(const QString &text, QObject *confirmReceiver, const QByteArray &confirmSlot,
                    QObject *cancelReceiver, const QByteArray &cancelSlot);
    QString pendingMessage() const;
    // Answers the pending question when `id` is its text; a second answer finds nothing.
    void answer(const QString &id, bool confirmed);

    QString lastSelectorId() const;
    void setLastSelectorId(const QString &selectorId);

signals:
    void requestBubbleMessage(QString message, int icon, int timeout);
    // The user answered No to `question`; `cancelSlot` is what that runs.
    void questionDeclined(QString question, QByteArray cancelSlot);

private:
    mutable QMutex m_mutex;
    QVector<Notification> m_notifications;
    int m_nextNotificationId = 0;
    std::atomic<int> m_notifyBubbleMode { 0 };

    QString m_messageText;
    QPointer<QObject> m_confirmReceiver;
    QByteArray m_confirmSlot;
    QPointer<QObject> m_cancelReceiver;
    QByteArray m_cancelSlot;

    QStringList m_injectScripts;
    QString m_lastSelectorId;
};

} // namespace ZOZ
