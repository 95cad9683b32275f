// The children a view shows for each database object, filtered and counted.
#include "ui/commands/ChildList.h"

#include <algorithm>
#include <array>
#include <unordered_set>

#include "archive/stringsTools.h"
#include "ui/commands/NameFilter.h"

namespace qm {

namespace {

enum class TState { Missing, Incomplete, Complete, Other };

// Game and clone statuses and clone-rom state flags: 0 none, 1 partial, 2 complete,
// each plus 4 when a bad or missing dump is involved.
TState StateOf(int status) {
    switch (status) {
        case 0:
        case 4: return TState::Missing;
        case 1:
        case 5: return TState::Incomplete;
        case 2:
        case 6: return TState::Complete;
        default: return TState::Other;
    }
}

// Image strip of files: missing or incomplete, needs fixing, good and unknown, for a
// plain file, with bad dumps, then the same for folders (+7) and zips (+14); 22 to 24
// are the roots' pictures, 25 an error.
using C = TFileCategory;
constexpr std::array<TFileCategory, 26> kFileCategories = {
    C::Incomplete, C::NeedFix, C::Playable, C::Unknown,                 // 0-3
    C::Incomplete, C::NeedFix, C::Playable,                             // 4-6
    C::Incomplete, C::NeedFix, C::Playable, C::Unknown,                 // 7-10
    C::Incomplete, C::NeedFix, C::Playable,                             // 11-13
    C::Incomplete, C::NeedFix, C::Playable, C::Unknown,                 // 14-17
    C::Incomplete, C::NeedFix, C::Playable, C::Unknown,                 // 18-21
    C::None,       C::None,    C::None,     C::Error,                   // 22-25
};

// The name test of a clone: display description, display name, then the name and the
// CRC of each rom it shows.
bool CloneMatches(const TNameFilter& filter, const TClone& clone, TCloneRomsList& scratch) {
    if (!filter.Active()) return true;
    if (filter.Matches(clone.GetDisplayDescription()) || filter.Matches(clone.GetDisplayName())) return true;
    clone.ListRoms(scratch, false);
    for (const TCloneRom* cloneRom : scratch)
        if (filter.Matches(cloneRom->Name) || filter.Matches(cloneRom->Crc)) return true;
    return false;
}

bool FileMatches(const TNameFilter& filter, const TFile& file, TCloneRomsList& scratch) {
    if (!filter.Active()) return true;
    if (filter.Matches(file.Name) || filter.Matches(file.FullPath) || filter.Matches(file.GetCorrectName()))
        return true;
    if (file.Clone == nullptr) return false;
    file.Clone->ListRoms(scratch, true);
    for (const TCloneRom* cloneRom : scratch)
        if (filter.Matches(cloneRom->Name) || filter.Matches(cloneRom->Crc)) return true;
    return false;
}

}  // namespace

// ---- TChildItems --------------------------------------------------------------------

int TChildItems::IndexOfObject(const TViewObject& object) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i].Object == object) return static_cast<int>(i);
    return -1;
}

void TChildItems::Sort() {
    std::stable_sort(items_.begin(), items_.end(),
                     [](const TChildItem& a, const TChildItem& b) { return CompareText(a.Text, b.Text) < 0; });
}

// ---- Images -------------------------------------------------------------------------

TFileCategory FileCategoryOfImage(int imageIndex) {
    if (imageIndex < 0 || imageIndex >= static_cast<int>(kFileCategories.size())) return TFileCategory::None;
    return kFileCategories[static_cast<size_t>(imageIndex)];
}

int GetObjectImageIndex(const TViewObject& object) {
    if (IsNilObject(object)) return -1;
    if (auto* game = ObjectAs<TGame>(object)) return game->GetStatus();
    if (auto* clone = ObjectAs<TClone>(object)) return clone->GetStatus();
    if (auto* cloneRom = ObjectAs<TCloneRom>(object)) return cloneRom->GetStateFlags();
    if (auto* file = ObjectAs<TFile>(object)) return file->GetImageIndex();
    if (auto* romFile = ObjectAs<TRomFile>(object)) return romFile->GetImageIndex();
    if (ObjectAs<TGamesList>(object) || ObjectAs<TClonesList>(object)) return 24;
    if (ObjectAs<TPath>(object)) return 22;
    return -1;
}

// ---- TChildCollector ----------------------------------------------------------------

TChildCollector::~TChildCollector() = default;

void TChildCollector::SetDisplayLevel(TDisplayLevel level) {
    if (!Refreshing) displayLevel_ = level;
}

void TChildCollector::BeginModeOverride() {
    if (overrideDepth_++ > 0) return;
    if (SplitMergeMode != smManual || RomsBd == nullptr) return;
    overridden_ = RomsBd;
    savedMergeRoms_ = RomsBd->MergeRoms;
    savedSplit_ = RomsBd->Split;
    if (RomsBd->MergeRoms != Merged) RomsBd->MergeRoms = Merged;
    if (RomsBd->Split != Split) RomsBd->Split = Split;
}

