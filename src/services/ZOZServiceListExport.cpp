// The service list as a readable table and as semicolon-separated values.

#include "ZOZServiceListExport.h"

#include "base/ZOZLog.h"

#include <QDir>
#include <QSaveFile>

namespace ZOZ::ServiceListExport {

namespace {

const QString LineEnd = QStringLiteral("\r\n");
const QString PacketMode = QStringLiteral("PacketMode");

// Broadcast text may carry line breaks and control characters: in the table
// they would start a new line.
QString oneLine(const QString &text)
{
    QString out = text;
    for (QChar &c : out) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    }
    return out;
}

// A field that holds the separator, a quote or a line break is quoted, its
// quotes doubled.
QString csvField(const QString &text)
{
    const bool quoted = text.contains(QLatin1Char(';')) || text.contains(QLatin1Char('"'))
                        || text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
    if (!quoted)
        return text;
    QString escaped = text;
    escaped.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

QString hex(quint32 value)
{
    return QString::number(value, 16);
}

// " PAD: name [ s| p]" for each child, or empty without children.
QString padText(const QVector<Child> &children)
{
    if (children.isEmpty())
        return QString();
    QString text = QStringLiteral("PAD: ");
    for (const Child &child : children) {
        text += oneLine(child.name) + QStringLiteral(" [") + QString::number(child.streamId).rightJustified(2)
                + QLatin1Char('|') + QString::number(child.packetId).rightJustified(2) + QStringLiteral("], ");
    }
    text.chop(2);
    return QLatin1Char(' ') + text;
}

void addService(Files &files, const Ensemble &ensemble, const Entry &entry)
{
    const QString pad = padText(entry.children);
    const QString label = oneLine(entry.label);
    const quint32 serviceId = quint32(entry.serviceIdentifier);
    const QString mode = entry.isData ? PacketMode : (entry.codec.isEmpty() ? entry.audioClassification : entry.codec);
    const QString rate = entry.isData ? QStringLiteral("0") : QString::number(entry.bitRate / 1000.0, 'f', 1);

    QString line = QStringLiteral("  ") + label.rightJustified(16) + QStringLiteral(" (0x") + hex(serviceId).leftJustified(8)
                   + QStringLiteral(")  ") + oneLine(mode).leftJustified(12);
    if (entry.isData) {
        line += QStringLiteral("  ----- kBit/s [") + QString::number(entry.streamId).rightJustified(2) + QLatin1Char(']');
    } else {
        line += QStringLiteral("  ") + rate.rightJustified(5) + QStringLiteral(" kBit/s [")
                + QString::number(quint32(entry.streamId)).rightJustified(2) + QLatin1Char(',')
                + QString::number(entry.shortId).rightJustified(2) + QLatin1Char(']');
    }
    files.text += line + QLatin1Char(' ') + pad + LineEnd;

    const QStringList fields {
        csvField(ensemble.label), csvField(entry.label), csvField(mode), rate,
        QStringLiteral("0x") + hex(quint32(ensemble.identifier)), QStringLiteral("0x") + hex(serviceId),
        QStringLiteral("0x") + hex(quint32(entry.streamId)), csvField(pad.mid(5)),
    };
    files.csv += fields.join(QLatin1Char(';')) + LineEnd;
}

void logFailure(const char *message, const QString &path)
{
    ZOZ_LOG(LogSource::ServiceManager | LogFlag::Error,
            QStringLiteral("ServiceManager::prettyPrintServiceList() -> error: ") + QLatin1String(message).arg(path));
}

} // namespace

Files format(const QVector<Ensemble> &ensembles, const QDateTime &now)
{
    Files files;
    files.text = QStringLiteral("Radarovaz Service List Extract (") + now.toString(QStringLiteral("yyyy/MM/dd hh:mm"))
                 + QLatin1Char(')') + LineEnd + LineEnd;
    files.csv = QStringLiteral("Ensemble;Service label;Mode;Bitrate (kBit/s);EnsembleID;ServiceID;SubChId;PAD") + LineEnd;
    for (const Ensemble &ensemble : ensembles) {
        if (!ensemble.services.isEmpty()) {
            files.text += QStringLiteral("Ensemble: ") + oneLine(ensemble.label) + QStringLiteral(" (0x")
                          + hex(quint32(ensemble.identifier)) + QLatin1Char(')') + LineEnd;
        }
        for (const Entry &entry : ensemble.services)
            addService(files, ensemble, entry);
        files.text += LineEnd;
    }
    return files;
}

bool write(const QString &folder, const QVector<Ensemble> &ensembles, const QDateTime &now)
{
    const Files files = format(ensembles, now);
    const QDir dir(folder);
    // Both are prepared before either replaces its old file, so that a file
    // that cannot be written leaves both as they were.
    QSaveFile text(dir.filePath(QLatin1String(TextFileName)));
    QSaveFile csv(dir.filePath(QLatin1String(CsvFileName)));
    for (QSaveFile *file : {&text, &csv}) {
        if (!file->open(QIODevice::WriteOnly)) {
            logFailure("could not open file for writing '%1'", file->fileName());
            return false;
        }
    }
    const QByteArray textBytes = files.text.toUtf8();
    const QByteArray csvBytes = files.csv.toUtf8();
    const std::pair<QSaveFile *, const QByteArray *> contents[] = {{&text, &textBytes}, {&csv, &csvBytes}};
    for (const auto &[file, bytes] : contents) {
        if (file->write(*bytes) != bytes->size()) {
            logFailure("could not write file '%1'", file->fileName());
            return false;
        }
    }
    for (QSaveFile *file : {&text, &csv}) {
        if (!file->commit()) {
            logFailure("could not write file '%1'", file->fileName());
            return false;
        }
    }
    ZOZ_LOG(LogSource::ServiceManager, QStringLiteral("ServiceManager::prettyPrintServiceList()"));
    return true;
}

} // namespace ZOZ::ServiceListExport
