#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <memory>

namespace ZOZ {

// One image of a slide: the broadcast's or the one its alternative location holds.
struct SlideImage
{
    QDateTime time;
    QString mime;
    QByteArray data;
    QByteArray preview;      // empty until made, and for images that do not decode
    bool previewDue = false; // data arrived whose preview is not made yet
};

// One slide of a SlideShow. Received slides start pending; one that the
// cache restored is old and not pending.
struct Slide
{
    bool pending = true;
    bool isOld = false;
    quint8 categoryId = 0;
    quint8 slideId = 0;
    QString contentName;
    QString name; // the file name: the body's digest as 32 hex digits
    QString link; // the click-through address
    SlideImage image;
    SlideImage altImage;
    QString altUrl;
    bool altPending = false;
    quint32 received = 0; // UNIX seconds
    bool triggerValid = false;
    quint32 trigger = 0; // UNIX seconds; 0 is "now"
    bool expireValid = false;
    quint32 expire = 0;

    bool hasImage() const { return !image.data.isEmpty() || !altImage.data.isEmpty(); }
    // The image the pages show: the alternative one when there is one.
    const SlideImage &shownImage() const { return altImage.data.isEmpty() ? image : altImage; }
};

using SlidePointer = std::shared_ptr<Slide>;

// What the pages show of the active slide; an empty URL without one.
struct ActiveSlide
{
    QString url;
    bool isOld = false;
    quint8 categoryId = 0;
    QString link;
};

// What one MOT object brings to the slide store, read from its header.
struct SlideObject
{
    enum ContentType { Image = 2, Transport = 5 };

    int contentType = 0;
    quint8 categoryId = 0;
    quint8 slideId = 0;
    bool triggerValid = false;
    quint32 trigger = 0;
    bool expireValid = false;
    quint32 expire = 0;
    QString categoryTitle;
    QString link;
    QString altUrl;
    QString contentName; // already made safe as a file name
    QString name;        // the body's digest; empty without a body
    QString mime;
    QByteArray body;
};

} // namespace ZOZ
