#include "DescriptionReader.h"

#include "Contents.h"
#include "EnsembleGenerator.h"
#include "Mot.h"
#include "ZozTestSuperframe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>

namespace ZOZ::EnsembleGen {

namespace {

constexpr double DefaultSeconds = 30.0;
constexpr int FramesPerSecond = 1000 / 24;
// Seconds of tone encoded for a music service; the audio loops.
constexpr double ToneSeconds = 12.0;
// Samples per channel of a DAB+ AAC frame.
constexpr int DabPlusFrameLength = 960;
// Eight segments of 16 bytes.
constexpr size_t MaxDynamicLabelBytes = 128;
// MOT objects: body size limit, and body segment sizes in X-PAD and in packet mode.
constexpr qint64 MaxMotBodyBytes = 1 << 20;
constexpr size_t XPadSegmentBytes = 256;
constexpr size_t PacketSegmentBytes = 1024;

class Reader {
public:
    Reader(const QDir &folder, QStringList *warnings) : m_folder(folder), m_warnings(warnings) {}

    QString error;

    bool number(const QJsonObject &object, const char *key, int64_t *out, int64_t low, int64_t high)
    {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined())
            return true;
        // Doubles beyond 2^53 are not whole numbers any more.
        bool ok = value.isDouble() && std::abs(value.toDouble()) < 9.0e15;
        int64_t n = ok ? int64_t(value.toDouble()) : 0;
        if (value.isString()) {
            const QString text = value.toString();
            n = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? text.mid(2).toLongLong(&ok, 16)
                                                                           : text.toLongLong(&ok, 10);
        }
        if (!ok || n < low || n > high) {
            error = QStringLiteral("\"%1\" must be a number from %2 to %3").arg(QLatin1String(key)).arg(low).arg(high);
            return false;
        }
        *out = n;
        return true;
    }

    template <typename T>
    bool get(const QJsonObject &object, const char *key, T *out, int64_t low, int64_t high)
    {
        int64_t value = int64_t(*out);
        if (!number(object, key, &value, low, high))
            return false;
        *out = T(value);
        return true;
    }

    Label label(const QJsonObject &object, const char *key, const char *flagsKey)
    {
        Label result;
        result.text = object.value(QLatin1String(key)).toString().toStdString();
        int64_t flags = result.shortLabelFlags;
        if (!number(object, flagsKey, &flags, 0, 0xFFFF))
            return result;
        result.shortLabelFlags = uint16_t(flags);
        if (result.text.size() > 16)
            error = QStringLiteral("label \"%1\" is longer than 16 characters").arg(QString::fromStdString(result.text));
        return result;
    }

    bool protection(const QJsonObject &object, SubChannel *subChannel)
    {
        const QString text = object.value(QLatin1String("protection")).toString(QStringLiteral("EEP-3A"));
        static const QRegularExpression eep(QStringLiteral("^EEP-([1-4])([AB])$"));
        static const QRegularExpression uep(QStringLiteral("^UEP-([0-9]+)$"));
        if (const auto match = eep.match(text); match.hasMatch()) {
            subChannel->protection.isEep = true;
            subChannel->protection.level = match.captured(1).toInt();
            subChannel->protection.optionB = match.captured(2) == QLatin1String("B");
            return true;
        }
        if (const auto match = uep.match(text); match.hasMatch() && match.captured(1).toInt() < 64) {
            subChannel->protection.isEep = false;
            subChannel->protection.uepIndex = match.captured(1).toInt();
            return true;
        }
        error = QStringLiteral("protection \"%1\" is not EEP-1A..EEP-4B or UEP-0..UEP-63").arg(text);
        return false;
    }

