#include "http/ZOZHttpContentType.h"


#include <array>
#include <iterator>

namespace ZOZ {

namespace {

struct ExtensionRow
{
    const char *extension;
    int code;
};

// Tested in this order; the first found wins, so ".htm" takes "page.html.js".
const ExtensionRow extensionTable[] = {
    { ".htm", HttpContentHtml }, { ".html", HttpContentHtml }, { ".xhtml", HttpContentHtml },
    { ".bin", HttpContentBinary }, { ".dat", HttpContentBinary }, { ".json", HttpContentJson },
    { ".kml", HttpContentKml }, { ".pdf", HttpContentPdf }, { ".zip", HttpContentZip },
    { ".aac", HttpContentAac }, { ".m4a", HttpContentM4a }, { ".mp3", HttpContentMpeg },
    { ".mp4", HttpContentMp4 }, { ".wav", HttpContentWav }, { ".bmp", HttpContentBmp },
    { ".gif", HttpContentGif }, { ".jpg", HttpContentJpeg }, { ".jpeg", HttpContentJpeg },
    { ".png", HttpContentPng }, { ".svg", HttpContentSvg }, { ".ico", HttpContentIcon },
    { ".css", HttpContentCss }, { ".js", HttpContentJavaScript }, { ".xml", HttpContentXml },
};

// Content-Type text by code.
const char *const typeNames[] = {
    "application/json", "application/vnd.google-earth.kml+xml", "application/octet-stream", "application/zip",
    "audio/aac", "audio/m4a", "audio/mpeg", "audio/mp4", "audio/wav", "binary/octet-stream", "image/bmp",
    "image/gif", "image/jpeg", "image/png", "image/svg+xml", "image/x-icon", "text/css", "text/html",
    "text/javascript", "text/xml",
};

const ExtensionRow typeNameTable[] = {
    { "text/html", HttpContentHtml }, { "binary/octet-stream", HttpContentBinary },
    { "application/octet-stream", HttpContentBinary }, { "application/json", HttpContentJson },
    { "application/vnd.google-earth.kml+xml", HttpContentKml }, { "application/pdf", HttpContentPdf },
    { "application/zip", HttpContentZip }, { "audio/aac", HttpContentAac }, { "audio/m4a", HttpContentM4a },
    { "audio/mpeg", HttpContentMpeg }, { "audio/mp4", HttpContentMp4 }, { "audio/wav", HttpContentWav },
    { "image/bmp", HttpContentBmp }, { "image/gif", HttpContentGif }, { "image/jpeg", HttpContentJpeg },
    { "image/png", HttpContentPng }, { "image/svg+xml", HttpContentSvg }, { "image/x-icon", HttpContentIcon },
    { "text/css", HttpContentCss }, { "text/javascript", HttpContentJavaScript }, { "text/xml", HttpContentXml },
};

// English names, never translated: dates on the wire are not for the user.
const char *const dayNames[] = { "Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun" };
const char *const monthNames[] = { "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec" };

} // namespace

int mimeTypeForExtension(const QString &path, int defaultCode)
{
    for (const ExtensionRow &row : extensionTable) {
        if (path.contains(QLatin1String(row.extension), Qt::CaseInsensitive))
            return row.code;
    }
    return defaultCode;
}

QString mimeTypeName(int code)
{
    if (code < 0 || code >= int(std::size(typeNames)))
        return QStringLiteral("binary/octet-stream");
    return QLatin1String(typeNames[code]);
}

int mimeTypeCodeFromName(const QString &name, int defaultCode)
{
    for (const ExtensionRow &row : typeNameTable) {
        if (name.compare(QLatin1String(row.extension), Qt::CaseInsensitive) == 0)
            return row.code;
    }
    return defaultCode;
}

QString httpStatusText(int status)
{
    switch (status) {
    case 200: return QStringLiteral("OK");
    case 304: return QStringLiteral("Not Modified");
    case 400: return QStringLiteral("Bad Request");
    case 403: return QStringLiteral("Forbidden");
    case 404: return QStringLiteral("Not Found");
    case 413: return QStringLiteral("Content Too Large");
    case 431: return QStringLiteral("Request Header Fields Too Large");
    case 503: return QStringLiteral("Service Unavailable");
    default: return QStringLiteral("unknown");
    }
}

QString httpDate(const QDateTime &dateTime)
{
    if (dateTime.isNull())
        return QString();
    // Written directly: every answer carries one, and the locale's date
    // formatting costs more than the rest of a small answer's head.
    const QDateTime utc = dateTime.toUTC();
    const QDate date = utc.date();
    const QTime time = utc.time();
    return QString::asprintf("%s, %02d %s %04d %02d:%02d:%02d GMT", dayNames[date.dayOfWeek() - 1], date.day(),
                             monthNames[date.month() - 1], date.year(), time.hour(), time.minute(), time.second());
}

QDateTime parseHttpDate(const QString &text)
{
    const qsizetype comma = text.indexOf(QLatin1Char(','));
    const qsizetype gmt = text.indexOf(QLatin1String("GMT"));
    if (comma < 1 || gmt < 1 || gmt <= comma)
        return QDateTime();
    QString date = text.mid(comma + 1, gmt - comma - 1).trimmed();
    // "06 Nov 1994 08:49:37": the month name becomes its two-digit number.
    if (date.size() < 6)
        return QDateTime();
    QString month = QStringLiteral("01");
    const QStringView name = QStringView(date).mid(3, 3);
    for (int i = 0; i < 12; ++i) {
        if (name.compare(QLatin1String(monthNames[i]), Qt::CaseInsensitive) == 0)
            month = QStringLiteral("%1").arg(i + 1, 2, 10, QLatin1Char('0'));
    }
    date.replace(3, 3, month);
    QDateTime parsed = QDateTime::fromString(date, QStringLiteral("dd MM yyyy hh:mm:ss"));
    parsed.setTimeSpec(Qt::UTC);
    return parsed;
}

} // namespace ZOZ
