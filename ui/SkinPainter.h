#pragma once
// The program's own default skin: the status pictures ("flags.bmp") and the tool icons
// ("icons.bmp"), painted here so that the program needs no picture files to start and
// so that a user has a template to draw a skin of their own from. Also the splash
// window's pictures.
//
// Strips are 16 pixels high, one picture every 16 pixels, on the key colour that the
// skin loader makes transparent (the colour of the bottom-left pixel).
#include <QColor>
#include <QImage>
#include <string>

#include "filesdb/RomFileStatus.h"

namespace qm {

// What each picture of the flags strip shows. The files database and the views compute
// these numbers: a base of 0 missing or incomplete, 1 needs fixing, 2 good, 3 unknown;
// 4 added when bad or missing dumps are involved; 7 added for a folder and 14 for a
// zip (so the pictures at 7 and 14 serve two purposes each, as the numbering implies).
enum TFlagImage : int {
    fiMissing = kImageMissing,
    fiNeedsFixing = kImageNeedsFix,
    fiGood = kImageGood,
    fiUnknown = kImageUnknown,
    fiDumpOffset = kImageBadDumpOffset,
    fiFolderBase = kImageFolderOffset,
    fiZipBase = kImageZipOffset,
    fiRomPath = 22,
    fiReadOnlyRomPath = 23,
    fiGamesList = 24,
    fiError = kImageError,
    // 26 to 30: the filter bar's pictures (parent sets, clones, sub-list, bad names,
    // information).
};

constexpr int FlagImageCount = 31;
constexpr int ToolsIconCount = 15;
constexpr int SkinImageSize = 16;

class TSkinPainter {
public:
    // The background of the strips, taken as transparent when they are loaded.
    static QColor KeyColor() { return QColor(255, 0, 255); }

    static QImage FlagsStrip();  // 31 pictures, 496 x 16
    static QImage IconsStrip();  // 15 pictures, 240 x 16

    // Writes "flags.bmp" and "icons.bmp" into folder (made when missing). Never replaces
    // a file: when either exists, nothing is written. Returns the reason when the skin
    // could not be written, else an empty text.
    static std::string WriteDefaultSkin(const std::string& folder);

    // The splash window's banner and the badge it shows on test releases.
    static QImage SplashPicture(int width, int height);
    static QImage BetaBadge();
};

}  // namespace qm