    Pcm speech(const QString &text)
    {
        const QString espeak = QStandardPaths::findExecutable(QStringLiteral("espeak-ng"));
        const QString sox = QStandardPaths::findExecutable(QStringLiteral("sox"));
        QTemporaryDir temporary;
        if (!espeak.isEmpty() && !sox.isEmpty() && temporary.isValid()) {
            const QString spoken = temporary.filePath(QStringLiteral("spoken.wav"));
            const QString converted = temporary.filePath(QStringLiteral("converted.wav"));
            const bool ok = QProcess::execute(espeak, {QStringLiteral("-w"), spoken, text}) == 0 &&
                            QProcess::execute(sox, {spoken, QStringLiteral("-r"), QStringLiteral("48000"),
                                                    QStringLiteral("-c"), QStringLiteral("2"), QStringLiteral("-b"),
                                                    QStringLiteral("16"), converted, QStringLiteral("pad"),
                                                    QStringLiteral("0.5"), QStringLiteral("1.5")}) == 0;
            Pcm pcm;
            std::string readError;
            if (ok && readWav(converted.toStdString(), &pcm, &readError))
                return pcm;
        }
        m_warnings->append(QStringLiteral("espeak-ng or sox missing: a tone stands in for the speech \"%1\"").arg(text));
        return makeTone({330.0}, ToneSeconds);
    }

    std::shared_ptr<ContentSource> audio(const QJsonObject &content, int bitRate)
    {
        Pcm pcm;
        if (content.contains(QLatin1String("wav"))) {
            std::string readError;
            const QString path = m_folder.filePath(content.value(QLatin1String("wav")).toString());
            if (!readWav(path.toStdString(), &pcm, &readError)) {
                error = QString::fromStdString(readError);
                return nullptr;
            }
        } else if (content.contains(QLatin1String("speech"))) {
            pcm = speech(content.value(QLatin1String("speech")).toString());
        } else {
            std::vector<double> frequencies;
            for (const QJsonValue &value : content.value(QLatin1String("tone")).toArray())
                frequencies.push_back(value.toDouble());
            if (frequencies.empty())
                frequencies = {440.0};
            pcm = makeTone(frequencies, ToneSeconds);
        }
        int scfCrcBytes = 0;
        std::string encodeError;
        std::vector<Bytes> frames = encodeMp2(pcm, bitRate, &scfCrcBytes, &encodeError);
        if (frames.empty()) {
            error = QString::fromStdString(encodeError);
            return nullptr;
        }
        std::vector<std::string> labels;
        for (const QJsonValue &value : content.value(QLatin1String("labels")).toArray()) {
            labels.push_back(value.toString().toStdString());
            if (labels.back().size() > MaxDynamicLabelBytes) {
                error = QStringLiteral("Dynamic Label \"%1\" is longer than 128 bytes").arg(value.toString());
                return nullptr;
            }
        }
        const int labelFrames = int(content.value(QLatin1String("labelSeconds")).toDouble(8.0) * FramesPerSecond);
        std::vector<Bytes> dataGroups;
        int continuity[16] = {};
        for (const QJsonValue &value : content.value(QLatin1String("slides")).toArray()) {
            MotObject object;
            if (!motObject(value.toObject(), &object))
                return nullptr;
            for (const DataGroup &group : motDataGroups(object, 0, XPadSegmentBytes, continuity))
                dataGroups.push_back(buildDataGroup(group));
        }
        return std::make_shared<Mp2Content>(std::move(frames), scfCrcBytes, std::move(labels), labelFrames,
                                            std::move(dataGroups));
    }

    // DAB+ audio made by the test AAC encoder: AAC-LC, 48 kHz stereo, in
    // superframes that fill the sub-channel; the tone is looped.
    std::shared_ptr<ContentSource> dabPlusAudio(const QJsonObject &content, int bitRate)
    {
        if (bitRate % 8 != 0 || bitRate < 8 || bitRate > 192) {
            error = QStringLiteral("DAB+ audio needs a bit rate of 8 to 192 kbit/s in steps of 8 (%1)").arg(bitRate);
            return nullptr;
        }
        std::vector<double> frequencies;
        for (const QJsonValue &value : content.value(QLatin1String("tone")).toArray())
            frequencies.push_back(value.toDouble());
        if (frequencies.empty())
            frequencies = {440.0};
        const Pcm pcm = makeTone(frequencies, ToneSeconds);
        ZozTestAac::EncoderOptions options;
        options.frameLength = DabPlusFrameLength;
        ZozTestAac::Encoder encoder(options);
        encoder.push(pcm.data(), pcm.size() / 2);
        encoder.finish();
        ZozTestAac::SuperframeFormat format;
        format.subchannelSize = bitRate / 8;
        Bytes bytes;
        for (const Bytes &superframe : ZozTestAac::encodeSuperframes(encoder, format))
            bytes.insert(bytes.end(), superframe.begin(), superframe.end());
        if (bytes.empty()) {
            error = QStringLiteral("the test AAC encoder cannot fill %1 kbit/s").arg(bitRate);
            return nullptr;
        }
        return std::make_shared<LoopContent>(std::move(bytes));
    }

