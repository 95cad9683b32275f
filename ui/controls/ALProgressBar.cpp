#include "ui/controls/ALProgressBar.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QPalette>

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "platform/Exception.h"

namespace qm {

int MulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    int64_t n = int64_t(a) * b;
    int64_t d = c;
    if (d < 0) {
        n = -n;
        d = -d;
    }
    // Adding or subtracting half the divisor before the truncating division rounds
    // halves away from zero on both sides.
    const int64_t r = n >= 0 ? (n + d / 2) / d : (n - d / 2) / d;
    if (r > INT32_MAX || r < -INT32_MAX) return -1;
    return int(r);
}

int GradientChannel(int a, int z, int k, int n) {
    if (n < 1 || k < 0 || k >= n)
        throw Exception("ColorIndex can't be less than 1 or greater than " + std::to_string(n));
    if (n == 1) return a;
    return a + MulDiv(k, z - a, n - 1);
}

int CoveredLength(int position, int min, int max, int length) {
    if (length <= 0 || position <= min || max == min) return 0;
    const double span = std::abs(double(max) - double(min));
    const double b = std::nearbyint((double(position) - double(min)) / span * length);
    if (b <= 0) return 0;
    if (b >= length) return length;
    return int(b);
}

QString PositionText(int position, int max, bool percentage, const QString& prefix,
                     const QString& suffix) {
    long long number = position;
    if (percentage) number = max == 0 ? 0 : std::llround(std::nearbyint(double(position) / max * 100));
    return prefix + QString::number(number) + suffix;
}

TALProgressBar::TALProgressBar(QWidget* parent) : QWidget(parent) {
    const QPalette pal = palette();
    borderColor1_ = pal.color(QPalette::Dark);
    borderColor2_ = pal.color(QPalette::Light);
    backgroundColor_ = pal.color(QPalette::Button);
    resize(200, 20);
}

void TALProgressBar::Changed() {
    rebuildBar_ = true;
    update();
}

void TALProgressBar::SetBorderColor1(const QColor& value) { borderColor1_ = value; Changed(); }
void TALProgressBar::SetBorderColor2(const QColor& value) { borderColor2_ = value; Changed(); }
void TALProgressBar::SetBackgroundColor(const QColor& value) { backgroundColor_ = value; Changed(); }
void TALProgressBar::SetMin(int value) { min_ = value; Changed(); }
void TALProgressBar::SetMax(int value) { max_ = value; Changed(); }
void TALProgressBar::SetShowBorder(bool value) { showBorder_ = value; Changed(); }
void TALProgressBar::SetDirection(TProgressDirection value) { direction_ = value; Changed(); }
void TALProgressBar::SetShowPosText(bool value) { showPosText_ = value; Changed(); }
void TALProgressBar::SetPosTextSuffix(const QString& value) { posTextSuffix_ = value; Changed(); }
void TALProgressBar::SetPosTextPrefix(const QString& value) { posTextPrefix_ = value; Changed(); }
void TALProgressBar::SetPercentage(bool value) { percentage_ = value; Changed(); }
void TALProgressBar::SetBarColorStyle(TBarColorStyle value) { barColorStyle_ = value; Changed(); }
void TALProgressBar::SetBarColor1(const QColor& value) { barColor1_ = value; Changed(); }
void TALProgressBar::SetBarColor2(const QColor& value) { barColor2_ = value; Changed(); }
void TALProgressBar::SetBarColor3(const QColor& value) { barColor3_ = value; Changed(); }

void TALProgressBar::SetBarBitmap(const QImage& value) {
    barBitmap_ = value.isNull() ? QImage() : value.convertToFormat(QImage::Format_RGB32);
    Changed();
}

void TALProgressBar::SetPosition(int value) {
    if (value == position_ || value < min_ || value > max_) return;
    position_ = value;
    // Only the covered length moves: the stored bar image is reused.
    update();
}

const QImage& TALProgressBar::Render() {
    const int w = width();
    const int h = height();
    if (w <= 0 || h <= 0) {
        offScreen_ = QImage();
        return offScreen_;
    }
    DrawBar(w, h);
    if (showBorder_) DrawBorder(w, h);
    if (showPosText_) DrawText(w, h);
    return offScreen_;
}

