#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QListWidget>
#include <QImage>
#include <QImageWriter>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <optional>
#include <string>

#include "platform/UiHooks.h"
#include "support/TestSupport.h"
#include "ui/SkinLoader.h"
#include "ui/SkinPainter.h"
#include "ui/skin.h"

using namespace qm;

namespace {

// A strip of w x h whose pictures are told apart by colour: picture i (of width
// pictureWidth) is filled with the colour i, on a background of key colour at the
// bottom-left pixel of each picture.
QImage Strip(int w, int h, int pictureWidth) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int x = 0; x < w; ++x) {
        const int i = pictureWidth > 0 ? x / pictureWidth : 0;
        for (int y = 0; y < h; ++y) image.setPixel(x, y, qRgb(10 + i * 7, 200 - i * 5, 40));
    }
    for (int x = 0; x < w; x += std::max(pictureWidth, 1)) image.setPixel(x, h - 1, qRgb(0, 128, 128));
    return image;
}

void WriteBmp(const std::string& file, const QImage& image) {
    ASSERT_TRUE(QImageWriter(QString::fromStdString(file), "bmp").write(image)) << file;
}

std::string Cwd() {
    char buf[PATH_MAX];
    return getcwd(buf, sizeof buf) ? buf : "";
}

TImageList Marked(int count) {
    TImageList list;
    for (int i = 0; i < count; ++i) {
        QPixmap pm(5, 5);
        pm.fill(QColor(1, 2, 3));
        list.Add(pm);
    }
    return list;
}

}  // namespace

TEST(SkinTest, StripsAreCutByRoundedWidth) {
    struct Case {
        int width, height, count;
        int images, imageWidth;
    } cases[] = {
        {465, 13, 31, 31, 15},  // exact
        {481, 13, 31, 30, 16},  // 15.5 rounds to 16: one picture short
        {496, 16, 31, 31, 16},
        {240, 16, 15, 15, 16},
        {360, 24, 15, 15, 24},
        {248, 16, 31, 31, 8},
        {16, 16, 31, 16, 1},   // 0.516 rounds up to 1
    };
    test::TTempDir dir;
    for (const Case& c : cases) {
        const std::string file = dir / ("s" + std::to_string(c.width) + ".bmp");
        WriteBmp(file, Strip(c.width, c.height, SkinImageWidth(c.width, c.count)));
        const TSkinStrip strip = LoadSkinStrip(file, c.count);
        SCOPED_TRACE(c.width);
        EXPECT_TRUE(strip.Usable()) << strip.Error;
        EXPECT_EQ(strip.Images.Count(), c.images);
        EXPECT_EQ(strip.ImageWidth, c.imageWidth);
        EXPECT_EQ(strip.Height, c.height);
        if (strip.Images.Count() > 0) {
            EXPECT_EQ(strip.Images.Get(0).width(), c.imageWidth);
            EXPECT_EQ(strip.Images.Get(0).height(), c.height);
        }
        EXPECT_TRUE(strip.Images.At(c.images).isNull());  // past the end: nothing, no crash
    }
    EXPECT_EQ(SkinImageWidth(31 * 2 + 15, 31), 2);  // 2.48
    EXPECT_EQ(SkinImageWidth(31 * 5 / 2, 31), 2);   // 77 / 31 = 2.48
    EXPECT_EQ(SkinImageWidth(15 * 5 / 2 + 1, 15), 3);
    EXPECT_EQ(SkinImageWidth(45, 30), 2);  // 1.5: half to even
    EXPECT_EQ(SkinImageWidth(75, 30), 2);  // 2.5: half to even
}

TEST(SkinTest, BottomLeftColourIsTransparent) {
    test::TTempDir dir;
    QImage image = Strip(465, 13, 15);
    image.setPixel(3, 4, qRgb(0, 128, 128));  // the key colour inside the first picture
    WriteBmp(dir / "flags.bmp", image);
    const TSkinStrip strip = LoadSkinStrip(dir / "flags.bmp", 31);
    ASSERT_EQ(strip.Images.Count(), 31);
    const QImage first = strip.Images.Get(0).toImage();
    EXPECT_EQ(qAlpha(first.pixel(3, 4)), 0);
    EXPECT_EQ(qAlpha(first.pixel(0, 12)), 0);
    EXPECT_EQ(qAlpha(first.pixel(1, 1)), 255);
    EXPECT_EQ(first.pixel(1, 1) & 0xFFFFFF, qRgb(10, 200, 40) & 0xFFFFFF);
    EXPECT_EQ(strip.Images.Get(30).toImage().pixel(1, 1) & 0xFFFFFF, qRgb(10 + 30 * 7, 200 - 30 * 5, 40) & 0xFFFFFF);

    // Skins drawn with a palette (many colours or two) read the same way.
    for (int colours : {256, 2}) {
        SCOPED_TRACE(colours);
        const QImage indexed = image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
        ASSERT_LE(indexed.colorCount(), 256);
        WriteBmp(dir / "indexed.bmp", colours == 2 ? Strip(465, 13, 465).convertToFormat(QImage::Format_Indexed8)
                                                    : indexed);
        const TSkinStrip pal = LoadSkinStrip(dir / "indexed.bmp", 31);
        ASSERT_TRUE(pal.Usable()) << pal.Error;
        EXPECT_EQ(pal.Images.Count(), 31);
        EXPECT_EQ(qAlpha(pal.Images.Get(0).toImage().pixel(0, 12)), 0);
        EXPECT_EQ(qAlpha(pal.Images.Get(0).toImage().pixel(1, 1)), 255);
    }
}

