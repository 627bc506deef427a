#pragma once

#include <QDateTime>
#include <QString>

namespace ZOZ {

// Content-type codes of answers and of served files.
enum HttpContentType {
    HttpContentJson = 0,
    HttpContentKml = 1,
    HttpContentPdf = 2,
    HttpContentZip = 3,
    HttpContentAac = 4,
    HttpContentM4a = 5,
    HttpContentMpeg = 6,
    HttpContentMp4 = 7,
    HttpContentWav = 8,
    HttpContentBinary = 9,
    HttpContentBmp = 10,
    HttpContentGif = 11,
    HttpContentJpeg = 12,
    HttpContentPng = 13,
    HttpContentSvg = 14,
    HttpContentIcon = 15,
    HttpContentCss = 16,
    HttpContentHtml = 17,
    HttpContentJavaScript = 18,
    HttpContentXml = 19,
};

// The code of the first known extension found anywhere in the path, ignoring case.
int mimeTypeForExtension(const QString &path, int defaultCode);
QString mimeTypeName(int code);
int mimeTypeCodeFromName(const QString &name, int defaultCode);

QString httpStatusText(int status);

// "Sun, 06 Nov 1994 08:49:37 GMT"; empty for a null date.
QString httpDate(const QDateTime &dateTime);
// The reverse; a null date-time when the text has no "," or "GMT".
QDateTime parseHttpDate(const QString &text);

} // namespace ZOZ
