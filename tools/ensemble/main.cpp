// zoz-ensemble: writes the ETI-NI recording of a described test ensemble.
#include "DescriptionReader.h"
#include "EnsembleGenerator.h"

#include "zoz_eti.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <vector>

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() != 3) {
        std::fprintf(stderr, "usage: zoz-ensemble <description.json> <output.eti | ->\n"
                             "Writes the ensemble as ETI-NI frames; \"-\" writes to standard output.\n");
        return 2;
    }
    ZOZ::EnsembleGen::DescriptionFile description;
    QString error;
    QStringList warnings;
    const bool ok = ZOZ::EnsembleGen::readDescription(arguments[1], &description, &error, &warnings);
    for (const QString &warning : warnings)
        std::fprintf(stderr, "zoz-ensemble: %s\n", qPrintable(warning));
    if (!ok) {
        std::fprintf(stderr, "zoz-ensemble: %s\n", qPrintable(error));
        return 1;
    }
    const bool toStandardOutput = arguments[2] == QLatin1String("-");
    FILE *out = toStandardOutput ? stdout : std::fopen(qPrintable(arguments[2]), "wb");
    if (!out) {
        std::fprintf(stderr, "zoz-ensemble: cannot write %s\n", qPrintable(arguments[2]));
        return 1;
    }
    ZOZ::EnsembleGen::EnsembleGenerator generator(std::move(description.description));
    std::vector<uint8_t> frame(ZOZ_ETI_FRAME_SIZE);
    bool written = true;
    for (int n = 0; n < description.frames && written; ++n)
        if (generator.nextFrame(frame.data()))
            written = std::fwrite(frame.data(), 1, frame.size(), out) == frame.size();
    written = (toStandardOutput ? std::fflush(out) : std::fclose(out)) == 0 && written;
    if (!written) {
        std::fprintf(stderr, "zoz-ensemble: writing %s failed\n", qPrintable(arguments[2]));
        return 1;
    }
    return 0;
}
