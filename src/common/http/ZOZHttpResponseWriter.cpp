#include "http/ZOZHttpResponseWriter.h"

#include "http/ZOZGzip.h"
#include "http/ZOZHttpContentType.h"

#include <QElapsedTimer>

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

namespace ZOZ {

QByteArray buildResponseHead(HttpResponse &response, const HttpAnswerOptions &options)
{
    QByteArray encodingLine;
    if (response.mayCompress && gzipCompress(response.body))
        encodingLine = "Content-Encoding: gzip\r\n";

    QByteArray head;
    head.reserve(512 + options.contentSecurityPolicy.size());
    head += "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + httpStatusText(response.status).toUtf8()
        + "\r\n";
    if (options.persistent)
        head += "Connection: Keep-Alive\r\nKeep-Alive: timeout=5, max=5\r\n";
    else
        head += "Connection: close\r\n";
    head += encodingLine;
    head += "Content-Type: " + mimeTypeName(response.contentType).toUtf8() + "; charset=utf-8\r\n";
    head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    if (!options.dateText.isEmpty())
        head += "Last-Modified: " + options.dateText.toUtf8() + "\r\n";
    if (options.cacheable && !options.noTemplateCache)
        head += "Cache-Control: public, max-age=1200\r\n";
    else
        head += "Cache-Control: no-cache\r\nPragma: no-cache\r\n";
    head += "X-Content-Type-Options: nosniff\r\n";
    if (!options.contentSecurityPolicy.isEmpty())
        head += "Content-Security-Policy: " + options.contentSecurityPolicy.toUtf8() + "\r\n";
    head += "\r\n";
    return head;
}

bool writeResponse(int socketDescriptor, HttpResponse &response, const HttpAnswerOptions &options)
{
    if (socketDescriptor < 0)
        return false;
    QByteArray answer = buildResponseHead(response, options);
    if (response.status != 304 && !options.headOnly)
        answer += response.body;

    // A peer that shut down only its sending side still reads; one that reads
    // nothing for the whole time-out is given up.
    QElapsedTimer clock;
    clock.start();
    qsizetype sent = 0;
    while (sent < answer.size()) {
        const ssize_t n = ::send(socketDescriptor, answer.constData() + sent, size_t(answer.size() - sent),
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return false;
        const qint64 remaining = ResponseWriteTimeoutMs - clock.elapsed();
        pollfd writable { socketDescriptor, POLLOUT, 0 };
        if (remaining <= 0 || ::poll(&writable, 1, int(remaining)) < 0)
            return false;
    }
    return true;
}

QByteArray errorPage(int status)
{
    const QByteArray text = QByteArray::number(status) + ' ' + httpStatusText(status).toUtf8();
    const QByteArray title = httpStatusText(status).toUtf8();
    return "<html>\n\t<head><title>" + title + "</title></head>\n\t<body>\n\t\t" + text
        + "\n\t</body>\n</html>\n";
}

} // namespace ZOZ
