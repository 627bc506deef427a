#pragma once

#include "web/ZOZTemplateValue.h"
#include "web/ZOZTemplateVariable.h"

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QReadWriteLock>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>

namespace ZOZ {

class Service;

// The sorted service list the pages show and step through, with its two
// ready-made renderings.
struct ServiceListState
{
    // Guards `sortedList` and `servicesValue`. Each entry holds one reference.
    mutable QReadWriteLock sortedListLock;
    QVector<Service *> sortedList;
    TemplateValue servicesValue { QStringLiteral("services"), TemplateValue::List };

    // Guards the page rows; taken before `sortedListLock`.
    mutable QReadWriteLock serviceListJsonLock { QReadWriteLock::Recursive };
    TemplateVariable::Rows pageRows;
    TemplateValue pageRowsValue { TemplateValue::List };

    std::atomic<bool> hasFavourites { false };
};

// Notifications for the pages, the one pending question and the selector
// text of the last selecting page.
struct NotificationState
{
    // The newest entries are kept; a page that polls rarely must not make the
    // list grow without bound.
    static constexpr int MaxNotifications = 100;

    // Guards everything below except `notifyBubbleMode`.
    mutable QMutex messageMutex;
    TemplateValue notifications { QStringLiteral("notify"), TemplateValue::List };
    int nextNotificationId = 0;
    std::atomic<int> notifyBubbleMode { 0 };

    QString messageText;
    QPointer<QObject> confirmReceiver;
    QByteArray confirmSlot;
    QPointer<QObject> cancelReceiver;
    QByteArray cancelSlot;

    QStringList injectScripts;
    QString lastSelectorId;
};

} // namespace ZOZ
