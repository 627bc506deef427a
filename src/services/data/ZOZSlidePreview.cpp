#include "ZOZSlidePreview.h"

#include <QBuffer>
#include <QImage>

namespace ZOZ {

QByteArray makeSlidePreview(const QByteArray &data, const QString &mime)
{
    QImage image;
    if (data.isEmpty() || !image.loadFromData(data))
        return {};
    // A fast step down to twice the size, then a smooth one, keeps large
    // images cheap and small ones sharp.
    const QImage preview = image.scaled(320, 240, Qt::KeepAspectRatio, Qt::FastTransformation)
                               .scaled(160, 120, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    const QByteArray format = mime.section(QLatin1Char('/'), 1).toLatin1();
    if (!preview.save(&buffer, format.isEmpty() ? "png" : format.constData()))
        return {};
    return out;
}

} // namespace ZOZ
