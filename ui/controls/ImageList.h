#pragma once
// A list of equally sized pictures, cut from one strip (the skins' bitmaps) or filled
// one by one.
#include <QImage>
#include <QList>
#include <QPixmap>

namespace qm {

class TImageList {
public:
    TImageList() = default;
    // Cuts a strip into pictures of width x height, left to right.
    static TImageList FromStrip(const QImage& strip, int width, int height);

    void Add(const QPixmap& picture) { images_.append(picture); }
    int Count() const { return static_cast<int>(images_.size()); }
    const QPixmap& Get(int index) const { return images_.at(index); }
    void Clear() { images_.clear(); }

private:
    QList<QPixmap> images_;
};

}  // namespace qm
