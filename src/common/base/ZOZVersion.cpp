#include "base/ZOZVersion.h"

#include <QDate>
#include <QLocale>
#include <QRegularExpression>
#include <QtGlobal>

#include <zlib.h>

#ifndef ZOZ_BUILD_TYPE
#define ZOZ_BUILD_TYPE "Release"
#endif

namespace ZOZ {

namespace {
#if defined(__x86_64__)
#define ZOZ_CPU "x86_64"
#define ZOZ_BITS "64bit"
#elif defined(__aarch64__)
#define ZOZ_CPU "aarch64"
#define ZOZ_BITS "64bit"
#elif defined(__i386__)
#define ZOZ_CPU "i386"
#define ZOZ_BITS "32bit"
#else
#define ZOZ_CPU "unknown"
#define ZOZ_BITS (sizeof(void *) == 8 ? "64bit" : "32bit")
#endif
#define ZOZ_VERSION "5.1.2"
#define ZOZ_STRINGIFY2(x) #x
#define ZOZ_STRINGIFY(x) ZOZ_STRINGIFY2(x)
} // namespace

const char *versionString() { return ZOZ_VERSION; }
const char *versionStringLong() { return ZOZ_VERSION " (linux " ZOZ_BITS ")"; }
const char *buildType() { return ZOZ_BUILD_TYPE; }
const char *buildNumber() { return "36175"; }
const char *buildTag()
{
    return "radarovaz-" ZOZ_VERSION "-" ZOZ_CPU "-linux-gcc" ZOZ_STRINGIFY(__GNUC__) "-zoz";
}
const char *buildDate() { return __DATE__; }
const char *buildTime() { return __TIME__; }

QString compilerDateToIso(const char *date)
{
    if (!date)
        return QString();
    const QString simplified = QString::fromLatin1(date).simplified();
    const QDate parsed = QLocale(QLocale::English).toDate(simplified, QStringLiteral("MMM d yyyy"));
    if (!parsed.isValid())
        return QString();
    return parsed.toString(QStringLiteral("yyyy-MM-dd"));
}

QString buildDateTime()
{
    return compilerDateToIso(buildDate()) + QLatin1Char(' ') + QLatin1String(buildTime());
}

QString toolkitVersionText(const QString &runtimeVersion, const QString &builtVersion)
{
    if (runtimeVersion == builtVersion)
        return QLatin1Char('v') + builtVersion;
    return QStringLiteral("v%1 (compiled with: %2)").arg(runtimeVersion, builtVersion);
}

QList<VersionPair> versionReport()
{
    QList<VersionPair> report;
    report.append({QStringLiteral("Radarovaz"), QString::fromLatin1(versionStringLong())});

    report.append({QStringLiteral("Qt"),
                   toolkitVersionText(QString::fromLatin1(qVersion()), QStringLiteral(QT_VERSION_STR))});

    report.append({QStringLiteral("zlib"), QLatin1Char('v') + QString::fromLatin1(zlibVersion())});
    return report;
}

} // namespace ZOZ
