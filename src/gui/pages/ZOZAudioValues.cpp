#include "ZOZAudioValues.h"

#include "ZOZServiceManager.h"

#include <QCoreApplication>

#include <array>

namespace ZOZ {

namespace {

constexpr const char *TypeContext = "DLPlusType";

// Content types 1 to 63; the gaps have no name.
constexpr std::array<const char *, 64> TypeNames = {
    nullptr,
    QT_TRANSLATE_NOOP("DLPlusType", "Title"), QT_TRANSLATE_NOOP("DLPlusType", "Album"),
    QT_TRANSLATE_NOOP("DLPlusType", "Track #"), QT_TRANSLATE_NOOP("DLPlusType", "Artist"),
    QT_TRANSLATE_NOOP("DLPlusType", "Composition"), QT_TRANSLATE_NOOP("DLPlusType", "Movement"),
    QT_TRANSLATE_NOOP("DLPlusType", "Conductor"), QT_TRANSLATE_NOOP("DLPlusType", "Composer"),
    QT_TRANSLATE_NOOP("DLPlusType", "Band"), QT_TRANSLATE_NOOP("DLPlusType", "Comment"),
    QT_TRANSLATE_NOOP("DLPlusType", "Genre"), QT_TRANSLATE_NOOP("DLPlusType", "News"),
    QT_TRANSLATE_NOOP("DLPlusType", "News Local"), QT_TRANSLATE_NOOP("DLPlusType", "Stockmarket"),
    QT_TRANSLATE_NOOP("DLPlusType", "Sport"), QT_TRANSLATE_NOOP("DLPlusType", "Lottery"),
    QT_TRANSLATE_NOOP("DLPlusType", "Horoscope"), QT_TRANSLATE_NOOP("DLPlusType", "Daily Diversion"),
    QT_TRANSLATE_NOOP("DLPlusType", "Health"), QT_TRANSLATE_NOOP("DLPlusType", "Event"),
    QT_TRANSLATE_NOOP("DLPlusType", "Scene"), QT_TRANSLATE_NOOP("DLPlusType", "Cinema"),
    QT_TRANSLATE_NOOP("DLPlusType", "Tv"), QT_TRANSLATE_NOOP("DLPlusType", "Date & Time"),
    QT_TRANSLATE_NOOP("DLPlusType", "Weather"), QT_TRANSLATE_NOOP("DLPlusType", "Traffic"),
    QT_TRANSLATE_NOOP("DLPlusType", "Alarm"), QT_TRANSLATE_NOOP("DLPlusType", "Advertisement"),
    QT_TRANSLATE_NOOP("DLPlusType", "Url"), QT_TRANSLATE_NOOP("DLPlusType", "Other"),
    QT_TRANSLATE_NOOP("DLPlusType", "Stationname Short"), QT_TRANSLATE_NOOP("DLPlusType", "Stationname"),
    QT_TRANSLATE_NOOP("DLPlusType", "Now"), QT_TRANSLATE_NOOP("DLPlusType", "Next"),
    QT_TRANSLATE_NOOP("DLPlusType", "Part"), QT_TRANSLATE_NOOP("DLPlusType", "Host"),
    QT_TRANSLATE_NOOP("DLPlusType", "Editorial Staff"), QT_TRANSLATE_NOOP("DLPlusType", "Frequency"),
    QT_TRANSLATE_NOOP("DLPlusType", "Homepage"), QT_TRANSLATE_NOOP("DLPlusType", "Subchannel"),
    QT_TRANSLATE_NOOP("DLPlusType", "Phone Hotline"), QT_TRANSLATE_NOOP("DLPlusType", "Phone Studio"),
    QT_TRANSLATE_NOOP("DLPlusType", "Phone Other"), QT_TRANSLATE_NOOP("DLPlusType", "SMS Studio"),
    QT_TRANSLATE_NOOP("DLPlusType", "SMS Other"), QT_TRANSLATE_NOOP("DLPlusType", "eMail Hotline"),
    QT_TRANSLATE_NOOP("DLPlusType", "eMail Studio"), QT_TRANSLATE_NOOP("DLPlusType", "eMail Other"),
    QT_TRANSLATE_NOOP("DLPlusType", "MMS Other"), QT_TRANSLATE_NOOP("DLPlusType", "Chat"),
    QT_TRANSLATE_NOOP("DLPlusType", "Chat Center"), QT_TRANSLATE_NOOP("DLPlusType", "Vote Question"),
    QT_TRANSLATE_NOOP("DLPlusType", "Vote Centre"),
    nullptr, nullptr, nullptr, nullptr, nullptr,
    QT_TRANSLATE_NOOP("DLPlusType", "Place"), QT_TRANSLATE_NOOP("DLPlusType", "Appointment"),
    QT_TRANSLATE_NOOP("DLPlusType", "Identifier"), QT_TRANSLATE_NOOP("DLPlusType", "Purchase"),
    QT_TRANSLATE_NOOP("DLPlusType", "SMS number or url"),
};

// The content groups in the order the pages list them, each with its last type.
struct TypeGroup
{
    const char *name;
    int lastType;
};
constexpr std::array<TypeGroup, 5> TypeGroups = {{
    {QT_TRANSLATE_NOOP("DLPlusType", "Item"), 11},
    {QT_TRANSLATE_NOOP("DLPlusType", "Info"), 30},
    {QT_TRANSLATE_NOOP("DLPlusType", "Programme"), 40},
    {QT_TRANSLATE_NOOP("DLPlusType", "Interactivity"), 53},
    {QT_TRANSLATE_NOOP("DLPlusType", "Descriptor"), 63},
}};

QString rateText(int bitsPerSecond)
{
    return QString::number(bitsPerSecond / 1000.0, 'f', 1) + QStringLiteral(" kBit/s");
}

} // namespace

QString dlPlusTypeName(int type)
{
    if (type < 0 || type >= int(TypeNames.size()) || !TypeNames[size_t(type)])
        return QCoreApplication::translate(TypeContext, "unknown");
    return QCoreApplication::translate(TypeContext, TypeNames[size_t(type)]);
}

TemplateValue dlPlusJson(const AudioTexts &texts)
{
    TemplateValue groups(QStringLiteral("dlPlusInfo"), TemplateValue::List);
    int firstType = 1;
    for (size_t g = 0; g < TypeGroups.size(); ++g) {
        const TypeGroup &group = TypeGroups[g];
        TemplateValue data(QStringLiteral("data"), TemplateValue::List);
        const bool shown = g != 0 || texts.itemRunning;
        for (const DlPlusItem &item : texts.items) {
            if (!shown || item.type < firstType || item.type > group.lastType || item.text.isEmpty())
                continue;
            TemplateValue entry;
            entry << TemplateValue(QStringLiteral("type"), item.type)
                  << TemplateValue(QStringLiteral("name"), dlPlusTypeName(item.type))
                  << TemplateValue(QStringLiteral("content"), item.text);
            data << entry;
        }
        firstType = group.lastType + 1;
        if (data.listChildren().isEmpty())
            continue;
        TemplateValue entry;
        entry << TemplateValue(QStringLiteral("name"), QCoreApplication::translate(TypeContext, group.name)) << data;
        groups << entry;
    }
    return groups;
}

TemplateValue intelliTextJson(const AudioTexts &texts)
{
    TemplateValue menus(QStringLiteral("intelliTextInfo"), TemplateValue::List);
    for (const IntelliTextMenu &menu : texts.menus) {
        TemplateValue subMenus(QStringLiteral("subMenus"), TemplateValue::List);
        for (const IntelliTextSubMenu &subMenu : menu.subMenus) {
            TemplateValue data(QStringLiteral("data"), TemplateValue::List);
            for (const QString &text : subMenu.items) {
                if (!text.isEmpty())
                    data << TemplateValue(QString(), text);
            }
            if (data.listChildren().isEmpty())
                continue;
            TemplateValue entry;
            entry << TemplateValue(QStringLiteral("name"), subMenu.name) << data;
            subMenus << entry;
        }
        TemplateValue entry;
        entry << TemplateValue(QStringLiteral("name"), menu.name) << subMenus;
        menus << entry;
    }
    return menus;
}

TemplateValue audioJson(const AudioServiceInfo &info)
{
    TemplateValue details(QStringLiteral("info"), TemplateValue::Map);
    details << TemplateValue(QStringLiteral("isDab"), info.isDab)
            << TemplateValue(QStringLiteral("announcementsDAB"), info.announcementsDab)
            << TemplateValue(QStringLiteral("announcementsDRM"), info.announcementsDrm)
            << TemplateValue(QStringLiteral("bitrate"), rateText(info.nominalBitRate))
            << TemplateValue(QStringLiteral("bitrateNet"),
                             info.measuredBitRate == 0 ? QString() : rateText(info.measuredBitRate))
            << TemplateValue(QStringLiteral("type"), info.channelText)
            << TemplateValue(QStringLiteral("codec"), info.codecName + QStringLiteral(" (") + info.serviceTypeText
                                                          + QStringLiteral(")"));
    TemplateValue value;
    value << TemplateValue(QStringLiteral("SID"), int(info.selectorId))
          << TemplateValue(QStringLiteral("playing"), info.playing)
          << TemplateValue(QStringLiteral("textMessage"), info.textMessage)
          << TemplateValue(QStringLiteral("requestPath"), info.requestPath) << details
          << TemplateValue(QStringLiteral("coding"), int(info.format.id))
          << TemplateValue(QStringLiteral("sampleRate"), uint(info.format.sampleRate))
          << TemplateValue(QStringLiteral("bitsPerSample"), uint(info.format.bitsPerSample))
          << TemplateValue(QStringLiteral("numChannels"), uint(info.format.numChannels))
          << dlPlusJson(info.texts) << intelliTextJson(info.texts);
    return value;
}

QVector<AudioServiceInfo> visibleAudioServices(const ServiceManager &manager)
{
    QVector<AudioServiceInfo> infos;
    manager.withServices([&infos](const QMap<int, QVector<Service *>> &tree) {
        auto add = [&infos](const Service *service) {
            const auto *audio = qobject_cast<const ServiceAudio *>(service);
            if (audio && audio->isVisible())
                infos << audio->audioInfo();
        };
        for (const QVector<Service *> &services : tree) {
            for (const Service *service : services) {
                add(service);
                for (const Service *sibling : service->siblings())
                    add(sibling);
            }
        }
    });
    return infos;
}

TemplateValue channelsValue(const QVector<AudioServiceInfo> &services)
{
    TemplateValue channels(QStringLiteral("channels"), TemplateValue::List);
    for (const AudioServiceInfo &info : services)
        channels << audioJson(info);
    return channels;
}

} // namespace ZOZ
