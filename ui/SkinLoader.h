#pragma once
// Loading a skin: the main window's status pictures and tool icons from the bitmaps
// "flags.bmp" (31 pictures) and "icons.bmp" (15 pictures) of the skin folder.
//
// Each bitmap is a strip of equal pictures, left to right; a picture is as wide as the
// strip's width divided by the number of pictures (rounded, halves to even) and as high
// as the strip. The colour of the bottom-left pixel is transparent. A file that is
// missing leaves its list as it was; one that cannot be read, or is too narrow to give a
// single picture, is refused with a message and leaves its list as it was too, so that a
// broken skin never leaves the main window without pictures. A strip that gives fewer
// pictures than expected is taken as it is; the views show nothing for the missing ones.
//
// The folder is addressed by absolute names; the process's current folder is never
// changed.
#include <optional>
#include <string>
#include <vector>

#include "ui/controls/ImageList.h"

namespace qm {

// One strip of a skin, read and checked.
struct TSkinStrip {
    bool Present = false;  // the file exists
    std::string Error;     // why the file was refused; empty when it was taken
    TImageList Images;
    int ImageWidth = 0;
    int Height = 0;
    bool Usable() const { return Present && Error.empty(); }
};

// Reads fileName as a strip of count pictures.
TSkinStrip LoadSkinStrip(const std::string& fileName, int count);

// Width of one picture of a strip: width / count, rounded with halves to even.
int SkinImageWidth(int stripWidth, int count);

struct TSkinResult {
    bool FlagsReplaced = false;
    bool IconsReplaced = false;
    // Set when the tool icons were replaced: whether the main menu shows them (only
    // icons exactly 16 pixels high fit there).
    std::optional<bool> MenuImages;
    std::vector<std::string> Errors;  // one message per refused file
};

// Replaces flagList and toolsIconsList from the skin folder (ending with "/" or not).
// An empty folder name means no skin: nothing changes.
TSkinResult ApplySkinFolder(const std::string& skinPath, TImageList& flagList, TImageList& toolsIconsList);

// The built-in pictures (the painted default skin).
TImageList DefaultFlagList();
TImageList DefaultToolsIconsList();

}  // namespace qm
