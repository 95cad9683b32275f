#pragma once
// The game, rom and file list: the children of one database object (the games or clones
// of the whole database, the clones of a game, the roms of a clone, the files of a rom
// path, the roms of a file) as rows of up to five columns. Every row's record (texts,
// image, colour, sort keys) is made when the list is filled, so that painting and sorting
// never read the databases. The column layout follows the class of the object shown; the
// column widths are kept per emulator in the program's ini file.
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include <QColor>

#include "ui/views/CustomQMVirtualView.h"

namespace qm {

enum THeaderLayout : uint8_t { hlGames, hlClones, hlClonesRoms, hlFiles, hlRomFiles, hlnone };

using TNamedFiles = std::vector<std::pair<std::string, TFile*>>;
using TNamedRomFiles = std::vector<std::pair<std::string, TRomFile*>>;
using TViewObjects = std::vector<TViewObject>;

class TQMVirtualListView : public TCustomQMVirtualView {
    Q_OBJECT

public:
    static constexpr int kColumnCount = 5;

    explicit TQMVirtualListView(QWidget* parent = nullptr);
    ~TQMVirtualListView() override;

    // Row colours of a clone rom taken from a resource set, and from the parent set.
    QColor BiosColor = QColor(230, 247, 255);
    QColor MergeColor = QColor(239, 239, 239);

    // Width slots, shared by every layout that shows the column.
    int GameWidth = 280;
    int FileNameWidth = 110;
    int RomNameWidth = 110;
    int SizeWidth = 70;
    int MainSetWidth = 90;
    int NbOfRomsWidth = 80;
    int NbOfClonesWidth = 90;
    int InfosWidth = 200;
    int CrcWidth = 80;
    int MergedWidth = 100;
    void ResetWidths();

    // The settings file of the widths; empty: the program's own ini file.
    std::string IniFileName;
    // Section of the widths, empty until LoadColumnWidths.
    const std::string& ColumnSection() const { return columnSection_; }

    // Events for the main window: the focused row changed, or the selected rows did
    // (throttled); a row was double-clicked.
    std::function<void()> OnSelectionChange;
    std::function<void(const TViewObject& object)> OnDoubleClick;

    // The rows as CollectChildren gave them.
    const TChildItems& ItemList() const { return itemList_; }
    const TViewObject& ShownObject() const { return shownObject_; }
    const TViewObject& PendingObject() const { return pendingObject_; }

    THeaderLayout Layout() const { return layout_; }
    // Applies the layout, keeping the present widths of the old one in their slots.
    void SetLayout(THeaderLayout layout) { ApplyLayout(layout, true); }

    // The object to show; shown at once unless a refill is running (then after it).
    void SetParentObject(const TViewObject& object);
    void ShowObject();
    // Fills the rows again from the object shown.
    void RefreshItems();
    void FillItems();

    std::string GetCellText(const TViewNode* node, int column) const override;
    int DoCompare(const TViewNode& a, const TViewNode& b, int column) const override;
    void Clear() override;

    // Records and objects of a row, or of the first selected row; nullptr / nil when none.
    const TViewRecord* GetRecord(const TViewNode* node) const { return node != nullptr ? &node->Record : nullptr; }
    TViewObject GetNodeObject(const TViewNode* node) const { return node != nullptr ? node->Record.Object : TViewObject(); }
    const TViewRecord* GetFocusedRecord() const { return GetRecord(FirstSelectedNode()); }
    TViewObject GetFocusedObject() const { return GetNodeObject(FirstSelectedNode()); }

    // The status text of a file or a rom file, "" for anything else.
    static std::string GetStatusText(const TViewObject& object);

    // Selection reads, in row order. ReadSelection gives both of the first two from one
    // walk of the selection; false when nothing is selected.
    bool ReadSelection(TNamedRomFiles& roms, TNamedFiles& files) const;
    void GetSelectedRomFiles(TNamedRomFiles& list) const;
    void GetSelectedFiles(TNamedFiles& list) const;
    void GetSelectedObjects(TViewObjects& list) const;
    bool SelectionEmpty() const { return SelectedCount() == 0; }
    // -1 when nothing is selected.
    int64_t GetSelectedSize();

    // Select every row that qualifies; the number of rows selected.
    int SelectMainSets();
    int SelectClones();
    int SelectNoGoodDump();

    // Column widths in the settings file: read from the section (brackets written as
    // "{{" and "}}"), and written back there. Reading never fails outward. Saving
    // returns 0 or the errno of the failed rewrite; nothing is written before a load.
    void LoadColumnWidths(const std::string& sectionName);
    int SaveColumnWidths();

    // The files database announces that a file or a rom file is about to go: its rows
    // are pruned so that no row keeps the freed object. While the files database runs a
    // command (which frees nothing before it ends) the rows are pruned once, by
    // ApplyRemovals when the command ends; otherwise at once.
    void RemoveFile(const TFile* file);
    void RemoveRomFile(const TRomFile* romFile);
    void ApplyRemovals();

    // Header click: the sort column toggles its direction, another column sorts ascending.
    void DoHeaderClick(int column);

protected:
    void DoChange(const QModelIndex& node) override;

private:
    // What a row sorts by in its number columns; made with the record.
    struct TSortKeys {
        int64_t Number[kColumnCount] = {0, 0, 0, 0, 0};
        bool MainSet = false;
    };
    struct TColumnSpec {
        const char* Caption;  // untranslated
        int TQMVirtualListView::*Slot;
        int Minimum;
    };
    static const TColumnSpec* LayoutColumns(THeaderLayout layout, int& count);

    void InitRow(TViewNode& node);
    void ApplyLayout(THeaderLayout layout, bool store);
    void StoreWidths();
    void ApplyWidths();
    void ClampSection(int section, int oldSize, int newSize);
    // Rebuilds the rows from ItemList as it is (no database read for the list itself).
    void MakeRows();
    int SelectRows(const std::function<bool(const TViewObject&)>& qualifies);
    int NumberColumnOf(const TViewNode& a, int column) const;

    TChildItems itemList_;
    TViewObject shownObject_;
    TViewObject pendingObject_;
    THeaderLayout layout_ = hlnone;
    std::string columnSection_;
    std::unordered_map<const TViewNode*, TSortKeys> keys_;
    // What the rows show, by object: files (of file rows and of rom-file rows) and rom
    // files; and what was announced gone during a command.
    std::unordered_set<const TFile*> rowFiles_;
    std::unordered_set<const TRomFile*> rowRomFiles_;
    std::unordered_set<const TFile*> droppedFiles_;
    std::unordered_set<const TRomFile*> droppedRomFiles_;
    bool clamping_ = false;
};

}  // namespace qm
