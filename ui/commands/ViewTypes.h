#pragma once
// The types the game and folder views share with the main window: display mode, state
// filters, the private set mode of a view, and the reference to a database object that
// a row of a view stands for. Nothing here needs a widget.
#include <cstdint>
#include <initializer_list>
#include <variant>

#include "catalogue/RomsBd.h"
#include "filesdb/filesBd.h"

namespace qm {

// The games root lists games (with their clones below) or lists clones flat.
enum TDisplayLevel : uint8_t { dlGames, dlClones };

// Which game or clone states are listed under the games root.
enum TDatabaseFilter : uint8_t { dfShowComplete, dfShowIncomplete, dfShowMissing };

// Which file states are listed under a rom path.
enum TPathFilter : uint8_t { pfShowPlayable, pfShowNeedFix, pfShowUnknown, pfShowIncomplete };

// smManual: the view reads the rom database under its own Split and Merged flags.
enum TSplitMergeMode : uint8_t { smAuto, smManual };

// A set of the values of a small enumeration (0 .. Count-1).
template <class E, int Count>
class TEnumSet {
public:
    constexpr TEnumSet() = default;
    constexpr TEnumSet(std::initializer_list<E> values) {
        for (E value : values) Include(value);
    }
    static constexpr TEnumSet All() {
        TEnumSet set;
        set.bits_ = static_cast<uint32_t>((1u << Count) - 1);
        return set;
    }

    constexpr bool Has(E value) const { return (bits_ & Bit(value)) != 0; }
    constexpr void Include(E value) { bits_ |= Bit(value); }
    constexpr void Exclude(E value) { bits_ &= ~Bit(value); }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr bool operator==(const TEnumSet&) const = default;

private:
    static constexpr uint32_t Bit(E value) { return 1u << static_cast<uint32_t>(value); }
    uint32_t bits_ = 0;
};

using TDatabaseFilters = TEnumSet<TDatabaseFilter, 3>;
using TPathFilters = TEnumSet<TPathFilter, 4>;

// The tree's object for one rom path root (see ChildList.h).
class TPathObject;

// The database object a row stands for; the views never own it. Null pointers of any
// alternative count as no object.
using TViewObject = std::variant<std::monostate, TGamesList*, TClonesList*, TGame*, TClone*, TCloneRom*, TPath*,
                                 TFile*, TRomFile*, TPathObject*>;

// The object as T*, or nullptr when it holds another kind.
template <class T>
T* ObjectAs(const TViewObject& object) {
    if (auto* p = std::get_if<T*>(&object)) return *p;
    return nullptr;
}

inline bool IsNilObject(const TViewObject& object) {
    return std::visit(
        [](auto value) {
            if constexpr (std::is_same_v<decltype(value), std::monostate>)
                return true;
            else
                return value == nullptr;
        },
        object);
}

}  // namespace qm
