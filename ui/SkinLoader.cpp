#include "ui/SkinLoader.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <cmath>

#include "platform/Text.h"
#include "ui/SkinPainter.h"
#include "ui/commands/TextConv.h"

namespace qm {

int SkinImageWidth(int stripWidth, int count) {
    if (count <= 0) return 0;
    return static_cast<int>(std::nearbyint(static_cast<double>(stripWidth) / count));
}

TSkinStrip LoadSkinStrip(const std::string& fileName, int count) {
    TSkinStrip strip;
    const QString name = ui::ToQ(fileName);
    const QFileInfo info(name);
    if (!info.exists()) return strip;
    strip.Present = true;
    // Skins are Windows bitmaps; a file of another kind under that name is refused
    // rather than guessed at.
    QImageReader reader(name, "bmp");
    reader.setDecideFormatFromContent(false);
    const QImage image = reader.read();
    if (image.isNull()) {
        strip.Error = Fmt(_("The skin picture %1 can't be read: %2"),
                          {fileName, ui::FromQ(reader.errorString())});
        return strip;
    }
    const int width = SkinImageWidth(image.width(), count);
    if (width <= 0) {
        strip.Error = Fmt(_("The skin picture %1 is too narrow: %2 pixels wide for %3 pictures."),
                          {fileName, std::to_string(image.width()), std::to_string(count)});
        return strip;
    }
    const QColor transparent = image.pixelColor(0, image.height() - 1);
    strip.Images = TImageList::FromMaskedStrip(image, width, transparent);
    strip.ImageWidth = width;
    strip.Height = image.height();
    return strip;
}

TSkinResult ApplySkinFolder(const std::string& skinPath, TImageList& flagList, TImageList& toolsIconsList) {
    TSkinResult result;
    if (skinPath.empty()) return result;  // QDir("") would be the current folder
    const QDir dir(ui::ToQ(skinPath));
    const auto file = [&](const char* name) { return ui::FromQ(dir.absoluteFilePath(QString::fromLatin1(name))); };

    // Both files are read and checked before either list changes.
    TSkinStrip flags = LoadSkinStrip(file("flags.bmp"), FlagImageCount);
    TSkinStrip icons = LoadSkinStrip(file("icons.bmp"), ToolsIconCount);
    for (const TSkinStrip* strip : {&flags, &icons})
        if (!strip->Error.empty()) result.Errors.push_back(strip->Error);

    if (flags.Usable()) {
        flagList = std::move(flags.Images);
        result.FlagsReplaced = true;
    }
    if (icons.Usable()) {
        toolsIconsList = std::move(icons.Images);
        result.IconsReplaced = true;
        result.MenuImages = icons.Height == 16;
    }
    return result;
}

TImageList DefaultFlagList() {
    return TImageList::FromMaskedStrip(TSkinPainter::FlagsStrip(), SkinImageSize, TSkinPainter::KeyColor());
}

TImageList DefaultToolsIconsList() {
    return TImageList::FromMaskedStrip(TSkinPainter::IconsStrip(), SkinImageSize, TSkinPainter::KeyColor());
}

}  // namespace qm
