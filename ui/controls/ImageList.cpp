#include "ui/controls/ImageList.h"

namespace qm {

TImageList TImageList::FromStrip(const QImage& strip, int width, int height) {
    TImageList list;
    if (width <= 0 || height <= 0) return list;
    for (int x = 0; x + width <= strip.width(); x += width)
        list.Add(QPixmap::fromImage(strip.copy(x, 0, width, height)));
    return list;
}

TImageList TImageList::FromMaskedStrip(const QImage& strip, int width, const QColor& transparent) {
    QImage masked = strip.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = transparent.rgb() & 0x00FFFFFFu;
    for (int y = 0; y < masked.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(masked.scanLine(y));
        for (int x = 0; x < masked.width(); ++x)
            if ((line[x] & 0x00FFFFFFu) == key) line[x] = 0;
    }
    return FromStrip(masked, width, masked.height());
}

QPixmap TImageList::At(int index) const {
    return index >= 0 && index < Count() ? images_.at(index) : QPixmap();
}

}  // namespace qm
