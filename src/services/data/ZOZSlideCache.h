#pragma once

#include "ZOZSlideStore.h"

namespace ZOZ {

// The slides of one SlideShow on disk: each image in a file named by the
// slide's name (the alternative image with "www." in front) and the index
// "slides.ini" beside them. Files that do not open are skipped; a slide left
// without any image is dropped when the cache is read.
class SlideCache : public SlideFiles
{
public:
    static const QString IndexFileName;

    // `folder` ends with "/"; `writeImages` is the permanent-cache switch
    // (removals and category titles are written without it).
    SlideCache(const QString &folder, bool writeImages);

    void writeSlide(Slide &slide) override;
    void removeSlide(const Slide &slide) override;
    void writeCategory(quint8 categoryId, const QString &title) override;

    // The cached slides, old and not pending, and the category titles.
    QVector<SlidePointer> read(QMap<quint8, QString> &titles) const;

    // Removes every folder below `slideShowRoot` that a SlideShow cache made
    // (one holding "slides.ini" or "last.ini").
    static void clearAll(const QString &slideShowRoot);

private:
    QString m_folder;
    bool m_writeImages;
};

} // namespace ZOZ
