#pragma once
// An image that shows one picture of an image list at rest, another while the mouse
// is over one of its hit regions and a third while pressed there.
#include <QRegion>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <vector>

#include "ui/controls/ImageList.h"

namespace qm {

class TImageListBtn : public QWidget {
    Q_OBJECT
public:
    using TMouseEvent = std::function<void(TImageListBtn*, Qt::KeyboardModifiers, int x, int y)>;
    static constexpr int kMaxRegions = 50;
    static constexpr int kMaxPolygonPoints = 500;

    explicit TImageListBtn(QWidget* parent = nullptr);

    TMouseEvent OnMouseEnter, OnMouseLeave, OnMouseDown, OnMouseUp;

    const TImageList* Images() const { return images_; }
    void SetImages(const TImageList* images);
    int PictureIndex() const { return pictureIndex_; }
    void SetPictureIndex(int index);
    int PictureDownIndex() const { return pictureDownIndex_; }
    void SetPictureDownIndex(int index) { pictureDownIndex_ = index; }
    int PictureInsideIndex() const { return pictureInsideIndex_; }
    void SetPictureInsideIndex(int index) { pictureInsideIndex_ = index; }

    // Hit-region lines: "c a,b,c,d" a circle, "p x,y,x,y,..." a polygon, "r a,b,c,d" a
    // rectangle. Lines of any other kind are removed.
    const QStringList& Region() const { return regionLines_; }
    void SetRegion(const QStringList& lines);
    int RegionCount() const { return static_cast<int>(regions_.size()); }

    bool HitTest(const QPoint& point);
    bool Inside() const { return inside_; }
    bool Pressed() const { return pressed_; }
    // The picture shown now (-1: none yet).
    int ShownIndex() const { return shownIndex_; }

    // Parses region lines into regions; unknown kinds are removed from lines.
    static std::vector<QRegion> ParseRegions(QStringList& lines);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void Show(int index);

    const TImageList* images_ = nullptr;
    int pictureIndex_ = -1;
    int pictureDownIndex_ = -1;
    int pictureInsideIndex_ = -1;
    int shownIndex_ = -1;
    QPixmap picture_;
    bool inside_ = false;
    bool pressed_ = false;
    QStringList regionLines_;
    std::vector<QRegion> regions_;
};

}  // namespace qm