    // A MOT object from a file: {"file", "name", "transportId", "contentType", "contentSubType"}.
    bool motObject(const QJsonObject &object, MotObject *out)
    {
        const QString path = m_folder.filePath(object.value(QLatin1String("file")).toString());
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || file.size() > MaxMotBodyBytes) {
            error = QStringLiteral("%1: cannot read, or larger than %2 bytes").arg(path).arg(MaxMotBodyBytes);
            return false;
        }
        const QByteArray body = file.readAll();
        out->body.assign(body.begin(), body.end());
        out->contentName = object.value(QLatin1String("name")).toString(QFileInfo(path).fileName()).toStdString();
        out->transportId = ++m_transportId;
        // Images by their suffix: JPEG 2/1, PNG 2/3.
        out->contentType = 2;
        out->contentSubType = path.endsWith(QLatin1String(".png"), Qt::CaseInsensitive) ? 3 : 1;
        // A SlideShow shows a slide when its TriggerTime comes; "now" is a
        // time whose validity bit is clear.
        const QString trigger = object.value(QLatin1String("trigger")).toString();
        if (trigger == QLatin1String("now")) {
            out->extraParameters = motParameter(5, Bytes(4, 0));
        } else if (!trigger.isEmpty()) {
            error = QStringLiteral("%1: trigger is \"now\" or absent").arg(path);
            return false;
        }
        return get(object, "transportId", &out->transportId, 0, 0xFFFF) &&
               get(object, "contentType", &out->contentType, 0, 63) &&
               get(object, "contentSubType", &out->contentSubType, 0, 511);
    }

    std::shared_ptr<ContentSource> packets(const QJsonObject &content)
    {
        std::vector<DataGroup> groups;
        int continuity[16] = {};
        for (const QJsonValue &value : content.value(QLatin1String("motObjects")).toArray()) {
            MotObject object;
            int address = 1;
            if (!get(value.toObject(), "address", &address, 1, 1023) || !motObject(value.toObject(), &object))
                return nullptr;
            const auto objectGroups = motDataGroups(object, address, PacketSegmentBytes, continuity);
            groups.insert(groups.end(), objectGroups.begin(), objectGroups.end());
        }
        for (const QJsonValue &value : content.value(QLatin1String("groups")).toArray()) {
            const QJsonObject object = value.toObject();
            DataGroup group;
            if (!get(object, "address", &group.address, 1, 1023) || !get(object, "type", &group.type, 0, 15) ||
                !get(object, "segment", &group.segmentNumber, -1, 0x7FFF) ||
                !get(object, "transportId", &group.transportId, -1, 0xFFFF))
                return nullptr;
            const QByteArray bytes = object.contains(QLatin1String("hex"))
                                         ? QByteArray::fromHex(object.value(QLatin1String("hex")).toString().toLatin1())
                                         : object.value(QLatin1String("text")).toString().toUtf8();
            group.data.assign(bytes.begin(), bytes.end());
            groups.push_back(group);
        }
        const bool enhanced = content.value(QLatin1String("enhanced")).toBool(false);
        return std::make_shared<PacketContent>(std::move(groups), true,
                                               enhanced ? PacketContent::Mode::Enhanced : PacketContent::Mode::Standard);
    }

    bool subChannel(const QJsonObject &object, SubChannel *out)
    {
        if (!get(object, "id", &out->id, 0, 63) || !get(object, "bitRate", &out->bitRate, 0, 1024) ||
            !get(object, "startAddress", &out->startAddress, -1, 863) ||
            !get(object, "fecScheme", &out->fecScheme, -1, 3) || !protection(object, out))
            return false;
        const QJsonObject content = object.value(QLatin1String("content")).toObject();
        const QString type = content.value(QLatin1String("type")).toString();
        if (type == QLatin1String("mp2"))
            out->content = audio(content, out->bitRate);
        else if (type == QLatin1String("dabplus"))
            out->content = dabPlusAudio(content, out->bitRate);
        else if (type == QLatin1String("packet")) {
            out->content = packets(content);
            // Enhanced packet mode is signalled as FEC scheme 1 in FIG 0/14.
            if (content.value(QLatin1String("enhanced")).toBool(false) && out->fecScheme < 0)
                out->fecScheme = 1;
        }
        else if (!type.isEmpty() && type != QLatin1String("pattern"))
            error = QStringLiteral("content type \"%1\" is not mp2, dabplus, packet or pattern").arg(type);
        return error.isEmpty();
    }

