#pragma once
// A progress bar painted by the program itself: one colour, a gradient of two or three
// colours laid over the whole length of the control (so that a colour marks a fixed
// position), or a tiled picture; an optional sunken border and a centred text drawn in
// the inverse colour of what lies beneath it. QProgressBar cannot stand in: it clamps
// positions and draws in the style's own way.
#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>

namespace qm {

enum TBarColorStyle { cs1Color, cs2Colors, cs3Colors };
enum TProgressDirection { pdLeftToRight, pdRightToLeft, pdBottomToTop, pdTopToBottom };

// The Windows MulDiv: a * b / c in 64 bits, rounded to the nearest integer with halves
// away from zero; -1 when c is 0 or the result does not fit in 32 bits.
int MulDiv(int a, int b, int c);

// Channel value of line k (0 .. n - 1) of a gradient segment of n lines from a to z;
// a segment of one line takes a. Throws qm::Exception for k outside the segment.
int GradientChannel(int a, int z, int k, int n);

// Pixels of a bar of length `length` covered at `position`: rounded to the nearest
// (ties to even), 0 at or below min or when min equals max, never more than length (a
// position left over from before a change of min or max may lie outside the range).
int CoveredLength(int position, int min, int max, int length);

// The text shown on the bar: prefix, the position or its percentage of max (0 when max
// is 0), suffix.
QString PositionText(int position, int max, bool percentage, const QString& prefix,
                     const QString& suffix);

class TALProgressBar : public QWidget {
    Q_OBJECT
public:
    explicit TALProgressBar(QWidget* parent = nullptr);

    QColor BorderColor1() const { return borderColor1_; }
    void SetBorderColor1(const QColor& value);
    QColor BorderColor2() const { return borderColor2_; }
    void SetBorderColor2(const QColor& value);
    QColor BackgroundColor() const { return backgroundColor_; }
    void SetBackgroundColor(const QColor& value);

    // A value equal to the present one, below Min or above Max is ignored; an accepted
    // one repaints without rebuilding the bar image.
    int Position() const { return position_; }
    void SetPosition(int value);

    // When not null, the bar is this picture tiled from the top left corner.
    const QImage& BarBitmap() const { return barBitmap_; }
    void SetBarBitmap(const QImage& value);

    int Min() const { return min_; }
    void SetMin(int value);
    int Max() const { return max_; }
    void SetMax(int value);

    bool ShowBorder() const { return showBorder_; }
    void SetShowBorder(bool value);
    TProgressDirection Direction() const { return direction_; }
    void SetDirection(TProgressDirection value);

    bool ShowPosText() const { return showPosText_; }
    void SetShowPosText(bool value);
    QString PosTextSuffix() const { return posTextSuffix_; }
    void SetPosTextSuffix(const QString& value);
    QString PosTextPrefix() const { return posTextPrefix_; }
    void SetPosTextPrefix(const QString& value);
    bool Percentage() const { return percentage_; }
    void SetPercentage(bool value);

    TBarColorStyle BarColorStyle() const { return barColorStyle_; }
    void SetBarColorStyle(TBarColorStyle value);
    QColor BarColor1() const { return barColor1_; }
    void SetBarColor1(const QColor& value);
    QColor BarColor2() const { return barColor2_; }
    void SetBarColor2(const QColor& value);
    QColor BarColor3() const { return barColor3_; }
    void SetBarColor3(const QColor& value);

    // The picture of the control as it is painted: the off-screen image, brought up to
    // date first. Null when the control has no area.
    const QImage& Render();

    QSize sizeHint() const override { return QSize(200, 20); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // A change that needs the bar image drawn again; painting happens later (Qt
    // coalesces update requests), so the rebuild is a flag the next paint consumes.
    void Changed();
    void DrawBar(int w, int h);
    void DrawGradient(int w, int h);
    void DrawSegment(int first, int count, const QColor& from, const QColor& to, bool columns,
                     int w, int h);
    void DrawBorder(int w, int h);
    void DrawText(int w, int h);

    QImage offScreen_;
    QImage barImage_;
    QImage barBitmap_;
    QColor borderColor1_;
    QColor borderColor2_;
    QColor backgroundColor_;
    int position_ = 0;
    int min_ = 0;
    int max_ = 100;
    bool showBorder_ = true;
    TProgressDirection direction_ = pdLeftToRight;
    bool showPosText_ = true;
    QString posTextSuffix_;
    QString posTextPrefix_;
    TBarColorStyle barColorStyle_ = cs3Colors;
    QColor barColor1_{0, 128, 0};
    QColor barColor2_{255, 255, 0};
    QColor barColor3_{255, 0, 0};
    bool rebuildBar_ = true;
    bool percentage_ = false;
};

}  // namespace qm