void TALProgressBar::DrawBar(int w, int h) {
    const bool rebuild = rebuildBar_ || barImage_.size() != QSize(w, h);
    if (!barBitmap_.isNull()) {
        if (rebuild) {
            barImage_ = QImage(w, h, QImage::Format_RGB32);
            barImage_.fill(Qt::black);
            QPainter p(&barImage_);
            const int bw = barBitmap_.width();
            const int bh = barBitmap_.height();
            for (int row = 0; row <= h / bh; ++row)
                for (int col = 0; col <= w / bw; ++col) p.drawImage(col * bw, row * bh, barBitmap_);
        }
        offScreen_ = barImage_.copy();
    } else if (barColorStyle_ == cs1Color) {
        offScreen_ = QImage(w, h, QImage::Format_RGB32);
        offScreen_.fill(barColor1_);
    } else {
        if (rebuild) DrawGradient(w, h);
        offScreen_ = barImage_.copy();
    }
    rebuildBar_ = false;

    const bool horizontal = direction_ == pdLeftToRight || direction_ == pdRightToLeft;
    const int o = showBorder_ ? 1 : 0;
    const int wi = showBorder_ ? w - 1 : w;
    const int hi = showBorder_ ? h - 1 : h;
    const int length = (horizontal ? w : h) - 2 * o;
    if (length <= 0 || wi <= o || hi <= o) return;
    const int u = length - CoveredLength(position_, min_, max_, length);
    if (u <= 0) return;
    // (left, top, right, bottom) with the right and bottom edges left out.
    int l = o, t = o, r = wi, b = hi;
    switch (direction_) {
    case pdLeftToRight: l = wi - u; break;
    case pdRightToLeft: r = o + u; break;
    case pdBottomToTop: b = o + u; break;
    case pdTopToBottom: t = hi - u; break;
    }
    QPainter p(&offScreen_);
    p.fillRect(QRect(l, t, r - l, b - t), backgroundColor_);
}

void TALProgressBar::DrawGradient(int w, int h) {
    barImage_ = QImage(w, h, QImage::Format_RGB32);
    const bool columns = direction_ == pdLeftToRight || direction_ == pdRightToLeft;
    const int extent = columns ? w : h;
    // BarColor1 always lies where the bar starts.
    const bool reversed = direction_ == pdRightToLeft || direction_ == pdBottomToTop;
    if (barColorStyle_ == cs2Colors) {
        if (reversed)
            DrawSegment(0, extent, barColor2_, barColor1_, columns, w, h);
        else
            DrawSegment(0, extent, barColor1_, barColor2_, columns, w, h);
        return;
    }
    const int half = extent / 2;
    if (reversed) {
        DrawSegment(0, half, barColor3_, barColor2_, columns, w, h);
        DrawSegment(half, extent - half, barColor2_, barColor1_, columns, w, h);
    } else {
        DrawSegment(0, half, barColor1_, barColor2_, columns, w, h);
        DrawSegment(half, extent - half, barColor2_, barColor3_, columns, w, h);
    }
}

void TALProgressBar::DrawSegment(int first, int count, const QColor& from, const QColor& to,
                                 bool columns, int w, int h) {
    for (int k = 0; k < count; ++k) {
        const QRgb c = qRgb(GradientChannel(from.red(), to.red(), k, count),
                            GradientChannel(from.green(), to.green(), k, count),
                            GradientChannel(from.blue(), to.blue(), k, count));
        if (columns) {
            for (int y = 0; y < h; ++y) reinterpret_cast<QRgb*>(barImage_.scanLine(y))[first + k] = c;
        } else {
            auto* line = reinterpret_cast<QRgb*>(barImage_.scanLine(first + k));
            for (int x = 0; x < w; ++x) line[x] = c;
        }
    }
}

void TALProgressBar::DrawBorder(int w, int h) {
    // Sunken look: the first colour along the top and left edges, the second along the
    // bottom and right ones from the second pixel on, as two pen strokes that leave
    // out their end points would draw them.
    QPainter p(&offScreen_);
    p.fillRect(QRect(0, 0, w, 1), borderColor1_);
    p.fillRect(QRect(0, 0, 1, h), borderColor1_);
    if (w > 1 && h > 1) {
        p.fillRect(QRect(1, h - 1, w - 1, 1), borderColor2_);
        p.fillRect(QRect(w - 1, 1, 1, h - 1), borderColor2_);
    }
}

void TALProgressBar::DrawText(int w, int h) {
    const QString text = PositionText(position_, max_, percentage_, posTextPrefix_, posTextSuffix_);
    // White text on black, then an exclusive-or into the picture: the text shows in the
    // inverse colour of whatever lies beneath it. Smoothed edges would give grey pixels
    // and stray colours, so the text is drawn without them.
    QImage mask(w, h, QImage::Format_RGB32);
    mask.fill(Qt::black);
    {
        QFont f = font();
        f.setStyleStrategy(QFont::NoAntialias);
        QPainter p(&mask);
        p.setFont(f);
        p.setPen(Qt::white);
        p.setClipRect(0, 0, w, h);
        const QFontMetrics fm(f);
        const int x = w / 2 - fm.horizontalAdvance(text) / 2;
        const int y = h / 2 - fm.height() / 2;
        p.drawText(x, y + fm.ascent(), text);
    }
    for (int y = 0; y < h; ++y) {
        const auto* src = reinterpret_cast<const QRgb*>(mask.constScanLine(y));
        auto* dst = reinterpret_cast<QRgb*>(offScreen_.scanLine(y));
        for (int x = 0; x < w; ++x) dst[x] ^= src[x] & 0x00FFFFFFu;
    }
}

void TALProgressBar::paintEvent(QPaintEvent*) {
    const QImage& image = Render();
    if (image.isNull()) return;
    QPainter p(this);
    p.drawImage(0, 0, image);
}

void TALProgressBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    rebuildBar_ = true;
}

void TALProgressBar::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) update();
}

}  // namespace qm
