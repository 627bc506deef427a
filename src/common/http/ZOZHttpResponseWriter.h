#pragma once

#include "http/ZOZHttpRequest.h"

#include <QByteArray>
#include <QString>

namespace ZOZ {

struct HttpAnswerOptions
{
    bool cacheable = false;         // may be cached by the browser for a while
    bool persistent = false;        // the connection stays open
    bool noTemplateCache = false;   // the template-cache switch is off: nothing is cacheable
    bool headOnly = false;          // a HEAD request: headers without the body
    QString dateText;               // the Last-Modified value, or empty for none
    QString contentSecurityPolicy;  // empty: no policy line
};

// Gives up on a client that takes no bytes for this long, so a reader that never
// reads cannot hold a connection thread forever.
constexpr int ResponseWriteTimeoutMs = 10000;

// The status line and header block of an answer. Compresses the body in place first
// when the response allows it and that makes it smaller.
QByteArray buildResponseHead(HttpResponse &response, const HttpAnswerOptions &options);

// Writes the whole answer to a connected socket (blocking or not) and waits until
// the system has taken it. A 304 answer and a HEAD answer carry no body but the
// Content-Length of the body they did not send.
bool writeResponse(int socketDescriptor, HttpResponse &response, const HttpAnswerOptions &options);

// The short HTML page sent with an error status.
QByteArray errorPage(int status);

} // namespace ZOZ
