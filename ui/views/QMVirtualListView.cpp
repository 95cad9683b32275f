#include "ui/views/QMVirtualListView.h"

#include <algorithm>
#include <memory>

#include <QHeaderView>
#include <QItemSelection>
#include <QItemSelectionModel>

#include "archive/stringsTools.h"
#include "platform/Exception.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"
#include "ui/commands/TextConv.h"
#include "ui/views/ListColumnWidths.h"

namespace qm {

namespace {

std::string Decimal(int64_t value) { return std::to_string(value); }

// "[" and "]" would end the section name in the ini file.
std::string SectionOf(const std::string& name) {
    std::string out;
    out.reserve(name.size());
    for (char c : name) {
        if (c == '[')
            out += "{{";
        else if (c == ']')
            out += "}}";
        else
            out += c;
    }
    return out;
}

bool IsMainSet(const TClone* clone) { return clone != nullptr && clone->IsParent; }

}  // namespace

TQMVirtualListView::TQMVirtualListView(QWidget* parent) : TCustomQMVirtualView(parent) {
    DefaultText = "???";
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    Model()->SetInitNode([this](TViewNode& node) { InitRow(node); });
    QHeaderView* head = header();
    head->setSectionsClickable(true);
    head->setSectionsMovable(true);
    head->setSortIndicatorShown(true);
    head->setStretchLastSection(false);
    head->setSortIndicator(-1, Qt::AscendingOrder);
    connect(head, &QHeaderView::sectionClicked, this, [this](int section) { DoHeaderClick(section); });
    connect(head, &QHeaderView::sectionResized, this,
            [this](int section, int oldSize, int newSize) { ClampSection(section, oldSize, newSize); });
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (OnDoubleClick) OnDoubleClick(GetNodeObject(Model()->Node(index.siblingAtColumn(0))));
    });
    // Selecting rows without moving the focus (select all, invert, the set commands,
    // Ctrl+click) changes what the status bar counts as well.
    connect(this, &TCustomQMVirtualView::SelectionChanged, this, [this] {
        if (OnSelectionChange) OnSelectionChange();
    });
    ApplyLayout(hlClones, false);
}

TQMVirtualListView::~TQMVirtualListView() { Model()->SetInitNode(nullptr); }

void TQMVirtualListView::ResetWidths() {
    GameWidth = 280;
    FileNameWidth = 110;
    RomNameWidth = 110;
    SizeWidth = 70;
    MainSetWidth = 90;
    NbOfRomsWidth = 80;
    NbOfClonesWidth = 90;
    InfosWidth = 200;
    CrcWidth = 80;
    MergedWidth = 100;
}

// ---------------------------------------------------------------------------------------
// Layouts

const TQMVirtualListView::TColumnSpec* TQMVirtualListView::LayoutColumns(THeaderLayout layout, int& count) {
    using V = TQMVirtualListView;
    static const TColumnSpec games[] = {{"Game name", &V::GameWidth, 0},
                                        {"File name", &V::FileNameWidth, 0},
                                        {"Size", &V::SizeWidth, 65},
                                        {"# of clones", &V::NbOfClonesWidth, 65}};
    static const TColumnSpec clones[] = {{"Game name", &V::GameWidth, 0},
                                         {"File name", &V::FileNameWidth, 0},
                                         {"Size", &V::SizeWidth, 65},
                                         {"main set", &V::MainSetWidth, 65},
                                         {"# of roms", &V::NbOfRomsWidth, 65}};
    static const TColumnSpec cloneRoms[] = {{"Rom name", &V::RomNameWidth, 0},
                                            {"Signature", &V::CrcWidth, 0},
                                            {"Size", &V::SizeWidth, 65},
                                            {"Can be merged", &V::MergedWidth, 80}};
    static const TColumnSpec files[] = {{"File name", &V::FileNameWidth, 0},
                                        {"Game name", &V::GameWidth, 0},
                                        {"Size", &V::SizeWidth, 65},
                                        {"# of roms", &V::NbOfRomsWidth, 65},
                                        {"Infos", &V::InfosWidth, 0}};
    static const TColumnSpec romFiles[] = {{"Rom name", &V::RomNameWidth, 0},
                                           {"Signature", &V::CrcWidth, 0},
                                           {"Size", &V::SizeWidth, 65},
                                           {"Infos", &V::InfosWidth, 0}};
    switch (layout) {
        case hlGames: count = 4; return games;
        case hlClones: count = 5; return clones;
        case hlClonesRoms: count = 4; return cloneRoms;
        case hlFiles: count = 5; return files;
        case hlRomFiles: count = 4; return romFiles;
        default: count = 0; return nullptr;
    }
}

