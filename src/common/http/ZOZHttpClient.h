#pragma once

#include "http/ZOZHttpRequest.h"

#include <QByteArray>
#include <QString>
#include <QThread>

class QTcpSocket;

namespace ZOZ {

class HttpServer;
struct HttpRequestHead;

// One accepted connection on a thread of its own: reads requests, asks the request
// handlers and writes the answers, keeping the connection open where the client asks.
class HttpClient : public QThread
{
    Q_OBJECT

public:
    HttpClient(HttpServer *server, qintptr socketDescriptor);
    ~HttpClient() override;

protected:
    void run() override;

private:
    enum class Continue { Yes, No };

    void serve(QTcpSocket &socket);
    Continue answerRequest(QTcpSocket &socket, const HttpRequestHead &head);
    bool fillRequest(const HttpRequestHead &head, HttpRequest &request, HttpResponse &response);
    void runFileRoad(const HttpRequest &request, HttpResponse &response, bool &cacheable);
    void runAjaxRoad(const HttpRequest &request, HttpResponse &response);
    Continue finishResponse(QTcpSocket &socket, const HttpRequest &request, HttpResponse &response, bool cacheable);
    // Answers an error with its status and short page and logs why, naming the peer.
    Continue answerError(QTcpSocket &socket, int status, const QString &reason, bool keepOpen);
    QString logPrefix() const;

    HttpServer *m_http;
    bool m_keepRunning = true;
    bool m_remote = false;
    qintptr m_socketDescriptor;
    QString m_peer;
};

} // namespace ZOZ
