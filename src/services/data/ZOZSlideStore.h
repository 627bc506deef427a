#pragma once

#include "ZOZSlide.h"

#include <QMap>
#include <QRecursiveMutex>
#include <QVector>

#include <functional>

namespace ZOZ {

class TemplateValue;

// Where the slide store keeps its slides on disk; called under the store's lock.
class SlideFiles
{
public:
    virtual ~SlideFiles() = default;
    virtual void writeSlide(Slide &slide) = 0;
    virtual void removeSlide(const Slide &slide) = 0;
    virtual void writeCategory(quint8 categoryId, const QString &title) = 0;
};

// The slides of one SlideShow, by category: which one is active (trigger
// times), which expired, and the limit on how many stay. Safe to call from
// any thread; `files` is called under the store's lock.
class SlideStore
{
public:
    // More slides than this are evicted, the oldest received first.
    static constexpr int MaxSlides = 100;

    explicit SlideStore(SlideFiles *files);

    // Takes one received object; true when what the pages show changed.
    bool receive(const SlideObject &object, quint32 now);
    // Expiry, activation and the limit at `now` (UNIX seconds; 0 while the
    // time is not known). True when something changed.
    bool update(quint32 now);
    // Restored slides and category titles, then the first update; without
    // an active slide afterwards the newest restored one becomes active.
    void restore(const QVector<SlidePointer> &slides, const QMap<quint8, QString> &titles, quint32 now);
    void clear();

    int count() const;
    SlidePointer active() const;
    ActiveSlide activeSlide(const QString &urlPrefix) const;
    // The first slide whose name or content name is `name`.
    SlidePointer find(const QString &name) const;
    // The "getSlides" answer; slide URLs start with `urlPrefix`.
    TemplateValue slidesAnswer(const QString &urlPrefix) const;
    // The address the pages load a slide's image from.
    static QString slideUrl(const QString &urlPrefix, const Slide &slide);

    // Slides whose previews are due, to make them outside the lock.
    QVector<SlidePointer> slidesWithDuePreviews() const;
    // Stores a preview made from `data`, unless the image changed meanwhile.
    void setPreview(const SlidePointer &slide, bool alternative, const QByteArray &data, const QByteArray &preview);

    // A copy of one of a slide's images, taken under the lock.
    SlideImage imageOf(const SlidePointer &slide, bool alternative) const;
    // Slides whose alternative image is to be fetched; their requests are taken.
    QVector<SlidePointer> takeAlternativeRequests();
    QString alternativeUrlOf(const SlidePointer &slide) const;
    // The result of fetching `url`: the new image, or null when nothing new
    // came (the address is then forgotten until an object brings it again).
    // True when the image changed.
    bool setAlternativeImage(const SlidePointer &slide, const QString &url, const SlideImage *image);

    static QString defaultTitle(quint8 categoryId);

private:
    bool updateCategoryTitle(const SlideObject &object);
    SlidePointer findOrCreate(const SlideObject &object, bool &created);
    void sortCategory(quint8 categoryId);
    bool updateLocked(quint32 now);
    void removeSlide(const SlidePointer &slide);

    mutable QRecursiveMutex m_lock;
    SlideFiles *m_files;
    QMap<quint8, QVector<SlidePointer>> m_slides;
    QMap<quint8, QString> m_titles;
    SlidePointer m_active;
    int m_count = 0;
};

} // namespace ZOZ
