#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QString>

#include <cstdint>

namespace ZOZ {

enum HttpMethod {
    HttpMethodOther = 0,
    HttpMethodHead = 1,
    HttpMethodGet = 2,
    HttpMethodPost = 3,
};

// One request as the connection thread read it, for the request handlers.
struct HttpRequest
{
    bool remote = false;           // the peer is not a loopback address
    bool granted = false;          // the peer may use the player
    bool hasIsZOZ = false;         // the query has the key "isZOZ"
    QString isZOZ;                 // its value, trimmed
    bool passwordAccepted = false;
    bool persistent = false;       // the connection stays open after the answer
    uint8_t minorVersion = 0;      // the digit after "HTTP/1."
    QString header;                // the whole header block
    int method = HttpMethodOther;
    QString uri;                   // the target with repeated slashes folded
    QString path;                  // directory part, "" or ending with "/", never starting with "/"
    QString file;                  // after the last "/", before "?"
    QDateTime ifModifiedSince;     // null without the header
    QMap<QString, QString> query;  // keys as sent, values decoded
    bool tokenAccepted = false;    // the request carries this process's access token
};

// The answer, preset by the connection thread and filled by a handler.
struct HttpResponse
{
    bool mayCompress = false;      // the client accepts gzip
    int status = 404;
    int contentType = 17;          // an HttpContentType code
    QByteArray body;
    QString filePath;              // the file the body came from, for the minifier
    QDateTime lastModified;
    QString contentSecurityPolicy; // empty: the server's own
};

} // namespace ZOZ
