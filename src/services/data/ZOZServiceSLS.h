#pragma once

#include "ZOZService.h"
#include "ZOZSlideStore.h"
#include "ZOZSlsTasks.h"

#include <QElapsedTimer>
#include <QRecursiveMutex>

#include <functional>
#include <memory>
#include <vector>

struct DabMotDecoder;
struct MotHeader;

namespace ZOZ {

class SlsImageManager;

// A SlideShow data service, carried in packet mode or in an audio service's
// X-PAD: MOT objects in header mode become slides, kept per category with
// their trigger and expiry times, cached on disk, and served to the pages
// below the service's web path: the slide page, "?getSlides", "?preview"
// (the active slide, small) and the slides' images by name.
class ServiceSLS : public Service, private SlideFiles, private SlsRunnable
{
    Q_OBJECT

public:
    // The entity buffer: the largest header plus body one slide may have.
    static constexpr uint32_t EntityBufferSize = 512000;
    static const QString PageTemplate;

    explicit ServiceSLS(ServiceDescriptor &descriptor);
    ~ServiceSLS() override;

    void clearData() override;
    void loadCache() override;
    void saveCache() override;
    bool handlePacket(int length, const uchar *const &data) override;
    void setup() override;
    void reload() override;
    bool answerPage(const PageRequest &request, PageAnswer &answer) override;

    // Removes the cached slides of every SlideShow.
    static void clearCache();
    // UNIX seconds for trigger and expiry; the system clock unless a test sets one.
    void setTimeSource(std::function<quint32()> now);
    // The periodic work (previews, alternative images); the task thread calls it.
    void runTasks();

    SlideStore &slides() { return m_slides; }
    // What the service's page values show of the active slide.
    ActiveSlide activeSlide() const { return m_slides.activeSlide(requestPath()); }

private:
    struct FreeDeleter
    {
        void operator()(void *memory) const;
    };

    static int onObject(const uint8_t *object, uint32_t size, const MotHeader *header, void *context);
    int saveSlide(const uint8_t *object, uint32_t size, const MotHeader *header);
    void publishChange();
    quint32 now() const;
    void makePreviews();
    void fetchAlternativeImages();
    bool answerPreview(PageAnswer &answer);
    bool answerSlideFile(const QString &name, PageAnswer &answer);
    bool answerSlidePage(PageAnswer &answer);
    bool cacheWritable(bool imagesToo) const;

    // SlideFiles: the slide cache in the service's folder, as the switches allow.
    void writeSlide(Slide &slide) override;
    void removeSlide(const Slide &slide) override;
    void writeCategory(quint8 categoryId, const QString &title) override;
    // SlsRunnable
    void run() override { runTasks(); }

    QRecursiveMutex m_decoderMutex; // the decoder and its entity buffer
    std::unique_ptr<DabMotDecoder, FreeDeleter> m_decoder;
    std::vector<uint8_t> m_entity;
    SlideStore m_slides;
    std::function<quint32()> m_now;
    QMutex m_taskMutex; // the throttle below
    QElapsedTimer m_altThrottle;
    std::shared_ptr<SlsImageManager> m_images;
    std::shared_ptr<SlsTasks> m_tasks;
};

} // namespace ZOZ