TEST(SkinTest, BadFilesAreRefusedAndKeepTheirPictures) {
    struct Case {
        const char* what;
        std::string bytes;  // written as flags.bmp when not empty
        QImage image;       // else this image
        const char* message;
    } cases[] = {
        {"not a bitmap", "BM this is not a bitmap at all", {}, "can't be read"},
        {"a PNG under a bitmap's name", "", QImage(), "can't be read"},
        {"too narrow", "", Strip(10, 13, 10), "too narrow"},
        {"empty file", "", QImage(), "can't be read"},
    };
    // The PNG: a good picture, of the wrong kind.
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        Strip(465, 13, 15).save(&buffer, "PNG");
    }
    cases[1].bytes = png.toStdString();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TTempDir dir;
        if (!c.image.isNull())
            WriteBmp(dir / "flags.bmp", c.image);
        else
            test::WriteFile(dir / "flags.bmp", c.bytes);
        WriteBmp(dir / "icons.bmp", Strip(240, 16, 16));
        TImageList flags = Marked(31), icons = Marked(15);
        const TSkinResult r = ApplySkinFolder(dir.Path(), flags, icons);
        ASSERT_EQ(r.Errors.size(), 1u);
        EXPECT_NE(r.Errors[0].find(c.message), std::string::npos) << r.Errors[0];
        EXPECT_NE(r.Errors[0].find(dir / "flags.bmp"), std::string::npos) << r.Errors[0];
        EXPECT_FALSE(r.FlagsReplaced);
        EXPECT_EQ(flags.Count(), 31);
        EXPECT_EQ(flags.Get(0).width(), 5);  // still the pictures it had
        // The good file of the same skin is still taken.
        EXPECT_TRUE(r.IconsReplaced);
        EXPECT_EQ(icons.Count(), 15);
        EXPECT_EQ(icons.Get(0).width(), 16);
    }
}

TEST(SkinTest, OneFileMissingKeepsTheBuiltInPicturesOfTheOther) {
    const std::string cwd = Cwd();
    struct Case {
        bool flags, icons;
        int iconHeight;
        bool flagsReplaced, iconsReplaced;
        std::optional<bool> menu;
    } cases[] = {
        {false, true, 16, false, true, true},
        {false, true, 24, false, true, false},
        {true, false, 0, true, false, std::nullopt},
        {true, true, 16, true, true, true},
        {false, false, 0, false, false, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.flags << c.icons << c.iconHeight);
        test::TTempDir dir;
        if (c.flags) WriteBmp(dir / "flags.bmp", Strip(465, 13, 15));
        if (c.icons) WriteBmp(dir / "icons.bmp", Strip(15 * c.iconHeight, c.iconHeight, c.iconHeight));
        TImageList flags = DefaultFlagList(), icons = DefaultToolsIconsList();
        const TSkinResult r = ApplySkinFolder(dir.Path(), flags, icons);
        EXPECT_TRUE(r.Errors.empty());
        EXPECT_EQ(r.FlagsReplaced, c.flagsReplaced);
        EXPECT_EQ(r.IconsReplaced, c.iconsReplaced);
        EXPECT_EQ(r.MenuImages, c.menu);
        EXPECT_EQ(flags.Count(), 31);
        EXPECT_EQ(flags.Get(0).height(), c.flags ? 13 : 16);
        EXPECT_EQ(icons.Count(), 15);
        EXPECT_EQ(icons.Get(0).height(), c.icons ? c.iconHeight : 16);
        EXPECT_EQ(Cwd(), cwd);
    }
}

