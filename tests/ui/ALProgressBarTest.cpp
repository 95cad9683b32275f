#include "ui/controls/ALProgressBar.h"

#include <gtest/gtest.h>

#include <climits>

#include "platform/Exception.h"

namespace qm {
namespace {

TEST(MulDiv, RoundsHalvesAwayFromZeroOnBothSides) {
    struct Case { int a, b, c, expected; };
    const Case cases[] = {
        {1, 3, 2, 2},     {-1, 3, 2, -2},   {1, -3, 2, -2},   {-1, -3, 2, 2},
        {5, -1, 2, -3},   {3, 10, -4, -8},  {7, 1, 3, 2},     {8, 1, 3, 3},
        {-8, 1, 3, -3},   {0, -5, 3, 0},    {98, -255, 99, -252},
        {1, 1, 0, -1},    {INT_MAX, 2, 1, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.expected) << c.a << "*" << c.b << "/" << c.c;
}

TEST(GradientChannel, EndsAreExactAndMiddleRoundsLikeMulDiv) {
    EXPECT_EQ(GradientChannel(10, 20, 0, 1), 10);  // a one-line segment takes the start
    EXPECT_EQ(GradientChannel(0, 255, 0, 2), 0);
    EXPECT_EQ(GradientChannel(0, 255, 1, 2), 255);
    EXPECT_EQ(GradientChannel(0, 1, 1, 3), 1);      // +0.5 goes up
    EXPECT_EQ(GradientChannel(1, 0, 1, 3), 0);      // -0.5 goes down, not back to 1
    EXPECT_EQ(GradientChannel(255, 0, 1, 3), 127);
    EXPECT_EQ(GradientChannel(128, 0, 98, 100), 1);
    EXPECT_THROW(GradientChannel(0, 255, 2, 2), Exception);
    EXPECT_THROW(GradientChannel(0, 255, -1, 2), Exception);
    EXPECT_THROW(GradientChannel(0, 255, 0, 0), Exception);
}

TEST(CoveredLength, RoundsTiesToEvenAndStaysInsideTheBar) {
    struct Case { int position, min, max, length, expected; };
    const Case cases[] = {
        {50, 0, 100, 198, 99},
        {0, 0, 100, 198, 0},     // at Min nothing shows
        {50, 50, 50, 198, 0},    // Min equal to Max
        {-3, 0, 100, 198, 0},
        {100, 0, 100, 198, 198},
        {1, 0, 4, 2, 0},  {3, 0, 4, 2, 2},  {5, 0, 8, 4, 2},  {3, 0, 8, 4, 2},
        {150, 0, 100, 198, 198}, // left over from before Max shrank
        {10, 0, 100, 0, 0},
        {5, 0, -10, 100, 50},    // the span is |Max - Min|
    };
    for (const Case& c : cases)
        EXPECT_EQ(CoveredLength(c.position, c.min, c.max, c.length), c.expected)
            << c.position << " in " << c.min << ".." << c.max << " over " << c.length;
}

TEST(PositionText, PrefixNumberSuffix) {
    EXPECT_EQ(PositionText(42, 100, true, "<", ">"), "<42>");
    EXPECT_EQ(PositionText(42, 200, true, "", "%"), "21%");
    EXPECT_EQ(PositionText(1, 8, true, "", ""), "12");   // 12.5 to even
    EXPECT_EQ(PositionText(3, 8, true, "", ""), "38");   // 37.5 to even
    EXPECT_EQ(PositionText(5, 0, true, "", "%"), "0%");  // no division by zero
    EXPECT_EQ(PositionText(-5, 100, false, "p", ""), "p-5");
    EXPECT_EQ(PositionText(42, 200, false, "", " done"), "42 done");
}

QRgb Rgb(const QColor& c) { return c.rgb() | 0xFF000000u; }
QRgb At(const QImage& image, int x, int y) { return image.pixel(x, y) | 0xFF000000u; }

// A bar with plain, distinct colours and no text.
struct PlainBar {
    TALProgressBar bar;
    const QColor background{10, 20, 30};
    const QColor border1{1, 2, 3};
    const QColor border2{4, 5, 6};
    PlainBar() {
        bar.SetShowPosText(false);
        bar.SetBackgroundColor(background);
        bar.SetBorderColor1(border1);
        bar.SetBorderColor2(border2);
    }
};

TEST(ALProgressBar, HalfwayLeavesTheRightHalfInsideTheBorderToTheBackground) {
    PlainBar p;
    EXPECT_EQ(p.bar.size(), QSize(200, 20));
    p.bar.SetPosition(50);
    const QImage image = p.bar.Render();
    ASSERT_EQ(image.size(), QSize(200, 20));
    for (int y = 1; y <= 18; ++y) {
        for (int x = 1; x <= 99; ++x) ASSERT_NE(At(image, x, y), Rgb(p.background)) << x << "," << y;
        for (int x = 100; x <= 198; ++x) ASSERT_EQ(At(image, x, y), Rgb(p.background)) << x << "," << y;
    }
    // Sunken border: first colour on the whole top row and left column, second on the
    // bottom row and right column from the second pixel on.
    for (int x = 0; x < 200; ++x) EXPECT_EQ(At(image, x, 0), Rgb(p.border1)) << x;
    for (int y = 0; y < 20; ++y) EXPECT_EQ(At(image, 0, y), Rgb(p.border1)) << y;
    for (int x = 1; x < 200; ++x) EXPECT_EQ(At(image, x, 19), Rgb(p.border2)) << x;
    for (int y = 1; y < 20; ++y) EXPECT_EQ(At(image, 199, y), Rgb(p.border2)) << y;
}

TEST(ALProgressBar, IgnoresPositionsOutsideTheRange) {
    TALProgressBar bar;
    bar.SetPosition(40);
    bar.SetPosition(150);
    EXPECT_EQ(bar.Position(), 40);
    bar.SetPosition(-5);
    EXPECT_EQ(bar.Position(), 40);
    bar.SetPosition(100);
    EXPECT_EQ(bar.Position(), 100);
}

TEST(ALProgressBar, NothingShowsAtMinOrWhenMinEqualsMax) {
    PlainBar p;
    const auto interiorIsBackground = [&](const QImage& image) {
        for (int y = 1; y <= 18; ++y)
            for (int x = 1; x <= 198; ++x)
                if (At(image, x, y) != Rgb(p.background)) return false;
        return true;
    };
    EXPECT_TRUE(interiorIsBackground(p.bar.Render()));  // Position 0 = Min
    p.bar.SetPosition(50);
    p.bar.SetMin(50);
    p.bar.SetMax(50);
    EXPECT_TRUE(interiorIsBackground(p.bar.Render()));
}

TEST(ALProgressBar, PositionLeftOutsideANarrowedRangeStaysInsideTheBar) {
    PlainBar p;
    p.bar.SetPosition(100);
    p.bar.SetMax(40);  // Position 100 now lies above Max
    QImage image = p.bar.Render();
    for (int x = 1; x <= 198; ++x) EXPECT_NE(At(image, x, 10), Rgb(p.background)) << x;
    EXPECT_EQ(At(image, 199, 10), Rgb(p.border2));
    p.bar.SetMin(200);  // and now below Min
    image = p.bar.Render();
    for (int x = 1; x <= 198; ++x) EXPECT_EQ(At(image, x, 10), Rgb(p.background)) << x;
}

TEST(ALProgressBar, EveryDirectionGrowsFromItsOwnEdge) {
    struct Case {
        TProgressDirection direction;
        bool (*covered)(int x, int y);
    };
    // 100 by 100 without border at 25 %: a quarter from the starting edge.
    const Case cases[] = {
        {pdLeftToRight, [](int x, int) { return x < 25; }},
        {pdRightToLeft, [](int x, int) { return x >= 75; }},
        {pdTopToBottom, [](int, int y) { return y < 25; }},
        {pdBottomToTop, [](int, int y) { return y >= 75; }},
    };
    for (const Case& c : cases) {
        PlainBar p;
        p.bar.resize(100, 100);
        p.bar.SetShowBorder(false);
        p.bar.SetBarColorStyle(cs1Color);
        p.bar.SetBarColor1(Qt::red);
        p.bar.SetDirection(c.direction);
        p.bar.SetPosition(25);
        const QImage image = p.bar.Render();
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 100; ++x)
                ASSERT_EQ(At(image, x, y), c.covered(x, y) ? Rgb(Qt::red) : Rgb(p.background))
                    << "direction " << c.direction << " at " << x << "," << y;
    }
}

TEST(ALProgressBar, TwoColourGradientRunsFromTheStartingSide) {
    struct Case {
        TProgressDirection direction;
        QSize size;
        int (*expected)(int x, int y);
    };
    // Black to white over 256 lines: line k is grey k, from the starting side.
    const Case cases[] = {
        {pdLeftToRight, {256, 4}, [](int x, int) { return x; }},
        {pdRightToLeft, {256, 4}, [](int x, int) { return 255 - x; }},
        {pdTopToBottom, {4, 256}, [](int, int y) { return y; }},
        {pdBottomToTop, {4, 256}, [](int, int y) { return 255 - y; }},
    };
    for (const Case& c : cases) {
        TALProgressBar bar;
        bar.resize(c.size);
        bar.SetShowBorder(false);
        bar.SetShowPosText(false);
        bar.SetBarColorStyle(cs2Colors);
        bar.SetBarColor1(Qt::black);
        bar.SetBarColor2(Qt::white);
        bar.SetDirection(c.direction);
        bar.SetPosition(100);
        const QImage image = bar.Render();
        for (int y = 0; y < c.size.height(); ++y)
            for (int x = 0; x < c.size.width(); ++x) {
                const int g = c.expected(x, y);
                ASSERT_EQ(At(image, x, y), qRgb(g, g, g)) << "direction " << c.direction << " at " << x << "," << y;
            }
    }
}

TEST(ALProgressBar, ThreeColoursMarkFixedPlacesAlongTheBar) {
    PlainBar p;
    p.bar.SetPosition(100);
    QImage image = p.bar.Render();
    // Columns 0..99 run green to yellow, 100..199 yellow to red; column 0 and 199 lie
    // under the border.
    EXPECT_EQ(At(image, 1, 10), qRgb(3, 129, 0));
    EXPECT_EQ(At(image, 100, 10), qRgb(255, 255, 0));
    EXPECT_EQ(At(image, 198, 10), qRgb(255, 3, 0));

    p.bar.SetPosition(30);  // 59 of 198 columns: green into yellowish, no red
    image = p.bar.Render();
    EXPECT_EQ(At(image, 59, 10), qRgb(152, 204, 0));
    EXPECT_EQ(At(image, 60, 10), Rgb(p.background));

    p.bar.SetPosition(100);
    p.bar.SetDirection(pdRightToLeft);  // the start colour moves to the right
    image = p.bar.Render();
    EXPECT_EQ(At(image, 198, 10), qRgb(3, 129, 0));
    EXPECT_EQ(At(image, 1, 10), qRgb(255, 3, 0));
}

TEST(ALProgressBar, ChangesAndResizesRebuildTheBarImage) {
    TALProgressBar bar;
    bar.resize(256, 4);
    bar.SetShowBorder(false);
    bar.SetShowPosText(false);
    bar.SetBarColorStyle(cs2Colors);
    bar.SetBarColor1(Qt::black);
    bar.SetBarColor2(Qt::white);
    bar.SetPosition(100);
    EXPECT_EQ(At(bar.Render(), 255, 0), qRgb(255, 255, 255));
    bar.SetBarColor2(Qt::blue);
    EXPECT_EQ(At(bar.Render(), 255, 0), qRgb(0, 0, 255));
    bar.SetBarColor2(Qt::white);
    bar.resize(128, 4);
    const QImage image = bar.Render();
    ASSERT_EQ(image.size(), QSize(128, 4));
    EXPECT_EQ(At(image, 127, 0), qRgb(255, 255, 255));
    EXPECT_EQ(At(image, 64, 0), qRgb(129, 129, 129));  // 64 * 255 / 127 = 128.5
    // A position change keeps the same bar image under a different covered length.
    bar.SetPosition(50);
    const QImage half = bar.Render();
    EXPECT_EQ(At(half, 63, 0), qRgb(126, 126, 126));
    EXPECT_EQ(At(half, 64, 0), Rgb(bar.BackgroundColor()));
}

TEST(ALProgressBar, BitmapIsTiledFromTheTopLeftCorner) {
    QImage tile(3, 2, QImage::Format_RGB32);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) tile.setPixel(x, y, qRgb(40 * x, 100 * y, 7));
    TALProgressBar bar;
    bar.resize(10, 5);
    bar.SetShowBorder(false);
    bar.SetShowPosText(false);
    bar.SetBarBitmap(tile);
    bar.SetPosition(100);
    const QImage image = bar.Render();
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 10; ++x) ASSERT_EQ(At(image, x, y), tile.pixel(x % 3, y % 2)) << x << "," << y;
}

