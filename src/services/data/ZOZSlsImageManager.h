#pragma once

#include "ZOZSlide.h"

#include <QElapsedTimer>
#include <QMap>
#include <QMutex>

#include <memory>

namespace ZOZ {

// Fetches the alternative images slides point to, over HTTP or HTTPS, and
// keeps each for an hour so that services naming the same address share one
// download. Shared by all SlideShow services like the task thread.
class SlsImageManager
{
public:
    static constexpr qint64 KeepMs = 3600000;
    // A silent server is given up after TimeoutMs, a slow one after
    // TotalTimeoutMs: both below the time the task thread is given to end.
    static constexpr int TimeoutMs = 5000;
    static constexpr int TotalTimeoutMs = 8000;
    // The largest image taken from the network.
    static constexpr qint64 MaxBytes = 16 * 1024 * 1024;

    static std::shared_ptr<SlsImageManager> shared();

    // Fills `image` from `url` (synchronously, on the calling thread); true
    // when its data changed. Only http and https addresses are fetched.
    bool download(const QString &url, SlideImage &image);

private:
    struct Entry
    {
        QElapsedTimer age;
        SlideImage image;
    };

    static bool fetch(const QString &url, SlideImage &image);
    static bool take(const SlideImage &from, SlideImage &image);

    QMutex m_mutex;
    QMap<QString, Entry> m_entries;
};

} // namespace ZOZ
