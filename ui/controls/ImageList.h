#pragma once
// A list of equally sized pictures, cut from one strip (the skins' bitmaps) or filled
// one by one.
#include <QColor>
#include <QImage>
#include <QList>
#include <QPixmap>

namespace qm {

class TImageList {
public:
    TImageList() = default;
    // Cuts a strip into pictures of width x height, left to right.
    static TImageList FromStrip(const QImage& strip, int width, int height);
    // The same over the whole height of the strip, with every pixel of the colour
    // transparent made see-through (the skins mark their background that way).
    static TImageList FromMaskedStrip(const QImage& strip, int width, const QColor& transparent);

    void Add(const QPixmap& picture) { images_.append(picture); }
    int Count() const { return static_cast<int>(images_.size()); }
    const QPixmap& Get(int index) const { return images_.at(index); }
    // The picture at index, or a null pixmap when the list has none there: a skin strip
    // may hold fewer pictures than the views ask for.
    QPixmap At(int index) const;
    void Clear() { images_.clear(); }

private:
    QList<QPixmap> images_;
};

}  // namespace qm
