#pragma once

#include "ZOZServiceMOT.h"

#include <atomic>

namespace ZOZ {

// A Broadcast Website: the MOT objects of the carousel served below the
// service's web path as the site's files, the start page the directory
// names, the object list for the page ("?getObjectList"), and the page that
// shows the site. The site's files are broadcast content: the web layer
// serves them sandboxed, apart from the player's own pages and commands.
class ServiceBWS : public ServiceMOT
{
    Q_OBJECT

public:
    static constexpr uint32_t EntityBufferSize = 5120000;
    static const QString PageTemplate;
    static const QString NotAvailableTemplate;

    explicit ServiceBWS(ServiceDescriptor &descriptor);
    ~ServiceBWS() override;

    bool answerPage(const PageRequest &request, PageAnswer &answer) override;

    bool isIndexReceived() const { return m_indexReceived.load(std::memory_order_relaxed); }
    // The start page's name; empty while no complete directory named one.
    QString indexFileName() const;

protected:
    void onDirectory(const MotDirectory *directory) override;
    void onObjectChanged(MotFile *file) override;

private:
    bool answerObjectList(PageAnswer &answer);
    bool answerObject(const QString &name, PageAnswer &answer);
    void setIndexFileName(const QString &name);
    QString indexUrl() const;

    std::atomic<bool> m_indexReceived { false };
    mutable QMutex m_indexMutex; // the name below
    QString m_indexFileName;
};

} // namespace ZOZ
