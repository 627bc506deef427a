// Feeds arbitrary bytes to the programme guide: as a document body (service,
// programme or group information, either content-ID form) decoded into a
// store, and as the stored index of "db.zoz". Every element is decoded from
// a buffer of exactly its size; whatever the store keeps must survive its
// stored form unchanged.
#include "data/ZOZSpiElement.h"
#include "data/ZOZSpiExtract.h"
#include "data/ZOZSpiStore.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

// Set-up byte.
constexpr uint8_t FullForm = 0x01;
constexpr int TypeShift = 1; // two bits: the document type, 3 = the stored index

class Environment : public ZOZ::SpiEnvironment
{
public:
    bool findServiceLabel(quint32 sid, QString &label) override
    {
        label = QStringLiteral("Service");
        return sid % 2 == 0;
    }
    void logoChosen(const QString &, quint32, const QString &, const QString &url) override
    {
        if (url.size() > ZOZ::SpiDocument::MaxBodyBytes)
            std::abort();
    }
};

void checkRoundTrip(const ZOZ::SpiIndex &index)
{
    const QByteArray stored = ZOZ::SpiIndexStream::write(index);
    ZOZ::SpiIndex back;
    if (!ZOZ::SpiIndexStream::read(stored, back) || ZOZ::SpiIndexStream::write(back) != stored)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    const uint8_t setup = data[0];
    const quint16 countryKey = quint16((data[1] << 8) | data[2]);
    const std::vector<uchar> body(data + 3, data + size);
    const int type = (setup >> TypeShift) & 3;

    if (type == 3) {
        ZOZ::SpiIndex index;
        ZOZ::SpiIndexStream::read(QByteArray(reinterpret_cast<const char *>(body.data()), qsizetype(body.size())), index);
        checkRoundTrip(index);
        return 0;
    }

    ZOZ::SpiDecodeContext context;
    context.serviceCountryKey = countryKey;
    context.fullContentIdForm = (setup & FullForm) != 0;
    const ZOZ::SpiElement root = ZOZ::decodeSpiElement(body.data(), quint32(body.size()), context);
    if (root.size > body.size())
        std::abort();

    ZOZ::SpiDocument document;
    document.spiServiceId = QStringLiteral("fuzz");
    document.serviceCountryKey = countryKey;
    document.fullContentIdForm = context.fullContentIdForm;
    document.type = type;
    document.body = QByteArray(reinterpret_cast<const char *>(body.data()), qsizetype(body.size()));
    ZOZ::SpiStore store;
    Environment environment;
    ZOZ::extractSpiDocument(store, environment, document, 1800000000);
    checkRoundTrip(store.index);
    return 0;
}
