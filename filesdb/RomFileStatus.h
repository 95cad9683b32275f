#pragma once
// Status codes of a rom file and the indexes of the status image strip (flags.bmp, 31
// images). Matching writes codes 2 to 8; a reading error writes 9. The codes are shown
// by the views, tested by the repair steps and compared by the scan window, so their
// values are fixed.
#include <cstdint>
#include <string>

namespace qm {

enum TRomFileStatus : uint8_t {
    rsNotSettled = 0,          // just added, before matching
    rsBadFileName = 1,         // never set; tested by texts and icons
    rsMissing = 2,             // placeholder: no file holds the rom
    rsAvailableElsewhere = 3,  // placeholder: another file holds the rom
    rsOk = 4,
    rsBadCase = 5,
    rsNotUsed = 6,    // a known rom this file's game does not use
    rsBadName = 7,    // a rom of the game under a wrong name
    rsUnknown = 8,    // a rom of no game
    rsError = 9,      // could not be read
};

inline bool IsPlaceholderStatus(uint8_t status) { return status == rsMissing || status == rsAvailableElsewhere; }

// Image strip: bases 0 missing or incomplete, 1 needs fixing, 2 good, 3 unknown; the
// same plus 4 with bad or no dumps; plus 7 for a folder, 14 for a zip; 25 an error.
inline constexpr int kImageMissing = 0;
inline constexpr int kImageNeedsFix = 1;
inline constexpr int kImageGood = 2;
inline constexpr int kImageUnknown = 3;
inline constexpr int kImageBadDumpOffset = 4;
inline constexpr int kImageFolderOffset = 7;
inline constexpr int kImageZipOffset = 14;
inline constexpr int kImageError = 25;

// The translated text of a status of the table ("" for 0 and for 9, whose text is the
// rom's own error text). Status 7 is given with "%1" unfilled.
std::string RomStatusText(uint8_t status);

}  // namespace qm
