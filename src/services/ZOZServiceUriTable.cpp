#include "ZOZServiceUriTable.h"

#include "ZOZService.h"

#include <QRegularExpression>

namespace ZOZ {

ServiceUriTable ServiceUriTable::fromServices(const QMap<int, QVector<Service *>> &tree)
{
    ServiceUriTable table;
    for (const QVector<Service *> &services : tree) {
        for (const Service *service : services) {
            if (!service || service->isMarked())
                continue;
            Entry entry;
            entry.ensembleIdentifier = service->ensembleIdentifier();
            entry.serviceIdentifier = service->serviceIdentifier();
            entry.shortname = service->shortname();
            entry.requestPath = service->requestPath();
            for (const Service *child : service->children()) {
                if (child)
                    entry.children.append({child->shortname(), child->requestPath()});
            }
            table.entries.append(entry);
        }
    }
    return table;
}

unsigned long ServiceUriTable::parseUriNumber(QString text)
{
    int base = 10;
    if (text.startsWith(QLatin1String("0x"))) {
        base = 16;
        text.remove(0, 2);
    } else if (text.startsWith(QLatin1String("0b"))) {
        base = 2;
        text.remove(0, 2);
    } else if (text.startsWith(QLatin1Char('0'))) {
        base = 8;
        text.remove(0, 1);
    }
    bool ok = false;
    const unsigned long value = text.toULong(&ok, base);
    return ok ? value : 0;
}

bool ServiceUriTable::resolve(QByteArray &uri) const
{
    static const QRegularExpression pattern(
        QStringLiteral("(((dab|drm)\\.srv(\\.(bws|sls|jou|spi|tpeg|tft|tdc))?)://(([0-9a-fA-Fx]*):)?([0-9a-fA-Fx]*)(\\.[0-9]*)?/)(.*)"));
    const QRegularExpressionMatch match = pattern.match(QString::fromUtf8(uri));
    if (!match.hasMatch())
        return false;
    const QString application = match.captured(5);
    const QString ensemblePart = match.captured(7);
    const int ensembleIdentifier = ensemblePart.isEmpty() ? -1 : int(parseUriNumber(ensemblePart));
    const int serviceIdentifier = int(parseUriNumber(match.captured(8)));
    const int index = qMax(0, match.captured(9).mid(1).toInt());
    // -1 stands for "any" where services are looked up, so it names none here.
    if (serviceIdentifier == -1)
        return false;

    // Identifiers of 32 bits are kept unsigned; the URI's number carries the same bits.
    const Entry *service = nullptr;
    for (const Entry &entry : entries) {
        if ((ensembleIdentifier == -1 || entry.ensembleIdentifier == ensembleIdentifier) &&
            quint32(entry.serviceIdentifier) == quint32(serviceIdentifier)) {
            service = &entry;
            break;
        }
    }
    if (!service)
        return false;
    QString shortname = service->shortname;
    QString requestPath = service->requestPath;
    if (!application.isEmpty()) {
        int count = -1;
        for (const Application &child : service->children) {
            if (child.shortname == application && ++count == index) {
                shortname = child.shortname;
                requestPath = child.requestPath;
                break;
            }
        }
    }
    if (shortname != application)
        return false;
    uri = (requestPath + match.captured(10)).toUtf8();
    return true;
}

} // namespace ZOZ
