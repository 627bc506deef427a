#pragma once

#include "http/ZOZHttpRequest.h"

#include <QReadWriteLock>
#include <QString>
#include <QVector>

#include <functional>

namespace ZOZ {

// Who may use an ajax command.
enum class AjaxAccess {
    Open,         // every client
    Granted,      // the local browser or an admitted remote one
    Control,      // granted, with the remote-access password accepted
    LocalControl, // control, from this machine only
};

enum class AjaxEffect { ReadsOnly, ChangesState };

// Answers one command; false passes the request on to the later commands.
using AjaxHandler = std::function<bool(const HttpRequest &request, HttpResponse &response)>;

// The ajax commands of the pages: one row per command with its access and
// effect, tried in the table's order; the first row whose key the request
// carries, whose access the client has and whose handler answers, answers.
// The order and the policy of every known command are fixed in one place
// (ZOZAjaxTable.cpp); each subsystem adds the handlers of its commands (and
// rows for commands of its own) from its own file. Handlers run on the
// server's connection threads, several at once.
class AjaxTable
{
public:
    AjaxTable();

    // Gives the known command `key` its handler; false for an unknown key.
    bool setHandler(const QString &key, AjaxHandler handler);
    // Adds a command of its own at the end of the table (or replaces the
    // policy and handler of a known one in its place).
    void addCommand(const QString &key, AjaxAccess access, AjaxEffect effect, AjaxHandler handler);

    // Whether the command that would run changes the player's state: a poll
    // that also carries a command it may not use must still be answered.
    bool isStateChanging(const HttpRequest &request) const;
    bool dispatch(const HttpRequest &request, HttpResponse &response) const;

    static bool mayUse(const HttpRequest &request, AjaxAccess access);

private:
    struct Row
    {
        QString key;
        AjaxAccess access;
        AjaxEffect effect;
        // Empty while the command's subsystem is not part of this build: the
        // key is then passed over like an unknown one.
        AjaxHandler handler;
    };
    QVector<Row> rowsSnapshot() const;

    mutable QReadWriteLock m_lock;
    QVector<Row> m_rows;
};

} // namespace ZOZ
