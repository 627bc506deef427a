#pragma once

#include "ZOZService.h"
#include "ZOZServiceUriTable.h"
#include "base/ZOZStorage.h"
#include "web/ZOZTemplateVariable.h"

#include <QByteArray>
#include <QRecursiveMutex>

#include <memory>

class HtmlTemplate;
class NSJRendererHTML;

namespace ZOZ {

// The decoded object cache of a Journaline service on disk ("last.zoz" in
// the service's cache folder): one byte array, the provider's export.
class JournalineCache : public Storage
{
public:
    static constexpr quint32 FormatVersion = 1;
    // Far above what a decoder cache grows to; a larger record is damage.
    static constexpr quint32 MaxBytes = 8 * 1024 * 1024;

    explicit JournalineCache(const QString &directory);
    bool isValid() const override { return m_valid; }
    bool read(QByteArray &objects);
    bool write(const QByteArray &objects);
};

// A Journaline data service: its data groups feed one HTML renderer, which
// answers the service's pages (menus, articles, statistics, KML) below the
// service's own web path; the decoded objects survive a restart in its cache.
class ServiceJournaline : public Service
{
    Q_OBJECT

public:
    static const QString CacheFileName;

    explicit ServiceJournaline(ServiceDescriptor &descriptor);
    ~ServiceJournaline() override;

    void clearData() override;
    void loadCache() override;
    void saveCache() override;
    bool handlePacket(int length, const uchar *const &data) override;
    void setup() override;
    void reload() override;
    bool answerPage(const PageRequest &request, PageAnswer &answer) override;
    void settingChanged(const QVector<int> &ids) override;

    // False when the renderer could not be started.
    bool isRunning() const;

private:
    // What a page shows of the other services: the links' targets and this
    // service's own values. Taken under the service-list lock before the
    // service lock, never inside it.
    struct PageSnapshot
    {
        ServiceUriTable links;
        QVector<TemplateVariable> ownValues;
    };

    void applySettings();
    void installRegistry();
    PageSnapshot takePageSnapshot() const;
    static std::string resolveLink(const std::string &link, void *context);
    static void expandTemplate(::HtmlTemplate *page, void *context);

    QRecursiveMutex m_lock; // guards the renderer and the snapshot
    std::unique_ptr<NSJRendererHTML> m_renderer;
    PageSnapshot m_snapshot;
};

} // namespace ZOZ
