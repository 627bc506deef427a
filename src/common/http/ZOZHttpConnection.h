#pragma once

#include <QByteArray>
#include <QString>

namespace ZOZ {

// One accepted connection between requests. The reception reads into it until a
// request is complete; then an answering thread takes it, answers what is in the
// buffer and hands it back. It is on one thread at a time.
struct HttpConnection
{
    int descriptor = -1;
    quint64 id = 0;              // for log lines
    QString peer;                // address and port, for log lines
    QString peerAddress;         // the budget of connections is kept per address
    bool remote = false;         // the peer is not a loopback address
    QByteArray buffer;           // received and not yet answered
    bool peerClosed = false;     // the peer shut down its side: no more bytes come
    int generation = 0;          // the server's opening the connection was accepted in

    // Times on the reception's clock, in milliseconds; -1 for none.
    qint64 lastBytesAt = -1;      // for the idle time-out
    qint64 requestStartedAt = -1; // first byte of the request still incomplete
    qint64 lineStartedAt = -1;    // the header line still incomplete began
    qint64 waitingSince = -1;     // waiting for a complete request since; the longest waiting goes first
};

} // namespace ZOZ