void TQMVirtualListView::StoreWidths() {
    int count = 0;
    const TColumnSpec* columns = LayoutColumns(layout_, count);
    for (int i = 0; i < count; ++i) {
        // A hidden section reads 0 wide: never stored.
        if (header()->isSectionHidden(i)) continue;
        const int width = header()->sectionSize(i);
        if (width > 0) this->*(columns[i].Slot) = width;
    }
}

void TQMVirtualListView::ApplyLayout(THeaderLayout layout, bool store) {
    if (store) StoreWidths();
    int count = 0;
    const TColumnSpec* columns = LayoutColumns(layout, count);
    QStringList captions;
    for (int i = 0; i < kColumnCount; ++i) captions << (i < count ? ui::ToQ(_(columns[i].Caption)) : QString());
    keys_.clear();
    Model()->SetColumns(captions);
    layout_ = layout;
    clamping_ = true;
    for (int i = 0; i < kColumnCount; ++i) header()->setSectionHidden(i, i >= count);
    clamping_ = false;
    ApplyWidths();
    // The rows belong to the old layout.
    Model()->Clear();
}

void TQMVirtualListView::ApplyWidths() {
    int count = 0;
    const TColumnSpec* columns = LayoutColumns(layout_, count);
    clamping_ = true;
    for (int i = 0; i < count; ++i) header()->resizeSection(i, std::max(this->*(columns[i].Slot), columns[i].Minimum));
    clamping_ = false;
}

void TQMVirtualListView::ClampSection(int section, int /*oldSize*/, int newSize) {
    if (clamping_ || newSize == 0) return;  // 0: the section is being hidden
    int count = 0;
    const TColumnSpec* columns = LayoutColumns(layout_, count);
    if (section < 0 || section >= count || newSize >= columns[section].Minimum) return;
    clamping_ = true;
    header()->resizeSection(section, columns[section].Minimum);
    clamping_ = false;
}

// ---------------------------------------------------------------------------------------
// Showing and filling

void TQMVirtualListView::SetParentObject(const TViewObject& object) {
    pendingObject_ = object;
    if (!Refreshing) ShowObject();
}

void TQMVirtualListView::ShowObject() {
    if (shownObject_ == pendingObject_) return;
    Refreshing = true;
    try {
        // A request made while the rom database pumps messages during a refill only
        // changes the pending object; the loop then shows the latest one.
        do {
            shownObject_ = pendingObject_;
            if (!IsNilObject(shownObject_)) {
                THeaderLayout next = layout_;
                if (ObjectAs<TGamesList>(shownObject_) != nullptr)
                    next = DisplayLevel() == dlGames ? hlGames : hlClones;
                else if (ObjectAs<TGame>(shownObject_) != nullptr)
                    next = hlClones;
                else if (ObjectAs<TClone>(shownObject_) != nullptr)
                    next = hlClonesRoms;
                else if (ObjectAs<TPath>(shownObject_) != nullptr)
                    next = hlFiles;
                else if (ObjectAs<TFile>(shownObject_) != nullptr)
                    next = hlRomFiles;
                if (next != layout_) ApplyLayout(next, true);
            }
            FillItems();
        } while (!(shownObject_ == pendingObject_));
    } catch (...) {
        Refreshing = false;
        throw;
    }
    Refreshing = false;
}

void TQMVirtualListView::RefreshItems() {
    if (Refreshing) return;
    Refreshing = true;
    try {
        FillItems();
    } catch (...) {
        Refreshing = false;
        throw;
    }
    Refreshing = false;
}