void TChildCollector::EndModeOverride() {
    if (overrideDepth_ == 0) return;
    if (--overrideDepth_ > 0) return;
    if (overridden_ == nullptr) return;
    // Split first: the database recomputes its states on the next reading either way.
    if (overridden_->Split != savedSplit_) overridden_->Split = savedSplit_;
    if (overridden_->MergeRoms != savedMergeRoms_) overridden_->MergeRoms = savedMergeRoms_;
    overridden_ = nullptr;
}

void TChildCollector::ResetStateCounters() {
    TotalSize = 0;
    CompleteCount = 0;
    IncompleteCount = 0;
    MissingCount = 0;
}

void TChildCollector::CountState(int status) {
    switch (StateOf(status)) {
        case TState::Complete: ++CompleteCount; break;
        case TState::Incomplete: ++IncompleteCount; break;
        case TState::Missing: ++MissingCount; break;
        case TState::Other: break;
    }
}

bool TChildCollector::StateShown(int status) const {
    switch (StateOf(status)) {
        case TState::Complete: return DatabaseFilters.Has(dfShowComplete);
        case TState::Incomplete: return DatabaseFilters.Has(dfShowIncomplete);
        case TState::Missing: return DatabaseFilters.Has(dfShowMissing);
        case TState::Other: return false;
    }
    return false;
}

void TChildCollector::CollectChildren(const TViewObject& parent, TChildItems& items) {
    items.Clear();
    if (IsNilObject(parent)) return;
    if (ObjectAs<TGamesList>(parent))
        CollectGamesRoot(items);
    else if (auto* game = ObjectAs<TGame>(parent))
        CollectGameClones(game, items);
    else if (auto* clone = ObjectAs<TClone>(parent))
        CollectCloneRoms(clone, items);
    else if (auto* path = ObjectAs<TPath>(parent))
        CollectPathFiles(path, items);
    else if (auto* file = ObjectAs<TFile>(parent))
        CollectRomFiles(file, items);
    items.Sort();
}

void TChildCollector::CollectGamesRoot(TChildItems& items) {
    TModeOverride override(*this);
    ResetStateCounters();
    ResourceCount = 0;
    RootCounts = {};
    if (displayLevel_ == dlGames)
        CollectGames(items);
    else
        CollectClones(items);
    RootCounts.missing = MissingCount;
    RootCounts.incomplete = IncompleteCount;
    RootCounts.complete = CompleteCount;
    ResetRomCount();
}

void TChildCollector::CollectGames(TChildItems& items) {
    if (ShownClones == nullptr) return;
    const TNameFilter filter(RegularExpression);
    std::unordered_set<const TGame*> counted;
    std::unordered_set<const TGame*> resources;
    // A game whose description is listed already stays out, like a second clone of it.
    std::unordered_set<std::string_view, TSameTextHash, TSameTextEqual> listed;
    for (const auto& [text, clone] : *ShownClones) {
        if (clone == nullptr || clone->Game == nullptr) continue;
        TGame* game = clone->Game;
        if (game->IsResource && resources.insert(game).second) ++RootCounts.resources;
        if (filter.Active() && !filter.Matches(game->Description) && !filter.Matches(game->Name)) continue;
        const int status = game->GetStatus();
        if (counted.insert(game).second) {
            CountState(status);
            // Once per game, listed or not: the status bar subtracts it from the games.
            if (game->IsResource) ++ResourceCount;
        }
        if (listed.count(game->Description) != 0) continue;
        if (!StateShown(status)) continue;
        TotalSize += game->GetSize();
        items.Add(game->Description, game);
        listed.insert(game->Description);
    }
}

void TChildCollector::CollectClones(TChildItems& items) {
    if (ShownClones == nullptr) return;
    const TNameFilter filter(RegularExpression);
    TCloneRomsList scratch;
    for (const auto& [text, clone] : *ShownClones) {
        if (clone == nullptr) continue;
        if (clone->Game != nullptr && clone->Game->IsResource) ++RootCounts.resources;
        if (!CloneMatches(filter, *clone, scratch)) continue;
        const int status = clone->GetStatus();
        CountState(status);
        if (StateShown(status)) {
            items.Add(clone->GetDisplayDescription(), clone);
            TotalSize += clone->GetSize();
        }
        if (clone->Game != nullptr && clone->Game->IsResource) ++ResourceCount;
    }
}

