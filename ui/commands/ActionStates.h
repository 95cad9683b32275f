#pragma once
// Which commands of the main window are enabled: a pure rule over what is selected
// (whether a datafile is chosen, the kinds of the list's and the tree's focused
// objects), so that every combination is checked without a window.
#include <array>
#include <cstdint>
#include <vector>

#include "ui/commands/ActionIds.h"
#include "ui/commands/ViewTypes.h"

namespace qm {

// The kind of a view's focused object.
enum class TObjectKind : uint8_t {
    None,
    GamesList,
    ClonesList,
    Game,
    Clone,
    CloneRom,
    Path,
    File,
    RomFile,
    PathObject,
};

TObjectKind KindOf(const TViewObject& object);

struct TActionSelection {
    bool DatafileSelected = false;
    TObjectKind List = TObjectKind::None;  // the list's focused object
    TObjectKind Tree = TObjectKind::None;  // the tree's focused object
    // The tree's first selected node is the games database root.
    bool TreeRootSelected = false;
};

// The actions' enabled flags by id. Actions the rule does not name stay enabled.
class TActionStates {
public:
    TActionStates() { enabled_.fill(true); }
    bool Enabled(TActionId id) const { return enabled_[static_cast<size_t>(Index(id))]; }
    void Set(TActionId id, bool enabled) { enabled_[static_cast<size_t>(Index(id))] = enabled; }
    bool operator==(const TActionStates&) const = default;

private:
    std::array<bool, kActionCount> enabled_{};
};

// The rule: the datafile actions follow whether a datafile is chosen, then the row of
// the selection table that matches first sets the repair, play, path, copy and file
// groups, then play is enabled whenever the list has a focused object (except when
// nothing but the games root is selected).
TActionStates ComputeActionStates(const TActionSelection& selection);

// The actions ComputeActionStates decides, in id order.
const std::vector<TActionId>& RuledActions();

}  // namespace qm