    bool component(const QJsonObject &object, Component *out)
    {
        const QString kind = object.value(QLatin1String("kind")).toString(QStringLiteral("audio"));
        if (kind == QLatin1String("audio"))
            out->kind = Component::Kind::StreamAudio;
        else if (kind == QLatin1String("data"))
            out->kind = Component::Kind::StreamData;
        else if (kind == QLatin1String("packet"))
            out->kind = Component::Kind::Packet;
        else {
            error = QStringLiteral("component kind \"%1\" is not audio, data or packet").arg(kind);
            return false;
        }
        out->primary = object.value(QLatin1String("primary")).toBool(true);
        out->globalDefinition = object.value(QLatin1String("global")).toBool(false);
        if (!get(object, "subChannel", &out->subChId, 0, 63) || !get(object, "type", &out->type, 0, 63) ||
            !get(object, "scIdS", &out->scIdS, 0, 15) || !get(object, "scId", &out->scId, 0, 0xFFF) ||
            !get(object, "packetAddress", &out->packetAddress, 0, 1023) ||
            !get(object, "language", &out->language, -1, 255))
            return false;
        if (object.contains(QLatin1String("label")))
            out->label = label(object, "label", "shortLabelFlags");
        for (const QJsonValue &value : object.value(QLatin1String("applications")).toArray()) {
            UserApplication application;
            if (!get(value.toObject(), "type", &application.type, 0, 0x7FF))
                return false;
            const QByteArray data = QByteArray::fromHex(value.toObject().value(QLatin1String("data")).toString().toLatin1());
            application.data.assign(data.begin(), data.end());
            out->applications.push_back(application);
        }
        return error.isEmpty();
    }

    bool service(const QJsonObject &object, Service *out)
    {
        out->isData = object.value(QLatin1String("data")).toBool(false);
        if (!get(object, "sid", &out->sid, 1, out->isData ? 0xFFFFFFFFLL : 0xFFFF) ||
            !get(object, "programmeType", &out->programmeType, -1, 31) ||
            !get(object, "language", &out->language, -1, 255) ||
            !get(object, "announcementSupport", &out->announcementSupport, 0, 0xFFFF))
            return false;
        out->label = label(object, "label", "shortLabelFlags");
        if (object.contains(QLatin1String("extendedLabel"))) {
            ExtendedLabel extended;
            extended.utf8 = object.value(QLatin1String("extendedLabel")).toString().toStdString();
            if (object.value(QLatin1String("extendedEncoding")).toString() == QLatin1String("ucs2"))
                extended.encoding = ExtendedLabel::Encoding::Ucs2;
            out->extendedLabel = extended;
        }
        for (const QJsonValue &value : object.value(QLatin1String("clusters")).toArray())
            out->clusters.push_back(value.toInt());
        for (const QJsonValue &value : object.value(QLatin1String("components")).toArray()) {
            Component component;
            if (!this->component(value.toObject(), &component))
                return false;
            out->components.push_back(component);
        }
        return error.isEmpty();
    }

    bool fault(const QJsonObject &object, Fault *out)
    {
        static const std::pair<const char *, Fault::Kind> kinds[] = {
            {"fibCrc", Fault::Kind::FibCrc},       {"headerCrc", Fault::Kind::HeaderCrc},
            {"mstCrc", Fault::Kind::MstCrc},       {"lostFrame", Fault::Kind::LostFrame},
            {"reconfiguration", Fault::Kind::Reconfiguration}, {"eidChange", Fault::Kind::EnsembleIdChange},
        };
        const QString kind = object.value(QLatin1String("kind")).toString();
        bool known = false;
        for (const auto &entry : kinds)
            if (kind == QLatin1String(entry.first)) {
                out->kind = entry.second;
                known = true;
            }
        if (!known) {
            error = QStringLiteral("fault kind \"%1\" unknown").arg(kind);
            return false;
        }
        return get(object, "frame", &out->frame, 0, 1 << 30) && get(object, "count", &out->count, 1, 1 << 30) &&
               get(object, "value", &out->value, 0, 0xFFFF);
    }

