// Service links resolved from a copy of the service tree.
#include "ZOZServiceUriTable.h"

#include <gtest/gtest.h>

using ZOZ::ServiceUriTable;

namespace {

ServiceUriTable sampleTable()
{
    ServiceUriTable table;
    ServiceUriTable::Entry radio;
    radio.ensembleIdentifier = 0x10BC;
    radio.serviceIdentifier = 0xD201;
    radio.shortname = QStringLiteral("audio");
    radio.requestPath = QStringLiteral("audio-1/");
    radio.children = {{QStringLiteral("sls"), QStringLiteral("sls-2/")},
                      {QStringLiteral("journaline"), QStringLiteral("journaline-3/")},
                      {QStringLiteral("sls"), QStringLiteral("sls-4/")}};
    ServiceUriTable::Entry data;
    data.ensembleIdentifier = 0x10BD;
    data.serviceIdentifier = 0xE4D2F001; // 32 bits: kept unsigned
    data.shortname = QStringLiteral("spi");
    data.requestPath = QStringLiteral("spi-5/");
    table.entries = {radio, data};
    return table;
}

} // namespace

TEST(ServiceUriTable, ResolvesTheNamedApplicationOrLeavesTheLink)
{
    const ServiceUriTable table = sampleTable();
    struct Case {
        const char *name;
        QByteArray uri;
        QByteArray expected;
    } cases[] = {
        {"first application of its kind", "dab.srv.sls://0xd201/a.jpg", "sls-2/a.jpg"},
        {"second by its index", "dab.srv.sls://0x10bc:0xd201.1/a.jpg", "sls-4/a.jpg"},
        {"index past the children names the service", "dab.srv.sls://0xd201.2/a.jpg", "dab.srv.sls://0xd201.2/a.jpg"},
        {"service of 32 bits, its own kind", "dab.srv.spi://0xe4d2f001/x", "spi-5/x"},
        {"ensemble differs", "dab.srv.spi://0x10bc:0xe4d2f001/x", "dab.srv.spi://0x10bc:0xe4d2f001/x"},
        {"no application named, the service has a kind", "dab.srv://0xd201/", "dab.srv://0xd201/"},
        {"all bits set names no service", "dab.srv.sls://0xffffffff/", "dab.srv.sls://0xffffffff/"},
        {"link text around the URI", "see dab.srv.sls://0xd201/x", "sls-2/x"},
        {"no service URI", "https://example.org/", "https://example.org/"},
        {"empty", "", ""},
    };
    for (const Case &c : cases) {
        QByteArray uri = c.uri;
        const bool resolved = table.resolve(uri);
        EXPECT_EQ(uri, c.expected) << c.name;
        EXPECT_EQ(resolved, c.expected != c.uri) << c.name;
    }
    QByteArray uri = "dab.srv.sls://0xd201/x";
    EXPECT_FALSE(ServiceUriTable().resolve(uri)) << "an empty table resolves nothing";
}
