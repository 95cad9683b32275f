#pragma once
// The main window's status bar and view lines, and what they read from the two views;
// the texts themselves come from the commands' status rules.
#include <array>
#include <optional>
#include <string>

#include "ui/commands/MainStatus.h"

class QLabel;
class QStatusBar;
class QWidget;

namespace qm {

class TImageList;
class TQMVirtualListView;
class TQMVirtualTreeView;

// The source of a change of the tree (fromTree) or the list, from both views.
TItemTextSource ItemTextSourceOf(bool fromTree, const TQMVirtualTreeView& tree, const TQMVirtualListView& list,
                                 const TDataFile* dataFile, bool emulatorSplit);

// The panels for the list's selection.
TStatusTexts StatusBarTexts(TQMVirtualListView& list, const TEmulator* emulator);

// The seven permanent panels of the main status bar (0 to 2: a picture and a count of
// missing, incomplete and complete games; 3 size; 4 mode; 5 emulator; 6 selected
// count), and the one-line status of each view.
class TMainStatusBar {
public:
    static constexpr int kPanelCount = 7;

    // viewsParent owns the two view lines, which the window places below its views.
    TMainStatusBar(QStatusBar* statusBar, QWidget* viewsParent);

    QLabel* Panel(int index) const { return panels_.at(static_cast<size_t>(index)); }
    QLabel* Glyph(int index) const { return glyphs_.at(static_cast<size_t>(index)); }
    QLabel* ListViewStatus() const { return listStatus_; }
    QLabel* TreeViewStatus() const { return treeStatus_; }

    // The pictures of panels 0 to 2 from the status pictures.
    void SetGlyphs(const TImageList& flags);

    void SetItemText(const std::optional<std::string>& text);
    void SetTexts(const TStatusTexts& texts);
    void SetCounters(const std::array<std::string, 3>& counters);
    void SetDatabaseInfo(const std::string& text);

private:
    std::array<QLabel*, kPanelCount> panels_{};
    std::array<QLabel*, 3> glyphs_{};
    QLabel* listStatus_ = nullptr;
    QLabel* treeStatus_ = nullptr;
};

}  // namespace qm
