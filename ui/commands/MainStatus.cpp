// The status texts of the main window: item line, panels and database line.
#include "ui/commands/MainStatus.h"

#include "archive/stringsTools.h"
#include "catalogue/Emulator.h"
#include "catalogue/config.h"
#include "platform/Text.h"
#include "ui/commands/ChildList.h"

namespace qm {

namespace {

std::string BiosNote(const TGame* game) {
    if (game == nullptr || game->ResourceGame == nullptr) return {};
    return " - " + Fmt(_("Bios [%1] needed"), {game->ResourceGame->Name});
}

// Split on for a clone's own names; afterwards the emulator's mode again, also when a
// read throws.
class TSplitOn {
public:
    TSplitOn(TRomsBd& romsBd, bool restore) : romsBd_(romsBd), restore_(restore) { romsBd_.Split = true; }
    ~TSplitOn() { romsBd_.Split = restore_; }
    TSplitOn(const TSplitOn&) = delete;
    TSplitOn& operator=(const TSplitOn&) = delete;

private:
    TRomsBd& romsBd_;
    bool restore_;
};
}  // namespace

std::string GameItemText(const TGame& game) { return game.Description + " - [" + game.Name + "]" + BiosNote(&game); }

std::string CloneItemText(const TClone& clone, bool emulatorSplit) {
    TSplitOn split(clone.RomsBd(), emulatorSplit);
    return clone.GetDisplayDescription() + " - [" + clone.GetDisplayName() + "]" + BiosNote(clone.Game);
}

std::optional<std::string> ItemStatusText(const TItemTextSource& s) {
    std::optional<std::string> text;
    if (s.FromTree) {
        text = std::string();
        if (s.TreeRootSelected && s.DataFile != nullptr)
            text = s.DataFile->GetName() + " - " + s.DataFile->Author + " - " + s.DataFile->CreditsVersion;
    }
    const bool many = s.ListSelectedCount > 1;
    if (const TGame* game = ObjectAs<TGame>(s.Object)) return many ? std::string() : GameItemText(*game);
    if (const TClone* clone = ObjectAs<TClone>(s.Object)) {
        if (many) return std::string();
        return CloneItemText(*clone, s.EmulatorSplit);
    }
    if (ObjectAs<TPath>(s.Object) != nullptr) return std::string();
    if (const TFile* file = ObjectAs<TFile>(s.Object)) {
        if (file->Clone != nullptr) return CloneItemText(*file->Clone, s.EmulatorSplit);
        if (file->Game != nullptr) return GameItemText(*file->Game);
        return _("Unknown game");
    }
    return text;
}

std::string ModePanelText(bool split, bool merge) { return " " + SetModeWord(split, merge) + " "; }

std::string EmulatorPanelText(const std::string& exe) {
    if (exe.empty()) return " " + _("none") + " ";
    return " " + RemoveFileExt(ExtractFileNameAnySep(exe)) + " ";
}

TStatusTexts StatusBarTexts(int64_t selectedSize, int selectedCount, int64_t totalSize, const TEmulator* emulator) {
    int64_t size = selectedSize;
    int count = selectedCount;
    if (size == -1) {
        size = totalSize;
        count = 1;
    }
    TStatusTexts texts;
    if (size > 0) texts.Size = FormatSize(size);
    texts.Selected = Fmt(_("%1 items selected"), {std::to_string(count)});
    if (emulator != nullptr) {
        texts.Mode = ModePanelText(emulator->Split(), emulator->Merge());
        texts.Emulator = EmulatorPanelText(emulator->Exe());
    } else {
        texts.Emulator = EmulatorPanelText("");
    }
    return texts;
}

std::string DatabaseInfoText(TChildCollector& tree) {
    // The games and clones are counted whatever the name filter: so are the resources.
    const int resources = tree.RootCounts.resources;
    return Fmt(_("Database: %1 games, %2 clones, %3 roms, %4 resources."),
               {std::to_string(tree.GetGameCount() - resources), std::to_string(tree.GetCloneCount() - resources),
                std::to_string(tree.GetRomCount()), std::to_string(resources)});
}

std::array<std::string, 3> StatusCounterTexts(const TChildCollector& tree) {
    // The root's, not those of a game or clone the tree listed since.
    return {std::to_string(tree.RootCounts.missing), std::to_string(tree.RootCounts.incomplete),
            std::to_string(tree.RootCounts.complete)};
}

}  // namespace qm
