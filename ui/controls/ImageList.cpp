#include "ui/controls/ImageList.h"

namespace qm {

TImageList TImageList::FromStrip(const QImage& strip, int width, int height) {
    TImageList list;
    if (width <= 0 || height <= 0) return list;
    for (int x = 0; x + width <= strip.width(); x += width)
        list.Add(QPixmap::fromImage(strip.copy(x, 0, width, height)));
    return list;
}

}  // namespace qm
