// Matching a file against the rom database: which game it is, which of its rom files are
// the game's roms under the right name, which are misnamed, useless or surplus copies,
// and which roms of the game it lacks (placeholders).
#include <algorithm>
#include <memory>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "archive/stringsTools.h"
#include "catalogue/RomsBd.h"
#include "filesdb/filesBd.h"

namespace qm {

namespace {

// The clone among candidates that lists a no-dump rom of that name.
bool ListsNoDump(const TClone* clone, std::string_view name) {
    const TCloneRom* cr = clone->FindCloneRom(name);
    return cr != nullptr && cr->GetCrcState() == csNoDump;
}

// The first rom file of that CRC still free for a listing, or nullptr.
TRomFile* FirstUnsettled(const TRomFilesList& list, std::string_view crc) {
    int index = list.IndexOf(crc);
    if (index < 0) return nullptr;
    for (; index < list.Count() && SameText(list.Key(index), crc); ++index) {
        TRomFile* r = list[index];
        if (!r->IsNoDump() && r->Status == rsNotSettled) return r;
    }
    return nullptr;
}

// The listing by which a game of one set takes a rom from a bios, named as r is and of
// its content, or nullptr.
TCloneRom* BiosListing(const TGame& game, const TRomFile& r) {
    for (const TClone* clone : game.Clones) {
        TCloneRom* cr = clone->FindCloneRom(r.Name());
        if (cr == nullptr || !cr->IsResourceRom()) continue;
        const std::string& crc = cr->Rom->Crc;
        if (SameText(r.Crc(), crc) || SameText(r.Crc(), ComplementCrcFast(crc))) return cr;
    }
    return nullptr;
}

TClone* DisplayClone(const TRom* rom) {
    const TCloneRom* shown = rom->GetDisplayCloneRom();
    return shown != nullptr ? shown->Clone : nullptr;
}

}  // namespace

TClone* TFile::FindGame() const {
    const TRomsBd* romsBd = RomsBd();
    if (romsBd == nullptr) return nullptr;
    if (HasError()) return romsBd->FindClone(ShortName);

    if (IsPlain()) {
        const TRomFile* first = RomFiles.Empty() ? nullptr : RomFiles[0];
        const TRom* rom = first != nullptr ? first->GetRom() : nullptr;
        return rom != nullptr ? DisplayClone(rom) : nullptr;
    }

    TClone* named = romsBd->FindClone(ShortName);
    // A rom without a good dump is only known by its name.
    if (named != nullptr) {
        TCloneItems clones;
        bool listed = false;
        for (const auto& entry : RomFiles) {
            const TRomFile& r = *entry.romFile;
            if (!r.IsNoDump() || r.HasError()) continue;
            if (ListsNoDump(named, r.Name())) return named;
            if (!listed) {
                named->Game->ListClones(clones);
                listed = true;
            }
            for (const auto& item : clones)
                if (ListsNoDump(item.second, r.Name())) return item.second;
        }
    }

    TCloneRomsList users;
    if (named != nullptr) {
        for (const auto& entry : RomFiles) {
            const TRomFile& r = *entry.romFile;
            const TRom* rom = r.GetRom();
            if (rom == nullptr || r.HasError() || r.IsNoDump() || r.IsPlaceholder()) continue;
            rom->ListCloneRoms(users);
            for (const TCloneRom* user : users)
                if (user->Clone == named) return named;
        }
    }

    TClone* fallback = nullptr;
    bool haveFallback = false;
    for (const auto& entry : RomFiles) {
        const TRomFile& r = *entry.romFile;
        const TRom* rom = r.GetRom();
        if (rom == nullptr || r.HasError()) continue;
        if (!haveFallback) {
            fallback = DisplayClone(rom);
            haveFallback = true;
        }
        if (r.IsNoDump() || r.IsPlaceholder()) continue;
        rom->ListCloneRoms(users);
        if (users.Count() == 1)
            if (TClone* unique = DisplayClone(rom)) return unique;
    }
    if (named != nullptr) return named;
    return fallback;
}

void TFile::Match() {
    Clone = FindGame();
    Game = Clone != nullptr ? Clone->Game : nullptr;
    TRomsBd* romsBd = RomsBd();
    TFilesBd* bd = FilesBd();

    TCloneRomsList wanted;
    if (Clone != nullptr && romsBd != nullptr) romsBd->ListGameRoms(Clone->GetDisplayName(), wanted);

    // Placeholders are set aside, not freed: the ones still needed come back as the same
    // objects, so that the views' nodes that point at them survive a re-match.
    std::vector<std::unique_ptr<TRomFile>> aside;
    for (int i = RomFiles.Count() - 1; i >= 0; --i)
        if (RomFiles[i]->IsPlaceholder()) aside.push_back(RomFiles.Extract(i));
    std::reverse(aside.begin(), aside.end());

    for (const auto& entry : RomFiles) {
        TRomFile& r = *entry.romFile;
        r.CloneRom = nullptr;
        // A surplus copy is judged again every time; a stale flag would make a good rom
        // look useless to the step that moves useless roms out.
        r.Duplicated = false;
        if (!r.HasError()) r.Status = rsNotSettled;
    }

    const bool suggested = bd != nullptr && bd->PlugInSuggeredExtension;
    const TCaseOptions romCase = bd != nullptr ? bd->RomFileCaseOptions : coDontCare;

    // Pass 1: the right name.
    const TRomFilesList::TNameIndex byName(RomFiles);
    for (TCloneRom* cr : wanted) {
        TRomFile* found = byName.Find(cr->Name);
        if (found == nullptr) continue;
        TRomFile& r = *found;
        if (r.HasError()) continue;
        if (!(r.SuggestedExtension().empty() && SameText(r.Name(), cr->Name)) && suggested &&
            !SameText(r.SuggestedExtension(), r.Extension()))
            continue;
        const std::string& romCrc = cr->Rom->Crc;
        if (!SameText(r.Crc(), romCrc) && !SameText(r.Crc(), ComplementCrcFast(romCrc)) &&
            cr->GetCrcState() != csNoDump)
            continue;
        r.Status = rsOk;
        r.CloneRom = cr;
        // The same rule names the rom for the rename, so a renamed rom matches as good.
        if (romCase != coDontCare && r.GetCorrectName() != r.Name()) r.Status = rsBadCase;
    }

    // Pass 2: the right rom under another name, else a placeholder.
    for (TCloneRom* cr : wanted) {
        // Only placeholders have come in since the index was made.
        const TRomFile* named = byName.Find(cr->Name);
        if (named != nullptr && named->CloneRom == cr) continue;

        TRomFile* taken = nullptr;
        if (cr->GetCrcState() == csNoDump) {
            for (const auto& entry : RomFiles) {
                TRomFile& r = *entry.romFile;
                if (r.Status == rsNotSettled && SameText(r.Name(), cr->Name)) {
                    taken = &r;
                    break;
                }
            }
        } else {
            // A game may list one content under two names: the copy that pass 1 took for
            // one name does not hide a second copy that stands misnamed for the other.
            const std::string& crc = cr->Rom->Crc;
            taken = FirstUnsettled(RomFiles, crc);
            if (taken == nullptr && RomFiles.IndexOf(crc) < 0) taken = FirstUnsettled(RomFiles, ComplementCrcFast(crc));
        }
        if (taken != nullptr) {
            taken->Status = rsBadName;
            taken->CloneRom = cr;
            continue;
        }
        if (IsPlain()) continue;

        // Missing here. The placeholder set aside for this very listing first, then one
        // of its name; it is given this listing's rom whichever it was.
        auto it = std::find_if(aside.begin(), aside.end(), [cr](const auto& p) { return p && p->CloneRom == cr; });
        if (it == aside.end())
            it = std::find_if(aside.begin(), aside.end(),
                              [cr](const auto& p) { return p && SameText(p->Name(), cr->Name); });
        std::unique_ptr<TRomFile> placeholder;
        bool created = false;
        if (it != aside.end()) {
            placeholder = std::move(*it);
            aside.erase(it);
        } else {
            placeholder = std::make_unique<TRomFile>(this);
            // Named after the clone rom as a whole, inner folders and all.
            placeholder->SetNames(std::string(cr->Name), cr->Name, FileExtensionView(cr->Name));
            created = true;
        }
        placeholder->CloneRom = cr;
        placeholder->SetCrc(LowerCase(cr->Crc));
        placeholder->Size = cr->Rom->Size;
        placeholder->Duplicated = false;
        placeholder->Status = cr->Rom->MatchCount < 1 ? rsMissing : rsAvailableElsewhere;
        TRomFile* raw = placeholder.get();
        RomFiles.Add(std::move(placeholder), raw->Crc());
        if (created && bd != nullptr && bd->OnCreateRomFile) bd->OnCreateRomFile(raw);
    }

    // In one set per game the bios set holds the roms a game takes from it; the copy a
    // full merge leaves in the game's own set is still the game's rom: kept, not useless.
    if (Clone != nullptr && romsBd != nullptr && !romsBd->Split && !IsPlain()) {
        for (const auto& entry : RomFiles) {
            TRomFile& r = *entry.romFile;
            if (r.Status != rsNotSettled || r.IsPlaceholder() || r.IsNoDump()) continue;
            TCloneRom* cr = BiosListing(*Clone->Game, r);
            if (cr == nullptr) continue;
            r.Status = rsOk;
            r.CloneRom = cr;
            if (romCase != coDontCare && r.GetCorrectName() != r.Name()) r.Status = rsBadCase;
        }
    }

    for (auto& left : aside) {
        if (bd != nullptr && bd->OnRemoveRomFile) bd->OnRemoveRomFile(left.get());
        if (bd != nullptr)
            bd->Retire(std::move(left));
        else
            left.reset();
    }

    if (IsPlain()) {
        TRomFile* r = RomFiles.Empty() ? nullptr : RomFiles[0];
        const TRom* rom = r != nullptr ? r->GetRom() : nullptr;
        if (rom == nullptr) return;
        if (rom->MatchCount == 1 || rom->Files.empty()) {
            r->Duplicated = false;
            return;
        }
        // Only this file's own flag: the other copies are judged when they are matched.
        const auto& copies = rom->Files;
        const bool elsewhere = std::any_of(copies.begin(), copies.end(),
                                           [this](const TRomFile* e) { return e->File->Path != Path; });
        const TRomFile* keeper = copies.front();
        if (!elsewhere) {
            // A copy inside a set's zip or folder is the one kept: a loose copy beside it
            // is surplus, whichever the scan happened to meet first.
            const auto inSet = std::find_if(copies.begin(), copies.end(),
                                            [](const TRomFile* e) { return !e->File->IsPlain(); });
            if (inSet != copies.end()) {
                keeper = *inSet;
            } else {
                for (size_t i = 1; i < copies.size(); ++i)
                    if (keeper->Status == rsBadName && copies[i]->Status != rsBadName) keeper = copies[i];
            }
        }
        r->Duplicated = keeper != r;
        return;
    }

    // Surplus copies inside one folder or zip.
    const int count = RomFiles.Count();
    for (int i = 0; i < count; ++i) {
        TRomFile& a = *RomFiles[i];
        if (a.Status == rsMissing || a.HasError() || a.Duplicated || a.GetRom() == nullptr) continue;
        const bool aNoDump = a.IsNoDump();
        for (int j = i + 1; j < count; ++j) {
            TRomFile& b = *RomFiles[j];
            if (b.Status == rsMissing || b.HasError()) continue;
            const bool bNoDump = b.IsNoDump();
            const bool copies = (!aNoDump && !bNoDump && SameText(a.Crc(), b.Crc())) ||
                                (aNoDump && bNoDump && a.Name() == b.Name());
            if (!copies) continue;
            if (a.Status == rsNotSettled && b.Status == rsNotSettled) {
                b.Duplicated = true;
            } else {
                if (a.Status == rsNotSettled) a.Duplicated = true;
                if (b.Status == rsNotSettled) b.Duplicated = true;
            }
        }
    }

    // Entries of one name: each after the first says so (the repairs give it a name of
    // its own before they touch the zip).
    std::unordered_set<std::string_view> names;
    for (const auto& entry : RomFiles) {
        TRomFile& r = *entry.romFile;
        if (r.Status == rsNotSettled) r.Status = r.GetRom() != nullptr ? rsNotUsed : rsUnknown;
        r.SharesName = IsZip() && !r.IsPlaceholder() && !names.insert(r.StoredName()).second;
    }
}

}  // namespace qm
