#pragma once

#include <QList>
#include <QString>

namespace ZOZ {

const char *versionString();     // "5.1.2"
const char *versionStringLong(); // version with platform, "5.1.2 (linux 64bit)"
const char *buildType();
const char *buildNumber();
const char *buildTag();
const char *buildDate();         // compiler form "MMM d yyyy"
const char *buildTime();         // "hh:mm:ss"

// "Apr 17 2020" (also "Apr  7 2020") to "2020-04-17"; empty when it does not parse.
QString compilerDateToIso(const char *date);
// ISO build date, a blank and the build time of this build.
QString buildDateTime();

struct VersionPair
{
    QString name;
    QString version;
};

// "v6.4.2", or "v6.4.3 (compiled with: 6.4.2)" when the toolkit found at run
// time is not the one the program was built with.
QString toolkitVersionText(const QString &runtimeVersion, const QString &builtVersion);

// The program and the libraries it runs with, for the version text and the about page.
QList<VersionPair> versionReport();

} // namespace ZOZ
