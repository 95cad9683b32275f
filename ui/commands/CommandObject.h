#pragma once
// The database object a user command acts on (the focused or a selected row of a view),
// as the plain command classes take it. The views hold their rows as a variant of
// object pointers; CommandObjectOf turns any such variant into this record, so that the
// commands need none of the views' headers.
#include <type_traits>
#include <variant>

namespace qm {

class TGame;
class TClone;
class TCloneRom;
class TFile;
class TRomFile;

struct TCommandObject {
    TGame* Game = nullptr;
    TClone* Clone = nullptr;
    TCloneRom* CloneRom = nullptr;
    TFile* File = nullptr;
    TRomFile* RomFile = nullptr;
    // An object of another kind (a rom path, a list root): there is an object, but no
    // command here acts on it.
    bool Other = false;

    static TCommandObject Of(TGame* game) { TCommandObject o; o.Game = game; return o; }
    static TCommandObject Of(TClone* clone) { TCommandObject o; o.Clone = clone; return o; }
    static TCommandObject Of(TCloneRom* cloneRom) { TCommandObject o; o.CloneRom = cloneRom; return o; }
    static TCommandObject Of(TFile* file) { TCommandObject o; o.File = file; return o; }
    static TCommandObject Of(TRomFile* romFile) { TCommandObject o; o.RomFile = romFile; return o; }

    // No object at all (a view without a focused row).
    bool IsNil() const { return !Game && !Clone && !CloneRom && !File && !RomFile && !Other; }
};

// The record for a variant of object pointers (std::monostate or null for none).
template <class Variant>
TCommandObject CommandObjectOf(const Variant& object) {
    TCommandObject result;
    std::visit(
        [&](auto value) {
            using T = decltype(value);
            if constexpr (std::is_pointer_v<T>) {
                if (value == nullptr) return;
                using Pointee = std::remove_cv_t<std::remove_pointer_t<T>>;
                if constexpr (std::is_same_v<Pointee, TGame>)
                    result.Game = value;
                else if constexpr (std::is_same_v<Pointee, TClone>)
                    result.Clone = value;
                else if constexpr (std::is_same_v<Pointee, TCloneRom>)
                    result.CloneRom = value;
                else if constexpr (std::is_same_v<Pointee, TFile>)
                    result.File = value;
                else if constexpr (std::is_same_v<Pointee, TRomFile>)
                    result.RomFile = value;
                else
                    result.Other = true;
            }
        },
        object);
    return result;
}

}  // namespace qm
