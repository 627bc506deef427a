#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QString>

namespace ZOZ {

class Pointer;

// A request for a page or file below a source's own path, as the web layer
// hands it on. Plain data: a source answers it without knowing HTTP.
struct PageRequest
{
    QString path;                 // directory part, "" or ending with "/", never starting with "/"
    QString file;                 // after the last "/", before "?"
    QMap<QString, QString> query; // keys as sent, values decoded
};

// What a source answers; the web layer turns it into the HTTP response.
struct PageAnswer
{
    int status = 200;
    QString mimeType;    // e.g. "image/svg+xml"; empty: taken from the file name
    QByteArray body;
    QString filePath;    // the file the body came from
    QDateTime lastModified;
    // Received over the air (a Broadcast Website's files): served as it is,
    // apart from the player's pages and commands; its type from `mimeType`,
    // else from the extension of `contentName`.
    bool broadcastContent = false;
    QString contentName;
};

// Told when a source's refresh cycle moves, so that a page polling the cycle
// reloads.
class PageCycleObserver
{
public:
    virtual ~PageCycleObserver() = default;
    virtual void pageCycleChanged(int cycle) = 0;
};

// Something that answers the pages below its own web path (a service does).
// Called from the web layer's connection threads, several at once.
class PageSource
{
public:
    virtual ~PageSource() = default;

    // The relative path prefix the source answers below, ending with "/".
    virtual QString pagePath() const = 0;
    virtual int pageRefreshCycle() const = 0;
    // True when the answer was filled.
    virtual bool answerPage(const PageRequest &request, PageAnswer &answer) = 0;
    // Null detaches; the source calls the observer from any thread.
    virtual void setPageCycleObserver(PageCycleObserver *observer) = 0;
    // The counted object the web layer holds while the source is registered.
    virtual Pointer *pageReference() = 0;
};

// Where sources register while they are on air; the web layer implements it.
class PageSourceRegistry
{
public:
    virtual ~PageSourceRegistry() = default;
    virtual void addPageSource(PageSource *source) = 0;
    virtual void removePageSource(PageSource *source) = 0;
};

} // namespace ZOZ
