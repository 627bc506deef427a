#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVector>

namespace ZOZ {

class Service;

// The services as a link on air names them ("dab.srv.sls://0x10bc:0xe4d2f001.0/x"):
// a copy of what resolving such a service URI needs, taken under the
// service-list lock and used without it. A service that resolves links while
// it holds its own lock (Journaline) resolves from such a copy, so it never
// waits for the service-list lock while holding its own: the service manager's
// worker takes them in the other order.
class ServiceUriTable
{
public:
    struct Application
    {
        QString shortname;
        QString requestPath;
    };

    struct Entry
    {
        qint32 ensembleIdentifier = -1;
        qint64 serviceIdentifier = -1;
        QString shortname;
        QString requestPath;
        QVector<Application> children;
    };

    // From the service tree, ensembles in key order; the caller holds the service-list lock.
    static ServiceUriTable fromServices(const QMap<int, QVector<Service *>> &tree);

    // A service URI becomes the request path of the service or application it
    // names followed by the rest of the URI; true when it did. Anything else
    // (no service URI, nothing on air by that name) stays as it is.
    bool resolve(QByteArray &uri) const;

    // "0x" hexadecimal, "0b" binary, a leading "0" octal, else decimal; 0 when it does not convert.
    static unsigned long parseUriNumber(QString text);

    QVector<Entry> entries;
};

} // namespace ZOZ