TEST(ALProgressBar, TextIsTheInverseOfWhatLiesBeneath) {
    TALProgressBar bar;
    bar.SetPosTextSuffix("%");
    bar.SetPosition(42);
    bar.SetShowPosText(false);
    const QImage off = bar.Render().copy();
    bar.SetShowPosText(true);
    const QImage on = bar.Render().copy();
    int changed = 0;
    int minX = 200, maxX = -1;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 200; ++x) {
            const QRgb a = At(off, x, y);
            const QRgb b = At(on, x, y);
            if (a == b) continue;
            ++changed;
            minX = std::min(minX, x);
            maxX = std::max(maxX, x);
            ASSERT_EQ(b, (a ^ 0x00FFFFFFu)) << x << "," << y;
        }
    EXPECT_GT(changed, 10);  // "42%" was drawn
    // Centred: as much room on the left as on the right, give or take the glyphs' sides.
    EXPECT_LE(std::abs(minX - (199 - maxX)), 4) << minX << ".." << maxX;
}

TEST(ALProgressBar, PaintsWhatItRendersAndSurvivesAnEmptyArea) {
    TALProgressBar bar;
    bar.SetPosition(70);
    QImage painted(bar.size(), QImage::Format_RGB32);
    painted.fill(Qt::magenta);
    bar.render(&painted);
    EXPECT_EQ(painted.convertToFormat(QImage::Format_RGB32), bar.Render().convertToFormat(QImage::Format_RGB32));

    bar.resize(0, 20);
    EXPECT_TRUE(bar.Render().isNull());
    bar.resize(1, 1);
    EXPECT_EQ(bar.Render().size(), QSize(1, 1));
}

}  // namespace
}  // namespace qm
