#pragma once

#include "http/ZOZHttpConnection.h"
#include "http/ZOZHttpRequest.h"

#include <QString>
#include <QThread>

#include <memory>

namespace ZOZ {

class HttpServer;
struct HttpRequestHead;

// An answering thread: waits with the others on the reception's connections,
// reads the bytes of the one it is woken for, and once its buffer holds a
// complete request asks the request handlers, writes the answers and hands the
// connection back to the reception to wait for the next request (or closes it).
class HttpClient : public QThread
{
    Q_OBJECT

public:
    explicit HttpClient(HttpServer *server);
    ~HttpClient() override;

protected:
    void run() override;

private:
    enum class Continue { Yes, No };

    // Answers what the buffer holds; false when the connection is to be closed.
    bool answerBuffered(HttpConnection &connection);
    Continue answerRequest(HttpConnection &connection, const HttpRequestHead &head);
    bool fillRequest(const HttpConnection &connection, const HttpRequestHead &head, HttpRequest &request,
                     HttpResponse &response);
    void runFileRoad(const HttpConnection &connection, const HttpRequest &request, HttpResponse &response,
                     bool &cacheable);
    void runAjaxRoad(const HttpConnection &connection, const HttpRequest &request, HttpResponse &response);
    Continue finishResponse(HttpConnection &connection, const HttpRequest &request, HttpResponse &response,
                            bool cacheable);
    // Answers an error with its status and short page and logs why, naming the peer.
    Continue answerError(HttpConnection &connection, int status, const QString &reason, bool keepOpen);

    HttpServer *m_http;
};

} // namespace ZOZ
