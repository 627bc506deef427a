#include "ZOZDabEnsemble.h"

#include "ZOZDab.h"

#include <QMutexLocker>

#include <algorithm>
#include <cstdlib>

namespace ZOZ {

bool DabUserApplication::operator==(const DabUserApplication &other) const
{
    return valid == other.valid && changed == other.changed && type == other.type
        && packetAddress == other.packetAddress && data == other.data && dscTy == other.dscTy;
}

bool DabServiceComponent::operator==(const DabServiceComponent &other) const
{
    return valid == other.valid && changed == other.changed && serviceId == other.serviceId
        && isPacketMode == other.isPacketMode && packetAddress == other.packetAddress
        && subChId == other.subChId && bitRate == other.bitRate && scId == other.scId
        && scIdS == other.scIdS && dscTy == other.dscTy && label == other.label
        && languageName == other.languageName && audio == other.audio
        && audioChanged == other.audioChanged && dabPlus == other.dabPlus
        && dabPlusAudio == other.dabPlusAudio && userApplications == other.userApplications
        && subChannelChanged == other.subChannelChanged && cuStart == other.cuStart
        && cuCount == other.cuCount && isEep == other.isEep && uepIndex == other.uepIndex
        && protectionCode == other.protectionCode && fecScheme == other.fecScheme;
}

void DabService::clear()
{
    *this = DabService();
}

bool DabService::operator==(const DabService &other) const
{
    return valid == other.valid && changed == other.changed && serviceId == other.serviceId
        && ecc == other.ecc && countryId == other.countryId && label == other.label
        && shortLabel == other.shortLabel && countryName == other.countryName
        && extraText == other.extraText && programmeTypeName == other.programmeTypeName
        && primary == other.primary && components == other.components;
}

void DabDateTime::set(quint32 utcSeconds)
{
    QMutexLocker locker(&m_mutex);
    m_utcSeconds = utcSeconds;
    m_updated.restart();
}

quint32 DabDateTime::utcSeconds() const
{
    QMutexLocker locker(&m_mutex);
    return m_utcSeconds;
}

qint64 DabDateTime::msSinceUpdate() const
{
    QMutexLocker locker(&m_mutex);
    return m_updated.elapsed();
}

DabEnsemble::DabEnsemble(int gridIndex)
    : gridIndex(gridIndex)
{
    clear();
}

DabEnsemble::~DabEnsemble()
{
    freeFicDecoder();
}

DabEnsemble::DabEnsemble(const DabEnsemble &other)
{
    copyFrom(other);
}

DabEnsemble &DabEnsemble::operator=(const DabEnsemble &other)
{
    if (this != &other) {
        freeFicDecoder();
        copyFrom(other);
    }
    return *this;
}

void DabEnsemble::copyFrom(const DabEnsemble &other)
{
    index = other.index;
    gridIndex = other.gridIndex;
    channelResolved = other.channelResolved;
    valid = other.valid;
    changed = other.changed;
    lastSeen = other.lastSeen;
    ensembleId = other.ensembleId;
    label = other.label;
    shortLabel = other.shortLabel;
    frequency = other.frequency;
    walkerIds = other.walkerIds;
    walkerCounts = other.walkerCounts;
    walkerFlag = other.walkerFlag;
    useDefaults = other.useDefaults;
    figResetPending = other.figResetPending;
    rawData = other.rawData;
    services = other.services;
    alarmFlag = other.alarmFlag;
    announcements = other.announcements;
    labelSegments = other.labelSegments;
    figPushes = other.figPushes;
    figPushErrors = other.figPushErrors;
    fibPushes = other.fibPushes;
    fibPushErrors = other.fibPushErrors;
    forceUpdate = other.forceUpdate;
    lastChangeCounter = other.lastChangeCounter;
    std::copy(&other.lastFigCount[0][0], &other.lastFigCount[0][0] + 3 * 32, &lastFigCount[0][0]);
    dateTime = other.dateTime;
    ficDecoder = nullptr;
}

void DabEnsemble::clear()
{
    valid = false;
    changed = false;
    lastSeen.invalidate();
    alarmFlag = 0;
    ensembleId = -1;
    frequency = 0;
    label.clear();
    shortLabel.clear();
    services.clear();
    announcements.clear();
    labelSegments.clear();
    labelSegments.resize(LabelSegmentSlots);
    freeFicDecoder();
    forceUpdate = false;
    lastChangeCounter = -1;
    std::fill(&lastFigCount[0][0], &lastFigCount[0][0] + 3 * 32, -1);
}

void DabEnsemble::clearChanged()
{
    changed = false;
    auto clearComponent = [](DabServiceComponent &component) {
        component.changed = false;
        component.audioChanged = false;
        component.organisationChanged = false;
        for (DabUserApplication &application : component.userApplications)
            application.changed = false;
    };
    for (DabService &service : services) {
        service.changed = false;
        clearComponent(service.primary);
        for (DabServiceComponent &component : service.components)
            clearComponent(component);
    }
}

void DabEnsemble::touch()
{
    lastSeen.restart();
    auto touchComponent = [](DabServiceComponent &component) {
        component.lastSeen.restart();
        component.audioSeen.restart();
        for (DabUserApplication &application : component.userApplications)
            application.lastSeen.restart();
    };
    for (DabService &service : services) {
        service.lastSeen.restart();
        touchComponent(service.primary);
        for (DabServiceComponent &component : service.components)
            touchComponent(component);
    }
}

bool DabEnsemble::createFicDecoder()
{
    freeFicDecoder();
    figPushes = 0;
    figPushErrors = 0;
    fibPushes = 0;
    fibPushErrors = 0;
    FicDecoderConfig config;
    if (DAB_Bb_Ruz_FicDecoderGetDefaultConfig(&config) != FIC_DECODER_OK || config.instanceSize == 0)
        return false;
    auto *instance = static_cast<FicDecoder *>(std::malloc(config.instanceSize));
    if (!instance)
        return false;
    if (DAB_Bb_Ruz_FicDecoderInit(instance) != FIC_DECODER_OK) {
        std::free(instance);
        return false;
    }
    ficDecoder = instance;
    return true;
}

void DabEnsemble::freeFicDecoder()
{
    std::free(ficDecoder);
    ficDecoder = nullptr;
}

void DabEnsemble::resolveChannel()
{
    if (gridIndex < 0 || gridIndex >= DabChannelGridCount || frequency <= 0)
        return;
    const int position = channelPositionOfFrequency(gridIndex, frequency);
    if (position < 0)
        return;
    const DabChannel &channel = channelGrids()[gridIndex].channels[position];
    channelResolved = true;
    index = channelGridBase(gridIndex) + position;
    const QString channelLabel = QString::fromLatin1(channel.label);
    if (label.isEmpty())
        label = channelLabel;
    if (shortLabel.isEmpty())
        shortLabel = channelLabel;
}

bool DabEnsemble::storedFieldsEqual(const DabEnsemble &other) const
{
    return valid == other.valid && changed == other.changed && gridIndex == other.gridIndex
        && ensembleId == other.ensembleId && label == other.label
        && shortLabel == other.shortLabel && frequency == other.frequency
        && services == other.services;
}

} // namespace ZOZ
