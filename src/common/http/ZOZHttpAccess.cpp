#include "http/ZOZHttpAccess.h"

#include <QRandomGenerator>

namespace ZOZ {

namespace {
constexpr int AccessTokenBytes = 16;
} // namespace

bool isOwnHost(const QString &host, int port)
{
    const QString portSuffix = QLatin1Char(':') + QString::number(port);
    for (const char *name : { "127.0.0.1", "localhost", "[::1]" }) {
        const QString own = QLatin1String(name);
        if (host.compare(own + portSuffix, Qt::CaseInsensitive) == 0)
            return true;
        if (port == 80 && host.compare(own, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool isOwnOrigin(const QString &originOrReferer, int port)
{
    static const QLatin1String scheme("http://");
    if (!originOrReferer.startsWith(scheme, Qt::CaseInsensitive))
        return false;
    const qsizetype hostStart = scheme.size();
    qsizetype hostEnd = originOrReferer.size();
    for (const QChar end : { QLatin1Char('/'), QLatin1Char('?'), QLatin1Char('#') }) {
        const qsizetype at = originOrReferer.indexOf(end, hostStart);
        if (at >= 0 && at < hostEnd)
            hostEnd = at;
    }
    return isOwnHost(originOrReferer.mid(hostStart, hostEnd - hostStart), port);
}

QByteArray accessToken()
{
    static const QByteArray token = [] {
        QByteArray bytes(AccessTokenBytes, Qt::Uninitialized);
        for (char &c : bytes)
            c = char(QRandomGenerator::system()->bounded(256));
        return bytes.toHex();
    }();
    return token;
}

bool isAccessToken(const QByteArray &candidate)
{
    const QByteArray token = accessToken();
    if (candidate.size() != token.size())
        return false;
    unsigned char difference = 0;
    for (qsizetype i = 0; i < token.size(); ++i)
        difference |= static_cast<unsigned char>(candidate.at(i) ^ token.at(i));
    return difference == 0;
}

} // namespace ZOZ
