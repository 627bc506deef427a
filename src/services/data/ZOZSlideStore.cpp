#include "ZOZSlideStore.h"

#include "web/ZOZTemplateValue.h"

#include <QCoreApplication>

#include <algorithm>

namespace ZOZ {

SlideStore::SlideStore(SlideFiles *files)
    : m_files(files)
{
}

QString SlideStore::defaultTitle(quint8 categoryId)
{
    return QCoreApplication::translate("SlideShow", "Category") + QLatin1Char(' ') + QString::number(categoryId);
}

bool SlideStore::updateCategoryTitle(const SlideObject &object)
{
    const quint8 id = object.categoryId;
    QString title;
    if (!object.categoryTitle.isEmpty()) {
        if (m_titles.value(id) == object.categoryTitle)
            return false;
        title = object.categoryTitle;
    } else {
        if (!m_titles.value(id).isEmpty())
            return false;
        title = defaultTitle(id);
    }
    m_titles.insert(id, title);
    if (m_files)
        m_files->writeCategory(id, title);
    return true;
}

SlidePointer SlideStore::findOrCreate(const SlideObject &object, bool &created)
{
    QVector<SlidePointer> &slides = m_slides[object.categoryId];
    for (const SlidePointer &slide : std::as_const(slides)) {
        if ((!object.contentName.isEmpty() && slide->contentName == object.contentName)
            || (!object.name.isEmpty() && slide->name == object.name)) {
            created = false;
            return slide;
        }
    }
    auto slide = std::make_shared<Slide>();
    slides.append(slide);
    ++m_count;
    created = true;
    return slide;
}

bool SlideStore::receive(const SlideObject &object, quint32 now)
{
    QMutexLocker locker(&m_lock);
    bool published = object.categoryId != 0 && updateCategoryTitle(object);
    SlidePointer slide;
    if (object.contentType == SlideObject::Image && !object.body.isEmpty()) {
        bool created = false;
        slide = findOrCreate(object, created);
        if (!created && slide->name != object.name && m_files)
            m_files->removeSlide(*slide);
        slide->pending = true;
        slide->isOld = false;
        slide->categoryId = object.categoryId;
        slide->slideId = object.slideId;
        slide->contentName = object.contentName;
        slide->name = object.name;
        if (slide->image.data != object.body) {
            slide->image.time = QDateTime::currentDateTimeUtc();
            slide->image.mime = object.mime;
            slide->image.data = object.body;
            slide->image.preview.clear();
            slide->image.previewDue = true;
            slide->altImage = SlideImage();
        }
        slide->triggerValid = object.triggerValid;
        slide->trigger = object.trigger;
        slide->expireValid = object.expireValid;
        slide->expire = object.expire;
    } else if (object.contentType == SlideObject::Transport) {
        bool created = false;
        slide = findOrCreate(object, created);
        if (created) {
            slide->categoryId = object.categoryId;
            slide->slideId = object.slideId;
            slide->contentName = object.contentName;
        }
        slide->trigger = object.trigger;
        slide->triggerValid = object.triggerValid && slide->hasImage();
        slide->pending = slide->pending || slide->triggerValid;
    }
    if (slide) {
        slide->received = now;
        if (!object.link.isEmpty())
            slide->link = object.link;
        if (!object.altUrl.isEmpty()) {
            slide->altUrl = object.altUrl;
            slide->altPending = true;
        }
        if (m_files)
            m_files->writeSlide(*slide);
        published = true;
    }
    if (!published)
        return false;
    sortCategory(object.categoryId);
    updateLocked(now);
    return true;
}

void SlideStore::sortCategory(quint8 categoryId)
{
    auto found = m_slides.find(categoryId);
    if (found == m_slides.end())
        return;
    QVector<SlidePointer> &slides = found.value();
    std::stable_sort(slides.begin(), slides.end(),
                     [](const SlidePointer &a, const SlidePointer &b) { return a->received < b->received; });
    if (categoryId != 0) {
        std::stable_sort(slides.begin(), slides.end(),
                         [](const SlidePointer &a, const SlidePointer &b) { return a->slideId < b->slideId; });
    }
}

bool SlideStore::update(quint32 now)
{
    QMutexLocker locker(&m_lock);
    return updateLocked(now);
}

void SlideStore::removeSlide(const SlidePointer &slide)
{
    auto found = m_slides.find(slide->categoryId);
    if (found != m_slides.end()) {
        found->removeOne(slide);
        if (found->isEmpty()) {
            if (slide->categoryId != 0)
                m_titles.remove(slide->categoryId);
            m_slides.erase(found);
        }
    }
    --m_count;
    if (m_files)
        m_files->removeSlide(*slide);
}

bool SlideStore::updateLocked(quint32 now)
{
    const int noted = m_count;
    bool changed = false;
    QVector<SlidePointer> expired;
    QVector<SlidePointer> candidates;
    for (auto category = m_slides.cbegin(); category != m_slides.cend(); ++category) {
        for (const SlidePointer &slide : category.value()) {
            if (slide->expireValid && slide->expire <= now) {
                expired.append(slide);
                continue;
            }
            if (noted > MaxSlides)
                candidates.append(slide);
            if (slide->pending && slide->hasImage() && slide->triggerValid
                && (slide->trigger == 0 || slide->trigger <= now)) {
                m_active = slide;
                slide->pending = false;
                changed = true;
            }
        }
    }
    for (const SlidePointer &slide : std::as_const(expired)) {
        // An expired category keeps its title: only the limit drops titles.
        const QString title = m_titles.value(slide->categoryId);
        removeSlide(slide);
        if (!title.isEmpty())
            m_titles.insert(slide->categoryId, title);
        if (m_active == slide)
            m_active.reset();
        changed = true;
    }
    bool again = false;
    if (m_count > MaxSlides) {
        std::stable_sort(candidates.begin(), candidates.end(),
                         [](const SlidePointer &a, const SlidePointer &b) { return a->received < b->received; });
        for (const SlidePointer &slide : std::as_const(candidates)) {
            if (m_count <= MaxSlides)
                break;
            removeSlide(slide);
            if (m_active == slide) {
                m_active.reset();
                again = true;
            }
            changed = true;
        }
    }
    if (again)
        updateLocked(now);
    return changed;
}

void SlideStore::restore(const QVector<SlidePointer> &slides, const QMap<quint8, QString> &titles, quint32 now)
{
    QMutexLocker locker(&m_lock);
    for (auto it = titles.cbegin(); it != titles.cend(); ++it)
        m_titles.insert(it.key(), it.value());
    for (const SlidePointer &slide : slides) {
        // Restoring twice (the service's start and its parent's) keeps one of each.
        if (find(slide->name))
            continue;
        m_slides[slide->categoryId].append(slide);
        ++m_count;
        if (slide->categoryId != 0 && m_titles.value(slide->categoryId).isEmpty())
            m_titles.insert(slide->categoryId, defaultTitle(slide->categoryId));
    }
    for (auto it = m_slides.cbegin(); it != m_slides.cend(); ++it)
        sortCategory(it.key());
    updateLocked(now);
    if (m_active)
        return;
    if (!m_slides.value(0).isEmpty()) {
        m_active = m_slides.value(0).last();
        return;
    }
    for (auto it = m_slides.cbegin(); it != m_slides.cend(); ++it) {
        if (!it->isEmpty() && (!m_active || it->last()->received > m_active->received))
            m_active = it->last();
    }
}

void SlideStore::clear()
{
    QMutexLocker locker(&m_lock);
    m_slides.clear();
    m_titles.clear();
    m_active.reset();
    m_count = 0;
}

int SlideStore::count() const
{
    QMutexLocker locker(&m_lock);
    return m_count;
}

SlidePointer SlideStore::active() const
{
    QMutexLocker locker(&m_lock);
    return m_active;
}

ActiveSlide SlideStore::activeSlide(const QString &urlPrefix) const
{
    QMutexLocker locker(&m_lock);
    ActiveSlide shown;
    if (m_active) {
        shown.url = slideUrl(urlPrefix, *m_active);
        shown.isOld = m_active->isOld;
        shown.categoryId = m_active->categoryId;
        shown.link = m_active->link;
    }
    return shown;
}

SlidePointer SlideStore::find(const QString &name) const
{
    QMutexLocker locker(&m_lock);
    for (const QVector<SlidePointer> &slides : m_slides) {
        for (const SlidePointer &slide : slides) {
            if (slide->name == name || slide->contentName == name)
                return slide;
        }
    }
    return nullptr;
}

QString SlideStore::slideUrl(const QString &urlPrefix, const Slide &slide)
{
    return urlPrefix + (slide.altImage.data.isEmpty() ? QString() : QStringLiteral("www.")) + slide.name;
}

TemplateValue SlideStore::slidesAnswer(const QString &urlPrefix) const
{
    QMutexLocker locker(&m_lock);
    const ActiveSlide shown = activeSlide(urlPrefix);
    TemplateValue active(QStringLiteral("active"), TemplateValue::Map);
    active << TemplateValue(QStringLiteral("url"), shown.url) << TemplateValue(QStringLiteral("isOld"), shown.isOld)
           << TemplateValue(QStringLiteral("CID"), uint(shown.categoryId))
           << TemplateValue(QStringLiteral("link"), shown.link);
    TemplateValue categories(QStringLiteral("categories"), TemplateValue::List);
    for (auto it = m_slides.cbegin(); it != m_slides.cend(); ++it) {
        TemplateValue list(QStringLiteral("slides"), TemplateValue::List);
        for (const SlidePointer &slide : it.value()) {
            if (!slide->hasImage())
                continue;
            TemplateValue entry;
            entry << TemplateValue(QStringLiteral("link"), slide->link)
                  << TemplateValue(QStringLiteral("isOld"), slide->isOld)
                  << TemplateValue(QStringLiteral("url"), slideUrl(urlPrefix, *slide))
                  << TemplateValue(QStringLiteral("md5"), slide->name)
                  << TemplateValue(QStringLiteral("SID"), uint(slide->slideId));
            list << entry;
        }
        TemplateValue category;
        category << list << TemplateValue(QStringLiteral("title"), m_titles.value(it.key()))
                 << TemplateValue(QStringLiteral("CID"), uint(it.key()));
        categories << category;
    }
    TemplateValue answer;
    answer << TemplateValue(QStringLiteral("success"), true) << active << categories;
    return answer;
}

QVector<SlidePointer> SlideStore::slidesWithDuePreviews() const
{
    QMutexLocker locker(&m_lock);
    QVector<SlidePointer> due;
    for (const QVector<SlidePointer> &slides : m_slides) {
        for (const SlidePointer &slide : slides) {
            if (slide->image.previewDue || slide->altImage.previewDue)
                due.append(slide);
        }
    }
    return due;
}

void SlideStore::setPreview(const SlidePointer &slide, bool alternative, const QByteArray &data,
                            const QByteArray &preview)
{
    QMutexLocker locker(&m_lock);
    SlideImage &image = alternative ? slide->altImage : slide->image;
    if (image.data != data)
        return;
    image.preview = preview;
    image.previewDue = false;
}

SlideImage SlideStore::imageOf(const SlidePointer &slide, bool alternative) const
{
    QMutexLocker locker(&m_lock);
    return alternative ? slide->altImage : slide->image;
}

QVector<SlidePointer> SlideStore::takeAlternativeRequests()
{
    QMutexLocker locker(&m_lock);
    QVector<SlidePointer> requests;
    for (const QVector<SlidePointer> &slides : std::as_const(m_slides)) {
        for (const SlidePointer &slide : slides) {
            if (slide->altPending) {
                slide->altPending = false;
                requests.append(slide);
            }
        }
    }
    return requests;
}

QString SlideStore::alternativeUrlOf(const SlidePointer &slide) const
{
    QMutexLocker locker(&m_lock);
    return slide->altUrl;
}

bool SlideStore::setAlternativeImage(const SlidePointer &slide, const QString &url, const SlideImage *image)
{
    QMutexLocker locker(&m_lock);
    if (slide->altUrl != url)
        return false; // a newer object named another address meanwhile
    if (image)
        slide->altImage = *image;
    else
        slide->altUrl.clear();
    if (m_files)
        m_files->writeSlide(*slide);
    return image != nullptr;
}

} // namespace ZOZ
