#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace ZOZ {

// What the server needs of the program's settings. The server knows nothing of
// the application, so the program hands it an implementation; a server without
// one picks a random port, lets answers be cached and sends files as they are.
class HttpServerSettings
{
public:
    virtual ~HttpServerSettings() = default;

    // The port to listen on, or -1 for a random one.
    virtual int configuredPort() const = 0;
    // Called with the port the server chose (a random one, or the one the system
    // picked for port 0), so that a reopen takes it again.
    virtual void rememberPort(int port) = 0;
    // When set, nothing is cacheable and every file counts as modified now.
    virtual bool noTemplateCache() const = 0;
    // May shrink a static file (style sheet, script) before it is sent. Called on
    // connection threads.
    virtual void filterResource(const QString &filePath, const QDateTime &modified, QByteArray &body) const = 0;
};

} // namespace ZOZ