    bool description(const QJsonObject &root, EnsembleDescription *out)
    {
        const QJsonObject ensemble = root.value(QLatin1String("ensemble")).toObject();
        if (!get(ensemble, "eid", &out->eid, 0, 0xFFFF) || !get(ensemble, "ecc", &out->ecc, 0, 0xFF) ||
            !get(ensemble, "localTimeOffset", &out->localTimeOffset, -24, 24) ||
            !get(ensemble, "mode", &out->mode, 1, 4))
            return false;
        out->label = label(ensemble, "label", "shortLabelFlags");
        if (root.contains(QLatin1String("time"))) {
            static const QRegularExpression format(QStringLiteral("^(\\d{4})-(\\d\\d)-(\\d\\d)T(\\d\\d):(\\d\\d):(\\d\\d)"));
            const auto match = format.match(root.value(QLatin1String("time")).toString());
            if (!match.hasMatch()) {
                error = QStringLiteral("\"time\" must look like 2026-01-31T12:00:00");
                return false;
            }
            out->time = DateTime{match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt(),
                                 match.captured(4).toInt(), match.captured(5).toInt(), match.captured(6).toInt()};
        }
        for (const QJsonValue &value : root.value(QLatin1String("subChannels")).toArray()) {
            SubChannel subChannel;
            if (!this->subChannel(value.toObject(), &subChannel))
                return false;
            out->subChannels.push_back(subChannel);
        }
        for (const QJsonValue &value : root.value(QLatin1String("services")).toArray()) {
            Service service;
            if (!this->service(value.toObject(), &service))
                return false;
            out->services.push_back(service);
        }
        for (const QJsonValue &value : root.value(QLatin1String("announcements")).toArray()) {
            const QJsonObject object = value.toObject();
            Announcement announcement;
            double from = object.value(QLatin1String("fromSecond")).toDouble(0);
            double to = object.value(QLatin1String("toSecond")).toDouble(1e6);
            announcement.fromFrame = int(from * FramesPerSecond);
            announcement.toFrame = int(std::min(to * FramesPerSecond, 1e9));
            if (!get(object, "cluster", &announcement.clusterId, 0, 255) ||
                !get(object, "flags", &announcement.switching, 0, 0xFFFF) ||
                !get(object, "subChannel", &announcement.subChId, 0, 63))
                return false;
            out->announcements.push_back(announcement);
        }
        for (const QJsonValue &value : root.value(QLatin1String("faults")).toArray()) {
            Fault fault;
            if (!this->fault(value.toObject(), &fault))
                return false;
            out->faults.push_back(fault);
        }
        if (root.contains(QLatin1String("next"))) {
            auto next = std::make_shared<EnsembleDescription>();
            if (!description(root.value(QLatin1String("next")).toObject(), next.get()))
                return false;
            out->nextConfiguration = next;
        }
        return error.isEmpty();
    }

private:
    QDir m_folder;
    QStringList *m_warnings;
    int m_transportId = 0;
};

} // namespace

bool readDescription(const QString &path, DescriptionFile *out, QString *error, QStringList *warnings)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (!document.isObject()) {
        *error = QStringLiteral("%1: %2").arg(path, parseError.errorString());
        return false;
    }
    const QJsonObject root = document.object();
    Reader reader(QFileInfo(path).absoluteDir(), warnings);
    if (!reader.description(root, &out->description)) {
        *error = QStringLiteral("%1: %2").arg(path, reader.error);
        return false;
    }
    const double seconds = root.value(QLatin1String("seconds")).toDouble(DefaultSeconds);
    if (seconds <= 0 || seconds > 3600) {
        *error = QStringLiteral("%1: \"seconds\" must be above 0 and at most 3600").arg(path);
        return false;
    }
    out->frames = int(seconds * 1000 / 24);
    const std::string problem = prepare(out->description);
    if (!problem.empty()) {
        *error = QStringLiteral("%1: %2").arg(path, QString::fromStdString(problem));
        return false;
    }
    return true;
}

} // namespace ZOZ::EnsembleGen