void TQMVirtualListView::FillItems() {
    // The focus survives a switch between the games and clones display: a game finds its
    // parent clone again, a parent clone its game.
    const TViewObject remembered = GetFocusedObject();
    const TGame* rememberedGame = ObjectAs<TGame>(remembered);
    const TClone* rememberedClone = ObjectAs<TClone>(remembered);
    const TGame* gameOfClone = rememberedClone != nullptr && rememberedClone->IsParent ? rememberedClone->Game : nullptr;

    clearSelection();
    {
        TModeOverride mode(*this);
        itemList_.Clear();
        CollectChildren(shownObject_, itemList_);
        MakeRows();
    }
    if (IsNilObject(remembered)) return;
    const TViewNode& root = Model()->Root();
    for (const auto& child : root.Children) {
        const TViewObject& object = child->Record.Object;
        const TClone* clone = ObjectAs<TClone>(object);
        const TGame* game = ObjectAs<TGame>(object);
        const bool same = object == remembered || (clone != nullptr && rememberedGame != nullptr && clone->IsParent &&
                                                   clone->Game == rememberedGame) ||
                          (game != nullptr && game == gameOfClone);
        if (!same) continue;
        const QModelIndex index = Model()->IndexOf(child.get());
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        scrollTo(index, QAbstractItemView::PositionAtTop);
        break;
    }
}

void TQMVirtualListView::MakeRows() {
    keys_.clear();
    rowFiles_.clear();
    rowRomFiles_.clear();
    droppedFiles_.clear();
    droppedRomFiles_.clear();
    for (const TChildItem& item : itemList_) {
        if (const TFile* file = ObjectAs<TFile>(item.Object)) {
            rowFiles_.insert(file);
        } else if (const TRomFile* romFile = ObjectAs<TRomFile>(item.Object)) {
            rowRomFiles_.insert(romFile);
            rowFiles_.insert(romFile->File);
        }
    }
    TModeOverride mode(*this);
    Model()->SetRootNodeCount(itemList_.Count());
}

void TQMVirtualListView::InitRow(TViewNode& node) {
    TViewRecord& r = node.Record;
    r.Texts.assign(kColumnCount, std::string());
    r.Color = QColor();
    r.ChildCount = 0;
    if (node.Row < 0 || node.Row >= itemList_.Count()) {
        r.Object = TViewObject();
        r.ImageIndex = -1;
        return;
    }
    r.Object = itemList_[node.Row].Object;
    r.ImageIndex = GetObjectImageIndex(r.Object);
    TSortKeys& keys = keys_[&node];
    keys = TSortKeys();
    TModeOverride mode(*this);
    if (TGame* game = ObjectAs<TGame>(r.Object)) {
        const int64_t size = game->GetSize();
        const int clones = game->GetCloneCount();
        r.Texts[0] = game->Description + (game->IsResource ? " - bios" : "");
        r.Texts[1] = game->Name;
        r.Texts[2] = FormatSize(size);
        r.Texts[3] = Decimal(clones);
        keys.Number[2] = size;
        keys.Number[3] = clones;
    } else if (TClone* clone = ObjectAs<TClone>(r.Object)) {
        const int64_t size = clone->GetSize();
        const int roms = clone->GetRomCount();
        r.Texts[0] = clone->GetDisplayDescription() + (clone->Game->IsResource ? " - bios" : "");
        r.Texts[1] = clone->GetDisplayName();
        r.Texts[2] = FormatSize(size);
        r.Texts[3] = clone->IsParent ? _("main") : _("clone");
        r.Texts[4] = Decimal(roms);
        keys.Number[2] = size;
        keys.Number[4] = roms;
        keys.MainSet = clone->GetDisplayName() == clone->Game->Name;
    } else if (TCloneRom* cloneRom = ObjectAs<TCloneRom>(r.Object)) {
        const int64_t size = cloneRom->Rom != nullptr ? cloneRom->Rom->Size : -1;
        r.Texts[0] = cloneRom->Name;
        r.Texts[1] = cloneRom->Crc;
        r.Texts[2] = FormatSize(size);
        const TClone* owner = cloneRom->MergedFrom != nullptr ? cloneRom->MergedFrom->Clone : nullptr;
        const std::string ownerName = owner != nullptr ? owner->GetDisplayName() : std::string();
        if (cloneRom->Clone->Game->IsResource)
            r.Texts[3] = _("bios");
        else if (cloneRom->IsResourceRom())
            r.Texts[3] = Fmt(_("bios from %1"), {ownerName});
        else if (cloneRom->IsMerged())
            r.Texts[3] = Fmt(_("rom from %1"), {ownerName});
        keys.Number[2] = size;
        if (RomsBd != nullptr && RomsBd->MergeResources && cloneRom->IsResourceRom())
            r.Color = BiosColor;
        else if (RomsBd != nullptr && RomsBd->MergeRoms && cloneRom->IsMerged())
            r.Color = MergeColor;
    } else if (TFile* file = ObjectAs<TFile>(r.Object)) {
        const int64_t size = file->GetRomsSize();
        const int count = file->GetRomFileCount();
        r.Texts[0] = file->Name;
        const bool split = RomsBd != nullptr ? RomsBd->Split : true;
        if (!split)
            r.Texts[1] = file->Game != nullptr ? file->Game->Description : std::string();
        else
            r.Texts[1] = file->Clone != nullptr ? file->Clone->GetDisplayDescription() : std::string();
        r.Texts[2] = FormatSize(size);
        r.Texts[3] = Decimal(count);
        r.Texts[4] = file->GetStatusText();
        keys.Number[2] = size;
        keys.Number[3] = count;
    } else if (TRomFile* romFile = ObjectAs<TRomFile>(r.Object)) {
        r.Texts[0] = romFile->StoredName();
        r.Texts[1] = romFile->Crc();
        r.Texts[2] = FormatSize(romFile->Size);
        r.Texts[3] = romFile->GetStatusText();
        keys.Number[2] = romFile->Size;
    }
}

