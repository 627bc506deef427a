#pragma once

#include "ZOZDabEnsemble.h"
#include "base/ZOZStorage.h"

#include <QList>

namespace ZOZ {

// The ensemble database on disk ("DAB.default.zoz" in the data folder), so
// that the program starts without a new scan. Construction imports a legacy
// "DAB.dat" once when there is no cache file yet.
class DABEnsembleCache : public Storage
{
public:
    static const QString DefaultFileName;
    static const QString LegacyFileName;

    DABEnsembleCache(const QString &directory, const QString &fileName = DefaultFileName);

    bool isValid() const override { return m_valid; }

    // Replaces `ensembles` and `excluded` with the file's content. A damaged
    // file changes nothing, is logged and gives false.
    bool read(QString &setName, QList<DabEnsembleCacheEntry> &excluded, DabEnsembleMap &ensembles);
    bool write(const QString &setName, const QList<DabEnsembleCacheEntry> &excluded,
               const DabEnsembleMap &ensembles);

private:
    void importLegacyFile();
};

} // namespace ZOZ
