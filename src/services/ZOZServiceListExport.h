#pragma once

#include <QDateTime>
#include <QString>
#include <QVector>

namespace ZOZ {

// The service list written out for the user: a readable table
// ("zoz.ServiceList.txt") and the same services as semicolon-separated
// values ("zoz.ServiceList.csv"), both in the per-user data folder.
namespace ServiceListExport {

struct Child
{
    QString name;
    qint32 streamId = -1;
    quint16 packetId = 0xFFFF;
};

struct Entry
{
    QString label;
    qint64 serviceIdentifier = -1;
    qint32 streamId = -1;
    quint16 shortId = 0xFFFF;
    bool isData = false;
    // The decoder's codec text; empty until it reported one.
    QString codec;
    QString audioClassification;
    int bitRate = 0; // bit/s
    QVector<Child> children;
};

struct Ensemble
{
    QString label;
    qint32 identifier = -1;
    QVector<Entry> services; // may be empty: the ensemble then adds one empty line
};

struct Files
{
    QString text;
    QString csv;
};

inline const char *TextFileName = "zoz.ServiceList.txt";
inline const char *CsvFileName = "zoz.ServiceList.csv";

// Both files' content; every line ends with CR LF.
Files format(const QVector<Ensemble> &ensembles, const QDateTime &now);
// Writes both files into `folder`, each replaced whole or not at all; false
// (and an error logged) when one could not be written.
bool write(const QString &folder, const QVector<Ensemble> &ensembles, const QDateTime &now);

} // namespace ServiceListExport

} // namespace ZOZ