std::string TQMVirtualListView::GetCellText(const TViewNode* node, int column) const {
    if (node == nullptr || column < 0 || column >= kColumnCount) return DefaultText;
    return TCustomQMVirtualView::GetCellText(node, column);
}

void TQMVirtualListView::Clear() {
    TCustomQMVirtualView::Clear();
    keys_.clear();
    itemList_.Clear();
    rowFiles_.clear();
    rowRomFiles_.clear();
    droppedFiles_.clear();
    droppedRomFiles_.clear();
    shownObject_ = TViewObject();
}

// ---------------------------------------------------------------------------------------
// Sorting

// Which columns of the row's class sort as numbers; -1 for a text column.
int TQMVirtualListView::NumberColumnOf(const TViewNode& a, int column) const {
    const TViewObject& o = a.Record.Object;
    if (ObjectAs<TGame>(o) != nullptr) return column == 2 || column == 3 ? column : -1;
    if (ObjectAs<TClone>(o) != nullptr) return column == 2 || column == 4 ? column : -1;
    if (ObjectAs<TCloneRom>(o) != nullptr) return column == 2 ? column : -1;
    if (ObjectAs<TFile>(o) != nullptr) return column == 2 || column == 3 ? column : -1;
    if (ObjectAs<TRomFile>(o) != nullptr) return column == 2 ? column : -1;
    return -1;
}

int TQMVirtualListView::DoCompare(const TViewNode& a, const TViewNode& b, int column) const {
    // Rows of one list are all of one class, so either row's class decides.
    const TViewNode* first = &a;
    const auto ka = keys_.find(&a);
    const auto kb = keys_.find(&b);
    if (ka != keys_.end() && kb != keys_.end()) {
        const int number = NumberColumnOf(*first, column);
        if (number >= 0) {
            const int64_t x = ka->second.Number[number], y = kb->second.Number[number];
            return x < y ? -1 : x > y ? 1 : 0;
        }
        // Main sets before the rest; two main sets (or two clones) are equal, so that the
        // order is a strict weak one and the sort keeps their previous order.
        if (column == 3 && ObjectAs<TClone>(first->Record.Object) != nullptr)
            return ka->second.MainSet == kb->second.MainSet ? 0 : ka->second.MainSet ? -1 : 1;
    }
    return TCustomQMVirtualView::DoCompare(a, b, column);
}

void TQMVirtualListView::DoHeaderClick(int column) {
    if (column < 0 || column >= kColumnCount) return;
    Qt::SortOrder order = Qt::AscendingOrder;
    if (Model()->SortColumn() == column)
        order = Model()->SortOrder() == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    header()->setSortIndicator(column, order);
    Model()->sort(column, order);
}

// ---------------------------------------------------------------------------------------
// Selection

