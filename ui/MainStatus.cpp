#include "ui/MainStatus.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QStatusBar>

#include "archive/stringsTools.h"
#include "catalogue/Emulator.h"
#include "catalogue/config.h"
#include "platform/Text.h"
#include "ui/TextConv.h"
#include "ui/controls/ImageList.h"
#include "ui/views/ChildList.h"
#include "ui/ActionStates.h"
#include "ui/views/QMVirtualListView.h"
#include "ui/views/QMVirtualTreeView.h"

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

TItemTextSource ItemTextSourceOf(bool fromTree, const TQMVirtualTreeView& tree, const TQMVirtualListView& list,
                                 const TDataFile* dataFile, bool emulatorSplit) {
    TItemTextSource source;
    source.FromTree = fromTree;
    source.Object = fromTree ? tree.GetFocusedObject() : list.GetFocusedObject();
    source.TreeRootSelected = SelectionOfViews(false, &tree, nullptr).TreeRootSelected;
    source.ListSelectedCount = list.SelectedCount();
    source.DataFile = dataFile;
    source.EmulatorSplit = emulatorSplit;
    return source;
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

TStatusTexts StatusBarTexts(TQMVirtualListView& list, const TEmulator* emulator) {
    return StatusBarTexts(list.GetSelectedSize(), list.SelectedCount(), list.TotalSize, emulator);
}

std::string DatabaseInfoText(TChildCollector& tree) {
    const int resources = tree.ResourceCount;
    return Fmt(_("Database: %1 games, %2 clones, %3 roms, %4 resources."),
               {std::to_string(tree.GetGameCount() - resources), std::to_string(tree.GetCloneCount() - resources),
                std::to_string(tree.GetRomCount()), std::to_string(resources)});
}

std::array<std::string, 3> StatusCounterTexts(const TChildCollector& tree) {
    return {std::to_string(tree.MissingCount), std::to_string(tree.IncompleteCount),
            std::to_string(tree.CompleteCount)};
}

// ---------------------------------------------------------------------------------------

TMainStatusBar::TMainStatusBar(QStatusBar* statusBar, QWidget* viewsParent) {
    static constexpr int kWidths[kPanelCount] = {60, 60, 60, 75, 0, 0, 50};
    static const char* const kHints[kPanelCount] = {"", "", "", "Size of selected items", "Rom handling mode",
                                                    "Emulator name used to play games", ""};
    for (int i = 0; i < kPanelCount; ++i) {
        auto* label = new QLabel;
        label->setObjectName(QString("StatusPanel%1").arg(i));
        label->setTextFormat(Qt::PlainText);
        QWidget* panel = label;
        if (i < 3) {
            // A picture and its count in one panel of fixed width.
            auto* box = new QWidget;
            box->setObjectName(QString("StatusGlyphPanel%1").arg(i));
            auto* layout = new QHBoxLayout(box);
            layout->setContentsMargins(2, 0, 2, 0);
            layout->setSpacing(4);
            auto* glyph = new QLabel;
            glyph->setObjectName(QString("StatusGlyph%1").arg(i));
            layout->addWidget(glyph);
            layout->addWidget(label, 1);
            glyphs_[static_cast<size_t>(i)] = glyph;
            panel = box;
        }
        // The last panel is at least its width and grows with its text.
        if (i == kPanelCount - 1)
            panel->setMinimumWidth(kWidths[i]);
        else if (kWidths[i] > 0)
            panel->setFixedWidth(kWidths[i]);
        if (kHints[i][0] != '\0') panel->setToolTip(ui::ToQ(_(kHints[i])));
        statusBar->addPermanentWidget(panel);
        panels_[static_cast<size_t>(i)] = label;
    }
    listStatus_ = new QLabel(viewsParent);
    listStatus_->setObjectName("ListViewStatusBar");
    treeStatus_ = new QLabel(viewsParent);
    treeStatus_->setObjectName("TreeViewStatusBar");
    for (QLabel* line : {listStatus_, treeStatus_}) {
        line->setTextFormat(Qt::PlainText);
        line->setFrameShape(QFrame::StyledPanel);
        line->setFrameShadow(QFrame::Sunken);
    }
}

void TMainStatusBar::SetGlyphs(const TImageList& flags) {
    for (int i = 0; i < 3; ++i) glyphs_[static_cast<size_t>(i)]->setPixmap(flags.At(i));
}

void TMainStatusBar::SetItemText(const std::optional<std::string>& text) {
    if (text) listStatus_->setText(ui::ToQ(*text));
}

void TMainStatusBar::SetTexts(const TStatusTexts& texts) {
    panels_[3]->setText(ui::ToQ(texts.Size));
    panels_[4]->setText(ui::ToQ(texts.Mode));
    panels_[5]->setText(ui::ToQ(texts.Emulator));
    panels_[6]->setText(ui::ToQ(texts.Selected));
}

void TMainStatusBar::SetCounters(const std::array<std::string, 3>& counters) {
    for (int i = 0; i < 3; ++i) panels_[static_cast<size_t>(i)]->setText(ui::ToQ(counters[static_cast<size_t>(i)]));
}

void TMainStatusBar::SetDatabaseInfo(const std::string& text) { treeStatus_->setText(ui::ToQ(text)); }

}  // namespace qm
