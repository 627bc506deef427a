#pragma once

#include <QByteArray>
#include <QString>

namespace ZOZ {

// The small picture the pages show of a slide: at most 160 × 120, in the
// format its MIME text names. Empty for data that do not decode. Decoding a
// large image takes long, so it runs on the SlideShow task thread or for
// the page that asks, never on the thread that delivers broadcast data.
QByteArray makeSlidePreview(const QByteArray &data, const QString &mime);

} // namespace ZOZ
