// The ajax table: the fixed order and policy of the known commands, handlers
// added by key, commands of a subsystem's own, and which request counts as
// state-changing.
#include "ajax/ZOZAjaxTable.h"

#include <gtest/gtest.h>

using ZOZ::AjaxAccess;
using ZOZ::AjaxEffect;
using ZOZ::AjaxTable;
using ZOZ::HttpRequest;
using ZOZ::HttpResponse;

namespace {

HttpRequest requestWith(std::initializer_list<const char *> keys, bool granted = true, bool password = true,
                        bool remote = false)
{
    HttpRequest request;
    request.granted = granted;
    request.passwordAccepted = password;
    request.remote = remote;
    for (const char *key : keys)
        request.query.insert(QString::fromLatin1(key), QString());
    return request;
}

// A handler that answers with its own name, or passes when `answers` is false.
ZOZ::AjaxHandler named(const char *name, bool answers = true)
{
    return [name, answers](const HttpRequest &, HttpResponse &response) {
        response.body = name;
        return answers;
    };
}

QByteArray run(const AjaxTable &table, const HttpRequest &request)
{
    HttpResponse response;
    return table.dispatch(request, response) ? response.body : QByteArray("unanswered");
}

} // namespace

TEST(AjaxTable, KnownCommandsAnswerOnlyWithAHandler)
{
    AjaxTable table;
    EXPECT_EQ(run(table, requestWith({"getServerInfo"})), "unanswered");
    EXPECT_FALSE(table.isStateChanging(requestWith({"selectService"})));
    EXPECT_TRUE(table.setHandler(QStringLiteral("getServerInfo"), named("info")));
    EXPECT_FALSE(table.setHandler(QStringLiteral("noSuchCommand"), named("none")));
    EXPECT_EQ(run(table, requestWith({"getServerInfo"})), "info");
    EXPECT_EQ(run(table, requestWith({"noSuchCommand"})), "unanswered");
}

TEST(AjaxTable, TheTablesOrderDecidesNotTheRegistrationOrder)
{
    AjaxTable table;
    // Registered in reverse: the fixed order puts "clearNotify" before "selectService".
    table.setHandler(QStringLiteral("selectService"), named("select"));
    table.setHandler(QStringLiteral("clearNotify"), named("clear"));
    EXPECT_EQ(run(table, requestWith({"selectService", "clearNotify"})), "clear");
    // A handler that does not answer passes the request on.
    table.setHandler(QStringLiteral("clearNotify"), named("clear", false));
    EXPECT_EQ(run(table, requestWith({"selectService", "clearNotify"})), "select");
}

TEST(AjaxTable, AccessLevelsFilterTheClients)
{
    struct Case
    {
        const char *name;
        const char *key;
        bool granted;
        bool password;
        bool remote;
        bool answered;
    };
    const Case cases[] = {
        {"open for everyone", "getServerInfo", false, false, true, true},
        {"granted needs granted", "setSortType", false, false, false, false},
        {"granted without password", "setSortType", true, false, true, true},
        {"control needs the password", "selectService", true, false, false, false},
        {"control with the password", "selectService", true, true, true, true},
        {"local control refuses remote", "requestRecordingDirectoryOpen", true, true, true, false},
        {"local control from here", "requestRecordingDirectoryOpen", true, true, false, true},
    };
    AjaxTable table;
    for (const char *key : {"getServerInfo", "setSortType", "selectService", "requestRecordingDirectoryOpen"})
        table.setHandler(QString::fromLatin1(key), named(key));
    for (const Case &c : cases) {
        const QByteArray body = run(table, requestWith({c.key}, c.granted, c.password, c.remote));
        EXPECT_EQ(body == c.key, c.answered) << c.name;
    }
}

TEST(AjaxTable, OnlyTheCommandThatWouldRunCountsAsStateChanging)
{
    AjaxTable table;
    table.setHandler(QStringLiteral("getServerInfo"), named("info"));
    table.setHandler(QStringLiteral("selectService"), named("select"));
    EXPECT_FALSE(table.isStateChanging(requestWith({"getServerInfo"})));
    EXPECT_TRUE(table.isStateChanging(requestWith({"selectService"})));
    // A poll that also carries a command it may not use stays a poll.
    EXPECT_FALSE(table.isStateChanging(requestWith({"getServerInfo", "selectService"}, true, false)));
    EXPECT_FALSE(table.isStateChanging(requestWith({"selectService"}, true, false)));
}

TEST(AjaxTable, SubsystemsAddCommandsOfTheirOwnAtTheEnd)
{
    AjaxTable table;
    table.addCommand(QStringLiteral("audioLevel"), AjaxAccess::Open, AjaxEffect::ReadsOnly, named("level"));
    table.setHandler(QStringLiteral("slsClearCache"), named("sls"));
    EXPECT_EQ(run(table, requestWith({"audioLevel", "slsClearCache"})), "sls");
    EXPECT_EQ(run(table, requestWith({"audioLevel"}, false, false)), "level");
    EXPECT_FALSE(table.isStateChanging(requestWith({"audioLevel"})));
    // A known key keeps its place and takes the new policy.
    table.addCommand(QStringLiteral("getServerInfo"), AjaxAccess::Granted, AjaxEffect::ChangesState, named("info"));
    EXPECT_EQ(run(table, requestWith({"getServerInfo"}, false)), "unanswered");
    EXPECT_TRUE(table.isStateChanging(requestWith({"getServerInfo"})));
    EXPECT_EQ(run(table, requestWith({"getServerInfo", "slsClearCache"})), "info");
}
