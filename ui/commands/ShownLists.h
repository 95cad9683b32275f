#pragma once
// The main window's sub-list as the views read it: the shown games and the shown clones,
// each a list of texts with objects in the order they were added. Both keep hash indexes
// so that the views' membership tests (a file's game, a folder's name) cost one lookup,
// not a walk over tens of thousands of entries.
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "archive/stringsTools.h"

namespace qm {

class TGame;
class TClone;

template <class T>
class TShownList {
public:
    using TItem = std::pair<std::string, T*>;

    void Clear() {
        items_.clear();
        objects_.clear();
        texts_.clear();
    }
    void Add(std::string text, T* object) {
        if (object != nullptr) objects_.insert(object);
        ++texts_[text];
        items_.emplace_back(std::move(text), object);
    }
    template <class Items>
    void Assign(const Items& items) {
        Clear();
        for (const auto& [text, object] : items) Add(text, object);
    }

    int Count() const { return static_cast<int>(items_.size()); }
    bool Empty() const { return items_.empty(); }
    const TItem& operator[](int index) const { return items_[static_cast<size_t>(index)]; }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

    bool HasObject(const T* object) const { return object != nullptr && objects_.count(object) != 0; }
    // An entry of that text, without regard to case (ASCII letters folded).
    bool HasText(std::string_view text) const { return texts_.find(text) != texts_.end(); }

private:
    std::vector<TItem> items_;
    std::unordered_set<const T*> objects_;
    std::unordered_map<std::string, int, TSameTextHash, TSameTextEqual> texts_;
};

using TShownGames = TShownList<TGame>;
using TShownClones = TShownList<TClone>;

}  // namespace qm
