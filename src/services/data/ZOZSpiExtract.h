#pragma once

#include "data/ZOZSpiStore.h"

#include <QByteArray>
#include <QString>

namespace ZOZ {

// What the extraction asks of the rest of the program.
class SpiEnvironment
{
public:
    virtual ~SpiEnvironment() = default;
    // The label of the service on air with this SId; false when there is none.
    // Asked before the index is locked.
    virtual bool findServiceLabel(quint32 sid, QString &label) = 0;
    // The logo chosen for a service: `url` names the object that carries it
    // on the SPI service `spiServiceId`. Called under the index write lock.
    virtual void logoChosen(const QString &serviceKey, quint32 sid, const QString &spiServiceId,
                            const QString &url) = 0;
};

// The carrying service of a document and the document.
struct SpiDocument
{
    enum Type { ServiceInformation = 0, ProgrammeInformation = 1, GroupInformation = 2 };

    // Larger bodies are not decoded: five times the SPI service's object buffer.
    static constexpr qsizetype MaxBodyBytes = 1024 * 1024;

    QString spiServiceId; // the carrying service's id text
    quint16 serviceCountryKey = 0;
    bool fullContentIdForm = false;
    int type = ServiceInformation; // the object's content subtype
    QByteArray body;
};

// Decodes one document and files what it tells into the store, under the
// store's write lock. True when the index changed; `now` is UNIX seconds.
bool extractSpiDocument(SpiStore &store, SpiEnvironment &environment, const SpiDocument &document, quint32 now);

// The key under which a service's logo and guide entry are found: the SId
// in hex with the ECC in front.
QString spiServiceKey(quint8 ecc, quint32 sid);

} // namespace ZOZ