TEST(SkinTest, NoSkinFolderChangesNothing) {
    // An empty name must not be read as the current folder, which may hold anything.
    test::TTempDir dir;
    WriteBmp(dir / "flags.bmp", Strip(465, 13, 15));
    const std::string cwd = Cwd();
    ASSERT_EQ(chdir(dir.Path().c_str()), 0);
    TImageList flags = Marked(31), icons = Marked(15);
    const TSkinResult r = ApplySkinFolder("", flags, icons);
    EXPECT_EQ(chdir(cwd.c_str()), 0);
    EXPECT_FALSE(r.FlagsReplaced);
    EXPECT_EQ(flags.Get(0).width(), 5);
}

TEST(SkinTest, DefaultSkinIsComplete) {
    const QImage flags = TSkinPainter::FlagsStrip(), icons = TSkinPainter::IconsStrip();
    EXPECT_EQ(flags.size(), QSize(31 * 16, 16));
    EXPECT_EQ(icons.size(), QSize(15 * 16, 16));
    for (const QImage* strip : {&flags, &icons}) {
        EXPECT_EQ(strip->pixel(0, 15), TSkinPainter::KeyColor().rgb());
        // Every picture draws something, and nothing of what it draws is the key colour
        // but its background.
        for (int i = 0; i < strip->width() / 16; ++i) {
            int painted = 0;
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x)
                    if (strip->pixel(i * 16 + x, y) != TSkinPainter::KeyColor().rgb()) ++painted;
            EXPECT_GT(painted, 20) << "picture " << i;
        }
    }
    // The status pictures differ where the statuses differ: missing, needs fixing and
    // good games, their folders and their zips.
    const TImageList list = DefaultFlagList();
    for (int base : {0, int(fiFolderBase), int(fiZipBase)})
        for (int a = 0; a < 3; ++a)
            for (int b = a + 1; b < 3; ++b)
                EXPECT_NE(list.Get(base + a).toImage(), list.Get(base + b).toImage()) << base << a << b;
    EXPECT_NE(list.Get(fiGood).toImage(), list.Get(fiGood + fiDumpOffset).toImage());
    EXPECT_NE(list.Get(fiRomPath).toImage(), list.Get(fiReadOnlyRomPath).toImage());
}

TEST(SkinTest, WrittenDefaultSkinLoadsBackAsTheBuiltInOne) {
    test::TTempDir dir;
    const std::string folder = dir / "skins/default/";
    ASSERT_EQ(TSkinPainter::WriteDefaultSkin(folder), "");
    TImageList flags, icons;
    const TSkinResult r = ApplySkinFolder(folder, flags, icons);
    EXPECT_TRUE(r.Errors.empty());
    EXPECT_EQ(r.MenuImages, std::optional<bool>(true));
    const TImageList builtIn = DefaultFlagList();
    ASSERT_EQ(flags.Count(), 31);
    for (int i = 0; i < 31; ++i)
        EXPECT_EQ(flags.Get(i).toImage().convertToFormat(QImage::Format_ARGB32),
                  builtIn.Get(i).toImage().convertToFormat(QImage::Format_ARGB32))
            << i;
    EXPECT_EQ(icons.Count(), 15);

    test::WriteFile(dir / "file", "x");
    EXPECT_NE(TSkinPainter::WriteDefaultSkin(dir / "file/skin"), "");

    // A skin of the user's own is never replaced, not even in part.
    test::TTempDir mine;
    test::WriteFile(mine / "icons.bmp", "my icons");
    const std::string error = TSkinPainter::WriteDefaultSkin(mine.Path());
    EXPECT_NE(error.find("icons.bmp"), std::string::npos) << error;
    EXPECT_EQ(test::ReadFile(mine / "icons.bmp"), "my icons");
    EXPECT_FALSE(test::FileExists(mine / "flags.bmp"));
}

TEST(SkinTest, SkinFormReportsRefusedFilesAndSetsTheMenu) {
    test::TTempDir dir;
    test::WriteFile(dir / "flags.bmp", "garbage");
    WriteBmp(dir / "icons.bmp", Strip(15 * 24, 24, 24));
    TImageList flags = DefaultFlagList(), icons = DefaultToolsIconsList();
    std::vector<bool> menu;
    TSkinForm form;
    form.SkinPath = dir.Path();
    form.Target = {&flags, &icons, [&](bool with) { menu.push_back(with); }};
    TScriptedUiHooks hooks;
    TScopedUiHooks scope(hooks);
    form.ApplySkin();
    ASSERT_EQ(hooks.shown.size(), 1u);
    EXPECT_EQ(hooks.shown[0].type, TMsgDlgType::mtWarning);
    EXPECT_NE(hooks.shown[0].text.find("flags.bmp"), std::string::npos);
    EXPECT_EQ(menu, std::vector<bool>{false});
    EXPECT_EQ(flags.Get(0).height(), 16);
    EXPECT_EQ(icons.Get(0).height(), 24);
    EXPECT_EQ(form.SkinBox()->count(), 0);
}
