#pragma once

#include "ZOZDabEnsemble.h"

#include <QDataStream>

namespace ZOZ::Test {

// A component with every stored field away from its default.
inline DabServiceComponent sampleComponent(qint64 serviceId, int subChId, bool packet)
{
    DabServiceComponent c;
    c.valid = true;
    c.changed = true;
    c.serviceId = serviceId;
    c.isPacketMode = packet;
    c.packetAddress = packet ? qint16(subChId + 1000) : qint16(-1);
    c.subChId = subChId;
    c.bitRate = 12;
    c.scId = packet ? 0x123 : -1;
    c.scIdS = 2;
    c.dscTy = packet ? 60 : -1;
    c.label = QStringLiteral("Comp \u00e9 %1").arg(subChId);
    c.languageName = QStringLiteral("Slovene");
    c.audio = !packet;
    c.audioChanged = true;
    c.dabPlus = !packet;
    c.dabPlusAudio = !packet;
    c.subChannelChanged = true;
    c.cuStart = 40000; // above 32767: stored in a signed 16-bit field
    c.cuCount = 84;
    c.isEep = true;
    c.uepIndex = 200;
    c.protectionCode = 6;
    c.fecScheme = 1;
    if (packet) {
        DabUserApplication application;
        application.valid = true;
        application.changed = false;
        application.type = 0x44A;
        application.packetAddress = c.packetAddress;
        application.data = QByteArray("\x01\x02\x03", 3);
        application.dscTy = 5;
        c.userApplications.append(application);
    }
    return c;
}

inline DabService sampleService(qint64 serviceId, int firstSubChId)
{
    DabService s;
    s.valid = true;
    s.changed = true;
    s.serviceId = serviceId;
    s.ecc = 0xE4;
    s.countryId = 9;
    s.label = QStringLiteral("Service %1").arg(serviceId, 0, 16);
    s.shortLabel = QStringLiteral("Svc");
    s.countryName = QStringLiteral("Slovenia");
    s.extraText = QStringLiteral("extra");
    s.programmeTypeName = QStringLiteral("Pop Music");
    s.primary = sampleComponent(serviceId, firstSubChId, false);
    s.components.append(sampleComponent(serviceId, firstSubChId + 1, true));
    return s;
}

// An ensemble on a channel of `grid` at `frequency` kHz.
inline std::unique_ptr<DabEnsemble> sampleEnsemble(int grid, int frequency, int services)
{
    auto e = std::make_unique<DabEnsemble>(grid);
    e->valid = true;
    e->changed = true;
    e->ensembleId = 0x1234 + grid;
    e->label = QStringLiteral("Ensemble %1").arg(grid);
    e->shortLabel = QStringLiteral("Ens");
    e->frequency = frequency;
    for (int i = 0; i < services; ++i)
        e->services.append(sampleService(0x4000 + i, 2 * i));
    e->resolveChannel();
    return e;
}

} // namespace ZOZ::Test
