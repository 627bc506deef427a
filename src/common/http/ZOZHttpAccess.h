#pragma once

#include <QByteArray>
#include <QString>

namespace ZOZ {

// Name of the request header that carries the access token.
inline constexpr char AccessTokenHeader[] = "X-ZOZ-Token";

// True for "127.0.0.1:port", "localhost:port" and "[::1]:port" (the port may be left
// out only when it is 80). Anything else may be a foreign name that resolves to us.
bool isOwnHost(const QString &host, int port);

// True when an Origin or Referer value names this server ("http://" + own host).
bool isOwnOrigin(const QString &originOrReferer, int port);

// The token of this process: made once from the system's random source and handed
// to our pages; commands that change state must carry it.
QByteArray accessToken();

// Compares without an early exit, so the time taken tells nothing about the token.
bool isAccessToken(const QByteArray &candidate);

} // namespace ZOZ