std::string TQMVirtualListView::GetStatusText(const TViewObject& object) {
    if (const TFile* file = ObjectAs<TFile>(object)) return file->GetStatusText();
    if (const TRomFile* romFile = ObjectAs<TRomFile>(object)) return romFile->GetStatusText();
    return {};
}

bool TQMVirtualListView::ReadSelection(TNamedRomFiles& roms, TNamedFiles& files) const {
    roms.clear();
    files.clear();
    bool filesDone = false;
    const QModelIndexList nodes = SelectedNodes();
    for (const QModelIndex& index : nodes) {
        const TViewObject object = GetNodeObject(Model()->Node(index));
        if (TFile* file = ObjectAs<TFile>(object)) {
            for (int i = 0; i < file->RomFiles.Count(); ++i) roms.emplace_back(file->RomFiles[i]->Name(), file->RomFiles[i]);
            if (!filesDone) files.emplace_back(file->Name, file);
        } else if (TRomFile* romFile = ObjectAs<TRomFile>(object)) {
            roms.emplace_back(romFile->Name(), romFile);
            // The roms of one file are shown: that file is the one selected.
            if (!filesDone) files.emplace_back(romFile->File->Name, romFile->File);
            filesDone = true;
        }
    }
    return !nodes.isEmpty();
}

void TQMVirtualListView::GetSelectedRomFiles(TNamedRomFiles& list) const {
    TNamedFiles files;
    ReadSelection(list, files);
}

void TQMVirtualListView::GetSelectedFiles(TNamedFiles& list) const {
    TNamedRomFiles roms;
    ReadSelection(roms, list);
}

void TQMVirtualListView::GetSelectedObjects(TViewObjects& list) const {
    for (const QModelIndex& index : SelectedNodes()) list.push_back(GetNodeObject(Model()->Node(index)));
}

int64_t TQMVirtualListView::GetSelectedSize() {
    const QModelIndexList rows = SelectedNodes();
    if (rows.isEmpty()) return -1;
    TModeOverride mode(*this);
    int64_t total = 0;
    for (const QModelIndex& index : rows) {
        const TViewObject object = GetNodeObject(Model()->Node(index));
        if (const TGame* game = ObjectAs<TGame>(object))
            total += game->GetSize();
        else if (const TClone* clone = ObjectAs<TClone>(object))
            total += clone->GetSize();
        else if (const TCloneRom* cloneRom = ObjectAs<TCloneRom>(object))
            total += cloneRom->Rom != nullptr && cloneRom->Rom->Size > 0 ? cloneRom->Rom->Size : 0;
        else if (const TFile* file = ObjectAs<TFile>(object))
            total += file->GetRomsSize();
        else if (const TRomFile* romFile = ObjectAs<TRomFile>(object))
            total += romFile->Size;
    }
    return total;
}

int TQMVirtualListView::SelectRows(const std::function<bool(const TViewObject&)>& qualifies) {
    std::vector<std::pair<int, int>> runs;
    int count = 0;
    const TViewNode& root = Model()->Root();
    for (size_t row = 0; row < root.Children.size(); ++row) {
        if (!qualifies(root.Children[row]->Record.Object)) continue;
        const int r = static_cast<int>(row);
        if (!runs.empty() && runs.back().second == r - 1)
            runs.back().second = r;
        else
            runs.emplace_back(r, r);
        ++count;
    }
    SelectRowRuns(QModelIndex(), std::move(runs));
    return count;
}

int TQMVirtualListView::SelectMainSets() {
    return SelectRows([](const TViewObject& o) {
        if (ObjectAs<TGame>(o) != nullptr) return true;
        if (const TClone* clone = ObjectAs<TClone>(o)) return IsMainSet(clone);
        if (const TFile* file = ObjectAs<TFile>(o)) return IsMainSet(file->Clone);
        return false;
    });
}

int TQMVirtualListView::SelectClones() {
    return SelectRows([](const TViewObject& o) {
        if (const TClone* clone = ObjectAs<TClone>(o)) return !clone->IsParent;
        if (const TFile* file = ObjectAs<TFile>(o)) return file->Clone != nullptr && !file->Clone->IsParent;
        return false;
    });
}

