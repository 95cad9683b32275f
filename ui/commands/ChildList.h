#pragma once
// The child lists of the views: for any database object, which of its children a view
// shows, under which text, and the counters the status bar reads. TChildCollector holds
// everything of a view that needs no widget (links, mode, filters, counters) so that
// both views and their tests share one builder.
#include <cstdint>
#include <string>
#include <vector>

#include "ui/commands/ShownLists.h"
#include "ui/commands/ViewTypes.h"

namespace qm {

// One child: its text and its object.
struct TChildItem {
    std::string Text;
    TViewObject Object;
};

// Texts with objects; CollectChildren leaves them in text order (CompareText, equal texts
// in the order they were met), as every view shows them first.
class TChildItems {
public:
    void Clear() { items_.clear(); }
    void Add(std::string text, TViewObject object) { items_.push_back({std::move(text), object}); }
    int Count() const { return static_cast<int>(items_.size()); }
    bool Empty() const { return items_.empty(); }
    const TChildItem& operator[](int index) const { return items_[static_cast<size_t>(index)]; }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }
    // The index of the first item of that object, -1 when none.
    int IndexOfObject(const TViewObject& object) const;
    void Sort();

private:
    std::vector<TChildItem> items_;
};

// The tree's object for one rom path root: the path and the files CollectChildren chose.
class TPathObject {
public:
    explicit TPathObject(TPath* path = nullptr) : Path(path) {}
    void Clear() { Files.Clear(); }

    TPath* Path;
    TChildItems Files;
};

// What an image of the status strip says about a file under a rom path.
enum class TFileCategory : uint8_t { None, Incomplete, Playable, NeedFix, Unknown, Error };
// One table for the 26 indexes 0..25; anything else is None.
TFileCategory FileCategoryOfImage(int imageIndex);

// Image index of a database object: game and clone statuses, clone-rom state flags,
// file and rom-file images, 24 for the games list or a clones list, 22 for a rom path,
// -1 for anything else.
int GetObjectImageIndex(const TViewObject& object);

class TChildCollector {
public:
    TChildCollector() = default;
    virtual ~TChildCollector();
    TChildCollector(const TChildCollector&) = delete;
    TChildCollector& operator=(const TChildCollector&) = delete;

    // Links, set by the main window; none is owned.
    TRomsBd* RomsBd = nullptr;
    TFilesBd* FilesBd = nullptr;
    const TShownGames* ShownGames = nullptr;
    const TShownClones* ShownClones = nullptr;

    // Plain stores; the owner rebuilds the view after a change.
    TDatabaseFilters DatabaseFilters = TDatabaseFilters::All();
    TPathFilters PathFilters = TPathFilters::All();
    // Name filter; empty or ".*" filters nothing.
    std::string RegularExpression;

    // The view's own set mode, applied to the rom database while it reads it (smManual).
    TSplitMergeMode SplitMergeMode = smAuto;
    bool Split = false;
    bool Merged = false;

    // Set by the views around rebuilds and refills.
    bool Refreshing = false;

    // Counters of the last CollectChildren.
    int ResourceCount = 0;
    int CompleteCount = 0;
    int IncompleteCount = 0;
    int MissingCount = 0;
    int PlayableCount = 0;
    int NeedFixCount = 0;
    int IncompleteFileCount = 0;
    int UnknownCount = 0;
    int64_t TotalSize = 0;
    // The games root's state counts as its last listing left them, kept while games and
    // clones are listed after it (what the status bar shows), and the resource entries
    // among the shown games or clones whatever the name filter, beside the game and
    // clone counts that ignore it too (the database line).
    struct TRootCounts {
        int missing = 0;
        int incomplete = 0;
        int complete = 0;
        int resources = 0;
    };
    TRootCounts RootCounts;

    TDisplayLevel DisplayLevel() const { return displayLevel_; }
    // Ignored while Refreshing.
    void SetDisplayLevel(TDisplayLevel level);

    // Clears items and fills them with the children of parent that the view shows;
    // updates the counters. A nil parent or one of another class gives no item and
    // leaves the counters alone.
    void CollectChildren(const TViewObject& parent, TChildItems& items);

    // The rom database under the view's own flags (smManual only). Pairs nest: only the
    // outermost saves and restores, and the restore goes to the database that was changed.
    void BeginModeOverride();
    void EndModeOverride();
    bool OverrideFree() const { return overrideDepth_ == 0; }

    int GetGameCount() const;
    int GetCloneCount() const;
    // Cached until ResetRomCount (0 means not computed yet).
    int GetRomCount();
    void ResetRomCount() { romCount_ = 0; }

    // The counters the views' Clear resets.
    void ResetStateCounters();

private:
    void CollectGamesRoot(TChildItems& items);
    void CollectGames(TChildItems& items);
    void CollectClones(TChildItems& items);
    void CollectGameClones(const TGame* game, TChildItems& items);
    void CollectCloneRoms(const TClone* clone, TChildItems& items);
    void CollectPathFiles(const TPath* path, TChildItems& items);
    void CollectRomFiles(const TFile* file, TChildItems& items);
    void CountState(int status);
    bool StateShown(int status) const;
    bool PassesSubList(const TFile& file, bool split) const;

    TDisplayLevel displayLevel_ = dlGames;
    int romCount_ = 0;
    int overrideDepth_ = 0;
    TRomsBd* overridden_ = nullptr;  // the database whose flags are saved
    bool savedMergeRoms_ = false;
    bool savedSplit_ = false;
};

// Brackets a scope with BeginModeOverride / EndModeOverride, also when it throws.
class TModeOverride {
public:
    explicit TModeOverride(TChildCollector& collector) : collector_(collector) { collector_.BeginModeOverride(); }
    ~TModeOverride() { collector_.EndModeOverride(); }
    TModeOverride(const TModeOverride&) = delete;
    TModeOverride& operator=(const TModeOverride&) = delete;

private:
    TChildCollector& collector_;
};

}  // namespace qm
