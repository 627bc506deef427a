#include "ZOZSlideCache.h"

#include "web/ZOZResourcePath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QSettings>

namespace ZOZ {

namespace {

const QString CategoriesGroup = QStringLiteral("categories");
const QString AltPrefix = QStringLiteral("www.");

// A slide's name is a file name of its own folder, never a path.
bool isPlainName(const QString &name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'))
           && name != QLatin1String(".") && name != QLatin1String("..");
}

QString mimeForName(const QString &name)
{
    const QMimeType type = QMimeDatabase().mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    return type.isDefault() ? QStringLiteral("image/jpeg") : type.name();
}

bool writeFile(const QString &path, const QByteArray &data, QDateTime &time)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size())
        return false;
    file.close();
    time = QFileInfo(path).lastModified().toUTC();
    return true;
}

bool readFile(const QString &path, SlideImage &image, const QString &mime)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    image.data = file.readAll();
    if (image.data.isEmpty())
        return false;
    image.mime = mime;
    image.time = QFileInfo(path).lastModified().toUTC();
    image.previewDue = true;
    return true;
}

} // namespace

const QString SlideCache::IndexFileName = QStringLiteral("slides.ini");

SlideCache::SlideCache(const QString &folder, bool writeImages)
    : m_folder(folder)
    , m_writeImages(writeImages)
{
}

void SlideCache::writeSlide(Slide &slide)
{
    if (!m_writeImages || m_folder.isEmpty() || !isPlainName(slide.name))
        return;
    QDir().mkpath(m_folder);
    const QString imagePath = m_folder + slide.name;
    if (!slide.image.data.isEmpty() && !QFileInfo::exists(imagePath))
        writeFile(imagePath, slide.image.data, slide.image.time);
    const QString altPath = m_folder + AltPrefix + slide.name;
    if (slide.altImage.data.isEmpty())
        QFile::remove(altPath);
    else
        writeFile(altPath, slide.altImage.data, slide.altImage.time);

    QSettings index(m_folder + IndexFileName, QSettings::IniFormat);
    index.beginGroup(slide.name);
    index.setValue(QStringLiteral("CID"), uint(slide.categoryId));
    index.setValue(QStringLiteral("SID"), uint(slide.slideId));
    index.setValue(QStringLiteral("name"), slide.contentName);
    index.setValue(QStringLiteral("link"), slide.link);
    index.setValue(QStringLiteral("imgMime"), slide.image.mime);
    index.setValue(QStringLiteral("imgAltMime"), slide.altImage.mime);
    index.setValue(QStringLiteral("imgAltUrl"), slide.altUrl);
    index.setValue(QStringLiteral("timeReceived"), slide.received);
    index.setValue(QStringLiteral("timeTriggerValid"), slide.triggerValid);
    index.setValue(QStringLiteral("timeTrigger"), slide.trigger);
    index.setValue(QStringLiteral("timeExpirationValid"), slide.expireValid);
    index.setValue(QStringLiteral("timeExpiration"), slide.expire);
    index.endGroup();
}

void SlideCache::removeSlide(const Slide &slide)
{
    if (m_folder.isEmpty() || !isPlainName(slide.name))
        return;
    QFile::remove(m_folder + slide.name);
    QFile::remove(m_folder + AltPrefix + slide.name);
    QSettings index(m_folder + IndexFileName, QSettings::IniFormat);
    index.remove(slide.name);
}

void SlideCache::writeCategory(quint8 categoryId, const QString &title)
{
    if (m_folder.isEmpty())
        return;
    QDir().mkpath(m_folder);
    QSettings index(m_folder + IndexFileName, QSettings::IniFormat);
    index.setValue(CategoriesGroup + QLatin1Char('/') + QString::number(categoryId), title);
}

QVector<SlidePointer> SlideCache::read(QMap<quint8, QString> &titles) const
{
    QVector<SlidePointer> slides;
    if (m_folder.isEmpty() || !QFileInfo::exists(m_folder + IndexFileName))
        return slides;
    QSettings index(m_folder + IndexFileName, QSettings::IniFormat);
    // A damaged index is passed over whole: the slides come again on air.
    if (index.status() != QSettings::NoError)
        return slides;
    index.beginGroup(CategoriesGroup);
    for (const QString &key : index.childKeys()) {
        bool ok = false;
        const uint id = key.toUInt(&ok);
        if (!ok || id > 255)
            continue;
        const QString title = index.value(key).toString();
        titles.insert(quint8(id), title.isEmpty() ? SlideStore::defaultTitle(quint8(id)) : title);
    }
    index.endGroup();

    QStringList dropped;
    for (const QString &group : index.childGroups()) {
        if (group == CategoriesGroup)
            continue;
        if (!isPlainName(group)) {
            dropped.append(group);
            continue;
        }
        index.beginGroup(group);
        auto slide = std::make_shared<Slide>();
        slide->pending = false;
        slide->isOld = true;
        slide->name = group;
        slide->categoryId = quint8(qBound(0u, index.value(QStringLiteral("CID"), 0).toUInt(), 255u));
        slide->slideId = quint8(qBound(0u, index.value(QStringLiteral("SID"), 0).toUInt(), 255u));
        slide->contentName = index.value(QStringLiteral("name")).toString();
        slide->link = index.value(QStringLiteral("link")).toString();
        const QString mime = index.value(QStringLiteral("imgMime"), mimeForName(group)).toString();
        const QString altMime = index.value(QStringLiteral("imgAltMime"), mimeForName(group)).toString();
        slide->altUrl = index.value(QStringLiteral("imgAltUrl")).toString();
        slide->received = index.value(QStringLiteral("timeReceived"), 0).toUInt();
        slide->triggerValid = index.value(QStringLiteral("timeTriggerValid"), false).toBool();
        slide->trigger = index.value(QStringLiteral("timeTrigger"), 0).toUInt();
        slide->expireValid = index.value(QStringLiteral("timeExpirationValid"), false).toBool();
        slide->expire = index.value(QStringLiteral("timeExpiration"), 0).toUInt();
        index.endGroup();
        readFile(m_folder + group, slide->image, mime);
        readFile(m_folder + AltPrefix + group, slide->altImage, altMime);
        if (!slide->hasImage()) {
            dropped.append(group);
            continue;
        }
        slides.append(slide);
    }
    for (const QString &group : std::as_const(dropped))
        index.remove(group);
    return slides;
}

void SlideCache::clearAll(const QString &slideShowRoot)
{
    const QDir root(slideShowRoot);
    for (const QString &entry : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString folder = root.filePath(entry) + QLatin1Char('/');
        if (QFileInfo::exists(folder + IndexFileName) || QFileInfo::exists(folder + QStringLiteral("last.ini")))
            removeDirectory(folder);
    }
}

} // namespace ZOZ
