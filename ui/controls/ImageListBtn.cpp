#include "ui/controls/ImageListBtn.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <algorithm>

namespace qm {

namespace {

constexpr int kNoNumber = 2147483647;

// Coordinates beyond what a widget can hold are clamped, so that the "no number" value
// never overflows a rectangle.
int Clamp(long long v) { return static_cast<int>(std::clamp<long long>(v, -32767, 32767)); }

// The numbers of a region line after its kind and separator; reading past the end
// gives kNoNumber, as does a text that is not a number.
class TNumberReader {
public:
    explicit TNumberReader(const QString& line) : line_(line), pos_(2) {}
    int Next() {
        if (pos_ >= line_.size()) return kNoNumber;
        qsizetype comma = line_.indexOf(',', pos_);
        if (comma < 0) comma = line_.size();
        const QString text = line_.mid(pos_, comma - pos_).trimmed();
        pos_ = comma + 1;
        bool ok = false;
        const int v = text.toInt(&ok);
        return ok ? v : kNoNumber;
    }

private:
    const QString& line_;
    qsizetype pos_;
};

}  // namespace

TImageListBtn::TImageListBtn(QWidget* parent) : QWidget(parent) { setMouseTracking(true); }

void TImageListBtn::SetImages(const TImageList* images) {
    if (images == images_) return;
    images_ = images;
    Show(pressed_ ? pictureDownIndex_ : inside_ ? pictureInsideIndex_ : pictureIndex_);
}

void TImageListBtn::SetPictureIndex(int index) {
    if (index == pictureIndex_) return;
    pictureIndex_ = index;
    if (!(inside_ && pressed_)) Show(index);
}

void TImageListBtn::Show(int index) {
    if (!images_ || index < 0 || index >= images_->Count()) return;
    shownIndex_ = index;
    picture_ = images_->Get(index);
    setFixedSize(picture_.size());  // the control takes the size of its picture
    update();
}

std::vector<QRegion> TImageListBtn::ParseRegions(QStringList& lines) {
    std::vector<QRegion> regions;
    qsizetype i = 0;
    for (int read = 0; read < kMaxRegions && i < lines.size(); ++read) {
        const QString& line = lines[i];
        TNumberReader numbers(line);
        const QChar kind = line.isEmpty() ? QChar() : line.at(0).toLower();
        if (kind == 'c') {
            const long long a = numbers.Next(), b = numbers.Next(), c = numbers.Next();
            numbers.Next();  // read and not used
            const int left = Clamp(a), top = Clamp(b), right = Clamp(c), bottom = Clamp(b + (c - a));
            regions.emplace_back(QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)), QRegion::Ellipse);
        } else if (kind == 'p') {
            QPolygon polygon;
            while (polygon.size() < kMaxPolygonPoints) {
                const int x = numbers.Next();
                if (x >= kNoNumber - 1) break;
                const int y = numbers.Next();
                if (y >= kNoNumber - 1) break;
                polygon << QPoint(Clamp(x), Clamp(y));
            }
            // Fewer than three points enclose nothing; kept as an empty region so that
            // the count still matches the lines.
            regions.push_back(polygon.size() < 3 ? QRegion() : QRegion(polygon, Qt::WindingFill));
        } else if (kind == 'r') {
            const int a = Clamp(numbers.Next()), b = Clamp(numbers.Next());
            const int c = Clamp(numbers.Next()), d = Clamp(numbers.Next());
            regions.emplace_back(QRect(QPoint(a, b), QPoint(c - 1, d - 1)));
        } else {
            lines.removeAt(i);
            continue;
        }
        ++i;
    }
    return regions;
}

void TImageListBtn::SetRegion(const QStringList& lines) {
    regionLines_ = lines;
    regions_ = ParseRegions(regionLines_);
}

bool TImageListBtn::HitTest(const QPoint& point) {
    if (regionLines_.size() != static_cast<qsizetype>(regions_.size())) SetRegion(QStringList(regionLines_));
    if (regions_.empty()) return rect().contains(point);
    return std::any_of(regions_.begin(), regions_.end(), [&](const QRegion& r) { return r.contains(point); });
}

void TImageListBtn::paintEvent(QPaintEvent*) {
    if (picture_.isNull()) return;
    QPainter p(this);
    p.drawPixmap(0, 0, picture_);
}

void TImageListBtn::mouseMoveEvent(QMouseEvent* event) {
    QWidget::mouseMoveEvent(event);
    const QPoint pos = event->position().toPoint();
    const bool hit = HitTest(pos);
    if (hit && !inside_) {
        inside_ = true;
        if (OnMouseEnter) OnMouseEnter(this, event->modifiers(), pos.x(), pos.y());
        Show(pressed_ ? pictureDownIndex_ : pictureInsideIndex_);
    } else if (!hit && inside_) {
        inside_ = false;
        if (OnMouseLeave) OnMouseLeave(this, event->modifiers(), pos.x(), pos.y());
        Show(pictureIndex_);
    }
}

void TImageListBtn::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (!HitTest(pos)) return;
    pressed_ = true;
    if (OnMouseDown) OnMouseDown(this, event->modifiers(), pos.x(), pos.y());
    if (inside_) Show(pictureDownIndex_);
}

void TImageListBtn::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    pressed_ = false;
    Show(inside_ ? pictureInsideIndex_ : pictureIndex_);
    if (OnMouseUp) OnMouseUp(this, event->modifiers(), pos.x(), pos.y());
}

void TImageListBtn::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    if (!inside_) return;
    inside_ = false;
    if (OnMouseLeave) OnMouseLeave(this, Qt::NoModifier, 0, 0);
    Show(pictureIndex_);
}

}  // namespace qm
