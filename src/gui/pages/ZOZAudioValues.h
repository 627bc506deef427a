#pragma once

#include "audio/ZOZServiceAudio.h"
#include "web/ZOZTemplateValue.h"

namespace ZOZ {

class ServiceManager;

// The page values of an audio service: its format, codec and bit rates, the
// Dynamic Label text, the DL Plus items and the intelliText menus.

// One channel entry of the state poll.
TemplateValue audioJson(const AudioServiceInfo &info);
// "dlPlusInfo": one entry per content group (Item, Info, Programme,
// Interactivity, Descriptor) that has a text; the item group only while the
// programme item runs.
TemplateValue dlPlusJson(const AudioTexts &texts);
// "intelliTextInfo": the menus by name, each sub-menu with its texts.
TemplateValue intelliTextJson(const AudioTexts &texts);
// The name of a DL Plus content type, in the user's language; "unknown" for a
// type without one.
QString dlPlusTypeName(int type);

// What the pages show of every visible audio service and its audio components.
QVector<AudioServiceInfo> visibleAudioServices(const ServiceManager &manager);
// "channels": the entry of each of them.
TemplateValue channelsValue(const QVector<AudioServiceInfo> &services);

} // namespace ZOZ
