#pragma once

#include "ZOZReceiver.h"
#include "ZOZServiceList.h"
#include "ZOZServiceNotifications.h"
#include "ZOZServiceSelection.h"
#include "ZOZAudioLevels.h"
#include "audio/ZOZServiceAudio.h"
#include "settings/ZOZSettings.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

#include <array>
#include <optional>

namespace ZOZ {

struct AjaxContext;

// Everything "getServerInfo" shows that is the same for every page, read from
// the player's parts for each request. Several of them (the settings, the
// signal figures, the audio texts) keep no change counter, so the answer is
// built again only when this differs from what the last one was built from.
struct ServerInfoState
{
    struct Tuner
    {
        int mode = 0;
        QString fileName;
        uint frequency = 0;
        std::array<int, Settings::FrontEndOptionCount> options {};
        bool signalPresent = false;
        int signalStrength = 0; // tenths of a dB
        int signalQuality = 0;
        bool operator==(const Tuner &) const = default;
    };

    ServiceSelection::Selected selected;
    QString selectorId;
    qint32 announcementServiceId = -1;
    int sortType = 0;
    bool hasFavourites = false;
    bool favouritesOnly = false;
    bool jouExtEnabled = false;
    quint32 spiVersion = 0; // moves when the programme guide changed
    bool binauralMode = false;
    int binauralPreset = 0;
    bool spokenLabels = false;
    std::optional<ReceiverStatus> receiver;
    QVector<Notification> notifications;
    QString question;
    QString serverId;
    ServiceSelection::AutoService automatic;
    bool autoServiceFixed = false;
    QVector<ServiceListEntry> entries;
    std::optional<QList<Settings::Announcement>> announcements; // none without settings
    Tuner tuner;
    int level = 100; // percent
    AudioLevelValues levels;
    bool muted = false;
    bool recording = false;
    QString recordingFile;    // the file being written, empty while none
    qint64 recordingSeconds = 0;
    QVector<AudioServiceInfo> channels;

    bool operator==(const ServerInfoState &) const = default;

    // Reads the state; the scripts to inject, which go out once, are taken
    // into `scripts`.
    static ServerInfoState read(const AjaxContext &context, QStringList &scripts);
};

} // namespace ZOZ