void TChildCollector::CollectGameClones(const TGame* game, TChildItems& items) {
    TModeOverride override(*this);
    ResetStateCounters();
    const TNameFilter filter(RegularExpression);
    TCloneRomsList scratch;
    TCloneItems clones;
    game->ListClones(clones);
    for (const auto& [text, clone] : clones) {
        if (!CloneMatches(filter, *clone, scratch)) continue;
        CountState(clone->GetStatus());
        items.Add(clone->GetDisplayDescription(), clone);
        TotalSize += clone->GetSize();
    }
}

void TChildCollector::CollectCloneRoms(const TClone* clone, TChildItems& items) {
    TModeOverride override(*this);
    ResetStateCounters();
    TCloneRomsList roms;
    clone->ListRoms(roms, false);
    for (TCloneRom* cloneRom : roms) {
        CountState(cloneRom->GetStateFlags());
        items.Add(cloneRom->Name, cloneRom);
        // An unknown size (-1) counts 0, as in the clone's own size.
        if (cloneRom->Rom != nullptr && cloneRom->Rom->Size > 0) TotalSize += cloneRom->Rom->Size;
    }
}

bool TChildCollector::PassesSubList(const TFile& file, bool split) const {
    if (!split) return ShownGames != nullptr && ShownGames->HasObject(file.Game);
    if (file.IsPlain()) {
        // A plain file of no clone is in no set; only the unknown-file rule lists it.
        return file.Clone == nullptr || ShownClones->HasText(file.Clone->GetDisplayName());
    }
    return ShownClones->HasText(RemoveFileExt(file.GetCorrectName()));
}

void TChildCollector::CollectPathFiles(const TPath* path, TChildItems& items) {
    PlayableCount = 0;
    NeedFixCount = 0;
    IncompleteFileCount = 0;
    UnknownCount = 0;
    TotalSize = 0;
    const TNameFilter filter(RegularExpression);
    const TRomsBd* romsBd = RomsBd != nullptr ? RomsBd : FilesBd != nullptr ? FilesBd->RomsBd() : nullptr;
    TCloneRomsList scratch;
    for (const auto& owned : path->Files()) {
        TFile& file = *owned;
        auto add = [&] {
            items.Add(file.Name, &file);
            TotalSize += file.GetRomsSize();
        };
        if (!FileMatches(filter, file, scratch)) continue;
        const TFileCategory category = FileCategoryOfImage(file.GetImageIndex());
        if (category == TFileCategory::Unknown) {
            // Unknown files are not subject to the sub-list.
            if (PathFilters.Has(pfShowUnknown)) {
                ++UnknownCount;
                add();
            }
            continue;
        }
        if (category == TFileCategory::Error) {
            add();
            continue;
        }
        if (ShownClones != nullptr) {
            const TRomsBd* bd = romsBd != nullptr ? romsBd : file.RomsBd();
            if (!PassesSubList(file, bd != nullptr && bd->Split)) continue;
        }
        if (category == TFileCategory::Playable && PathFilters.Has(pfShowPlayable)) {
            add();
            ++PlayableCount;
        } else if (category == TFileCategory::NeedFix && PathFilters.Has(pfShowNeedFix)) {
            add();
            ++NeedFixCount;
        } else if (category == TFileCategory::Incomplete && PathFilters.Has(pfShowIncomplete)) {
            add();
            ++IncompleteFileCount;
        }
    }
}

void TChildCollector::CollectRomFiles(const TFile* file, TChildItems& items) {
    PlayableCount = 0;
    NeedFixCount = 0;
    IncompleteFileCount = 0;
    UnknownCount = 0;
    TotalSize = 0;
    for (const auto& entry : file->RomFiles) {
        TRomFile* romFile = entry.romFile.get();
        items.Add(std::string(romFile->Name()), romFile);
        if (!romFile->IsPlaceholder()) TotalSize += romFile->Size;
    }
}

int TChildCollector::GetGameCount() const { return ShownGames != nullptr ? ShownGames->Count() : 0; }

int TChildCollector::GetCloneCount() const {
    if (displayLevel_ == dlClones) return ShownClones != nullptr ? ShownClones->Count() : 0;
    if (ShownGames == nullptr) return 0;
    int count = 0;
    for (const auto& [text, game] : *ShownGames)
        if (game != nullptr) count += game->GetCloneCount();
    return count;
}

int TChildCollector::GetRomCount() {
    if (romCount_ != 0) return romCount_;
    int count = 0;
    if (displayLevel_ == dlGames) {
        if (ShownGames != nullptr)
            for (const auto& [text, game] : *ShownGames)
                if (game != nullptr) game->ForEachShownClone([&](const TClone* clone) { count += clone->GetRomCount(); });
    } else if (ShownClones != nullptr) {
        for (const auto& [text, clone] : *ShownClones)
            if (clone != nullptr) count += clone->GetRomCount();
    }
    romCount_ = count;
    return romCount_;
}

}  // namespace qm