int TQMVirtualListView::SelectNoGoodDump() {
    TModeOverride mode(*this);
    return SelectRows([](const TViewObject& o) {
        if (const TGame* game = ObjectAs<TGame>(o)) return game->HasBadDumps();
        if (const TClone* clone = ObjectAs<TClone>(o)) return clone->HasBadDumps();
        if (const TFile* file = ObjectAs<TFile>(o)) return file->Clone != nullptr && file->HasBadDumps();
        return false;
    });
}

void TQMVirtualListView::DoChange(const QModelIndex& node) {
    TCustomQMVirtualView::DoChange(node);
    if (OnSelectionChange) OnSelectionChange();
}

// ---------------------------------------------------------------------------------------
// Removals announced by the files database

void TQMVirtualListView::RemoveFile(const TFile* file) {
    if (file == nullptr) return;
    if (ObjectAs<TFile>(shownObject_) == file) {
        Clear();
        return;
    }
    if (rowFiles_.count(file) == 0) return;
    droppedFiles_.insert(file);
    if (FilesBd == nullptr || !FilesBd->InCommand()) ApplyRemovals();
}

void TQMVirtualListView::RemoveRomFile(const TRomFile* romFile) {
    if (romFile == nullptr || rowRomFiles_.count(romFile) == 0) return;
    droppedRomFiles_.insert(romFile);
    if (FilesBd == nullptr || !FilesBd->InCommand()) ApplyRemovals();
}

void TQMVirtualListView::ApplyRemovals() {
    if (droppedFiles_.empty() && droppedRomFiles_.empty()) return;
    TChildItems kept;
    for (const TChildItem& item : itemList_) {
        const TRomFile* romFile = ObjectAs<TRomFile>(item.Object);
        const TFile* file = romFile != nullptr ? romFile->File : ObjectAs<TFile>(item.Object);
        if (droppedFiles_.count(file) != 0 || droppedRomFiles_.count(romFile) != 0) continue;
        kept.Add(item.Text, item.Object);
    }
    itemList_ = std::move(kept);
    MakeRows();
}

// ---------------------------------------------------------------------------------------
// Column widths in the settings file

void TQMVirtualListView::LoadColumnWidths(const std::string& sectionName) {
    columnSection_ = SectionOf(sectionName);
    TColumnWidths widths = {{"GameWidth", 280},     {"FileNameWidth", 110}, {"RomNameWidth", 110},
                            {"SizeWidth", 70},      {"MainSetWidth", 90},   {"NbOfRomsWidth", 80},
                            {"NbOfClonesWidth", 90}, {"InfosWidth", 200},   {"CrcWidth", 80},
                            {"MergedWidth", 100}};
    try {
        ReadColumnWidths(IniFileName.empty() ? ProgramIniFileName() : IniFileName, columnSection_, widths);
        int* targets[] = {&GameWidth,     &FileNameWidth,   &RomNameWidth, &SizeWidth, &MainSetWidth,
                        &NbOfRomsWidth, &NbOfClonesWidth, &InfosWidth,   &CrcWidth,  &MergedWidth};
        for (size_t i = 0; i < widths.size(); ++i) *targets[i] = widths[i].second;
    } catch (const std::exception&) {
        ResetWidths();
        try {
            ApplyWidths();
            SaveColumnWidths();
        } catch (const std::exception&) {
            // Reading the widths never fails outward; the defaults stand.
        }
    }
    ApplyWidths();
}

int TQMVirtualListView::SaveColumnWidths() {
    if (columnSection_.empty()) return 0;
    // The slots take the widths shown now. The rows are kept: emptying them here would
    // leave the list blank while it still claims to show its object.
    StoreWidths();
    const TColumnWidths widths = {{"GameWidth", GameWidth},         {"RomNameWidth", RomNameWidth},
                                  {"FileNameWidth", FileNameWidth}, {"SizeWidth", SizeWidth},
                                  {"MainSetWidth", MainSetWidth},   {"NbOfRomsWidth", NbOfRomsWidth},
                                  {"NbOfClonesWidth", NbOfClonesWidth}, {"InfosWidth", InfosWidth},
                                  {"CrcWidth", CrcWidth},           {"MergedWidth", MergedWidth}};
    return WriteColumnWidths(IniFileName.empty() ? ProgramIniFileName() : IniFileName, columnSection_, widths);
}

}  // namespace qm
