// Status texts and image indexes of files and rom files, and the duplicate count.
#include <algorithm>
#include <string>

#include "archive/stringsTools.h"
#include "catalogue/RomsBd.h"
#include "filesdb/RomFileStatus.h"
#include "filesdb/filesBd.h"
#include "platform/Text.h"

namespace qm {

std::string RomStatusText(uint8_t status) {
    switch (status) {
        case rsBadFileName: return _("Bad file name.");
        case rsMissing: return _("Missing.");
        case rsAvailableElsewhere: return _("Available in another game.");
        case rsOk: return _("Ok.");
        case rsBadCase: return _("Case is not correct.");
        case rsNotUsed: return _("Rom not used in this game.");
        case rsBadName: return _("Bad name, correct name is %1");
        case rsUnknown: return _("Unknown rom.");
        default: return {};
    }
}

namespace {

std::string DuplicatedText(int count) { return _("Duplicated.") + "(" + std::to_string(count) + ")"; }

}  // namespace

int TFile::GetDuplicateCount() const {
    if (!HasKnownRoms() || HasBadDumps()) return 1;
    int count = -1;
    const TRom* first = nullptr;
    for (const auto& entry : RomFiles) {
        const TRomFile& r = *entry.romFile;
        if (r.IsPlaceholder()) continue;
        const TRom* rom = r.GetRom();
        if (rom == nullptr || rom->MatchCount < 2) return 1;
        if (first == nullptr) first = rom;
        count = count < 0 ? rom->MatchCount : std::min(count, static_cast<int>(rom->MatchCount));
    }
    if (first == nullptr) return 1;
    // Copies inside one rom path are not a duplicated game.
    if (std::all_of(first->Files.begin(), first->Files.end(),
                    [this](const TRomFile* e) { return e->File->Path == Path; }))
        return 1;
    return count;
}

std::string TFile::GetStatusText() const {
    if (HasError() || HasRomErrorFlags() || HasRomErrors()) return ErrorText.empty() ? _("Errors on rom") : ErrorText;

    const bool known = HasKnownRoms();
    std::string text;
    if (IsPlain()) {
        if (HasBadName() && known)
            text = Fmt(_("Bad file name, correct name is %1"), {GetCorrectName()});
        else if (known && HasBadCase())
            text = _("Case is not correct.");
        else if (!known)
            text = _("Unknown rom.");
        else
            text = _("Ok.");
        // A file whose extension the calculator filters out has no rom file.
        if (!RomFiles.Empty() && !TrimView(RomFiles[0]->Comment()).empty()) text += " - " + RomFiles[0]->Comment();
    } else {
        if (HasBadName() && known)
            text = Fmt(_("Bad file name, correct name is %1"), {GetCorrectName()});
        else if (Game == nullptr)
            text = _("No roms found");
        else if (GetMissingRomCount() > 0)
            text = _("Incomplete (roms missing).");
        else if (GetAvailableElsewhereCount() > 0)
            text = _("Incomplete (roms available).");
        else if (known) {
            if (HasBadRomNames())
                text = _("Bad roms names.");
            else if (GetRomFileCount() > GetGameRomCount())
                text = _("Ok (Useless files).");
            else if (HasBadCase())
                text = _("Case is not correct.");
            else if (HasBadCaseRoms())
                text = _("Bad case on roms");
            else
                text = _("Ok.");
        }
        if (RomFiles.Count() == 1 && !TrimView(RomFiles[0]->Comment()).empty()) text += " - " + RomFiles[0]->Comment();
    }
    const int duplicates = GetDuplicateCount();
    if (duplicates > 1) text += " - " + DuplicatedText(duplicates);
    if (Date == 0) text += " - " + _("Date is not correct.");
    return text;
}

int TFile::GetImageIndex() const {
    if (HasError() || HasRomErrorFlags() || HasRomErrors()) return kImageError;
    const bool known = HasKnownRoms();
    const bool badName = HasBadName() && known;
    if (IsPlain()) {
        int index = badName ? kImageNeedsFix : (!known ? kImageUnknown : kImageGood);
        if (known && HasBadDumps()) index += kImageBadDumpOffset;
        return index;
    }
    int index;
    if (badName)
        index = kImageNeedsFix;
    else if (Game == nullptr)
        index = kImageUnknown;
    else if (GetMissingRomCount() > 0)
        index = kImageMissing;
    else if (GetAvailableElsewhereCount() > 0)
        index = kImageNeedsFix;
    else if (known)
        index = HasBadRomNames() ? kImageNeedsFix : kImageGood;
    else
        index = kImageUnknown;
    if (HasBadDumps()) index += kImageBadDumpOffset;
    return index + (IsFolder() ? kImageFolderOffset : kImageZipOffset);
}

std::string TRomFile::GetStatusText() const {
    if (File != nullptr && File->IsPlain()) return File->GetStatusText();
    if (HasError() || ErrorFlag) return ErrorText();
    if (Status == rsUnknown) return Comment().empty() ? _("Unknown rom.") : _("Unknown rom.") + " - " + Comment();
    std::string text = Status == rsBadName ? Fmt(RomStatusText(rsBadName), {GetCorrectName()}) : RomStatusText(Status);
    if (Duplicated) {
        // A surplus copy of no known rom has no count to show.
        const TRom* rom = GetRom();
        text = rom != nullptr ? DuplicatedText(rom->MatchCount) : _("Duplicated.");
    }
    if (Status == rsBadFileName) text = RomStatusText(rsBadFileName);
    if (SharesName) text += " - " + _("Shares its name with another entry.");
    if (!Comment().empty()) text += " - " + Comment();
    return text;
}

int TRomFile::GetImageIndex() const {
    if (File != nullptr && File->IsPlain()) return File->GetImageIndex();
    int index;
    if (HasError() || ErrorFlag) {
        index = kImageError;
    } else {
        switch (Status) {
            case rsUnknown: index = kImageUnknown; break;
            case rsBadName:
            case rsAvailableElsewhere:
            case rsNotUsed: index = kImageNeedsFix; break;
            case rsMissing: index = kImageMissing; break;
            default: index = kImageGood; break;
        }
    }
    if (Duplicated || Status == rsBadFileName) index = kImageNeedsFix;
    if ((IsNoDump() || IsBadDump()) && index != kImageError) index += kImageBadDumpOffset;
    return index;
}

}  // namespace qm
