#pragma once
// The rom database of the open datafile: games (a parent with its clones), the clones
// that make them up, the roms each clone lists (TCloneRom) and the distinct rom
// contents (TRom) that listings share, indexed by CRC. TRomsBd builds the graph from
// the datafile items and answers, in the current set mode, which clones and roms are
// shown or needed and what state every game and clone is in.
//
// Every object lives at a stable address from the build to the next Clear: the files
// database keeps plain pointers to roms, clone roms, clones and games.
//
// Names are compared with one ASCII case fold; lists kept "in name order" use
// CompareNames (lower-cased bytes, then byte order), not a locale collation.
#include <algorithm>
#include <cstdint>
#include <compare>
#include <cstring>
#include <iosfwd>
#include <new>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "archive/stringsTools.h"
#include "catalogue/DataFile.h"
#include "platform/Exception.h"
#include "platform/Progress.h"

namespace qm {

// Objects of the files database; the rom database only keeps pointers to them.
class TFile;
class TRomFile;

class TRomsBd;
class TGamesList;
class TGame;
class TClone;
class TCloneRom;
class TRom;

namespace romsbd {
QM_DECLARE_ABORT(EAbortOperation, qm::EAbortOperation);
QM_DECLARE_ABORT(EAbortDataFileLoading, EAbortOperation);
}  // namespace romsbd

// CRC texts with a meaning of their own: no good dump exists, and no CRC is known.
inline constexpr std::string_view kNoDumpCrc = "00000000";
inline constexpr std::string_view kBlankCrc = "        ";

// Kind of a rom.
inline constexpr uint8_t rkConfirmed = 0;  // a file confirmed which of its two CRCs is good
inline constexpr uint8_t rkBothCrcs = 1;   // listed under a CRC and under its complement
inline constexpr uint8_t rkKnown = 2;      // CRC known
inline constexpr uint8_t rkNoDump = 3;     // no good dump

// CRC state of a clone rom.
inline constexpr int csBadDump = 0;
inline constexpr int csBothCrcs = 1;
inline constexpr int csNormal = 2;
inline constexpr int csNoDump = 3;

// Added to a game or clone status when a rom shown is a bad dump or has no dump.
inline constexpr int kStatusBadDumps = 4;

// The order of every name-sorted list of the database: ASCII letters lower-cased, then
// bytes compared unsigned. <0, 0, >0.
int CompareNames(std::string_view a, std::string_view b);

// A hash of the name with ASCII capitals folded: names SameText calls equal hash alike.
uint64_t FoldedHash(std::string_view text) noexcept;

// ComplementCrc for the usual eight hexadecimal digits without allocating a
// translated text; any other value goes to ComplementCrc.
std::string ComplementCrcFast(std::string_view crc);

// A text of the catalogue (a name, a description, a CRC). It reads like the const
// std::string it replaces, and converts to one where a function asks for a string, but it
// is one pointer to bytes stored once in the catalogue's text arena: the length before
// them, a NUL after them. Valid until the catalogue is cleared.
class TStoredText {
public:
    TStoredText() : data_(kEmpty + sizeof(uint32_t)) {}

    operator std::string_view() const noexcept { return {data_, size()}; }
    operator std::string() const { return std::string(data_, size()); }
    std::string_view view() const noexcept { return {data_, size()}; }
    std::string str() const { return std::string(data_, size()); }

    const char* data() const noexcept { return data_; }
    const char* c_str() const noexcept { return data_; }
    size_t size() const noexcept {
        uint32_t n;
        std::memcpy(&n, data_ - sizeof n, sizeof n);
        return n;
    }
    size_t length() const noexcept { return size(); }
    bool empty() const noexcept { return size() == 0; }
    char operator[](size_t index) const { return data_[index]; }
    const char* begin() const noexcept { return data_; }
    const char* end() const noexcept { return data_ + size(); }
    char front() const { return data_[0]; }
    char back() const { return data_[size() - 1]; }

    size_t find(std::string_view text, size_t pos = 0) const noexcept { return view().find(text, pos); }
    size_t find(char c, size_t pos = 0) const noexcept { return view().find(c, pos); }
    size_t rfind(std::string_view text, size_t pos = std::string_view::npos) const noexcept {
        return view().rfind(text, pos);
    }
    size_t rfind(char c, size_t pos = std::string_view::npos) const noexcept { return view().rfind(c, pos); }
    size_t find_first_of(std::string_view chars, size_t pos = 0) const noexcept {
        return view().find_first_of(chars, pos);
    }
    size_t find_last_of(std::string_view chars, size_t pos = std::string_view::npos) const noexcept {
        return view().find_last_of(chars, pos);
    }
    std::string substr(size_t pos = 0, size_t count = std::string::npos) const {
        return std::string(view().substr(pos, count));
    }
    int compare(std::string_view text) const noexcept { return view().compare(text); }
    bool starts_with(std::string_view text) const noexcept { return view().starts_with(text); }
    bool ends_with(std::string_view text) const noexcept { return view().ends_with(text); }

    friend bool operator==(TStoredText a, TStoredText b) noexcept { return a.view() == b.view(); }
    friend bool operator==(TStoredText a, std::string_view b) noexcept { return a.view() == b; }
    friend std::strong_ordering operator<=>(TStoredText a, TStoredText b) noexcept {
        return a.view() <=> b.view();
    }
    friend std::strong_ordering operator<=>(TStoredText a, std::string_view b) noexcept { return a.view() <=> b; }
    friend std::string operator+(TStoredText a, std::string_view b) { return Join(a.view(), b); }
    friend std::string operator+(std::string_view a, TStoredText b) { return Join(a, b.view()); }
    friend std::string operator+(TStoredText a, TStoredText b) { return Join(a.view(), b.view()); }
    friend std::string operator+(std::string&& a, TStoredText b) { return std::move(a.append(b.view())); }
    friend std::string operator+(const char* a, TStoredText b) { return Join(a, b.view()); }
    friend std::string operator+(TStoredText a, const char* b) { return Join(a.view(), b); }
    friend std::ostream& operator<<(std::ostream& out, TStoredText text);

private:
    friend class TTextArena;
    explicit TStoredText(const char* data) : data_(data) {}
    static std::string Join(std::string_view a, std::string_view b);
    static const char kEmpty[sizeof(uint32_t) + 1];

    const char* data_;
};

// The memory every arena of one catalogue carves its blocks from: regions of the
// system's large pages, mapped as needed and all given back at Clear. Tens of megabytes
// of objects then cost a few dozen page faults instead of tens of thousands (each of
// which is dear in a virtual machine); only the region in use is partly empty.
class TBlockSource {
public:
    TBlockSource() = default;
    TBlockSource(const TBlockSource&) = delete;
    TBlockSource& operator=(const TBlockSource&) = delete;
    ~TBlockSource() { Clear(); }

    // bytes of memory aligned to 64 bytes (zeroed, as fresh pages are), valid until Clear.
    void* Take(size_t bytes);
    void Clear();

private:
    void* Map(size_t bytes);

    struct TRegion {
        void* base;
        size_t bytes;
    };
    std::vector<TRegion> regions_;
    char* next_ = nullptr;
    size_t left_ = 0;
};

// Texts of the catalogue, copied once into large blocks that live until Clear.
class TTextArena {
public:
    explicit TTextArena(TBlockSource& source) : source_(source) {}
    TStoredText Store(std::string_view text);
    // Forgets its blocks; the source they came from frees them.
    void Clear();

private:
    TBlockSource& source_;
    char* next_ = nullptr;
    size_t left_ = 0;
};

// Objects in blocks of fixed size: no allocation per object, and an object never moves.
template <class T, size_t kBlock = 1024>
class TObjectPool {
public:
    explicit TObjectPool(TBlockSource& source) : source_(source) {}
    TObjectPool(const TObjectPool&) = delete;
    TObjectPool& operator=(const TObjectPool&) = delete;
    ~TObjectPool() { Clear(); }

    template <class... Args>
    T* Emplace(Args&&... args) {
        static_assert(alignof(T) <= 64);
        if (count_ % kBlock == 0) blocks_.push_back(static_cast<T*>(source_.Take(sizeof(T) * kBlock)));
        T* item = new (blocks_.back() + count_ % kBlock) T(std::forward<Args>(args)...);
        ++count_;
        return item;
    }
    size_t Count() const { return count_; }
    T* operator[](size_t index) const { return blocks_[index / kBlock] + index % kBlock; }
    // Destroys the objects; the source their blocks came from frees the memory.
    void Clear() {
        for (size_t i = 0; i < count_; ++i) (*this)[i]->~T();
        count_ = 0;
        blocks_.clear();
        blocks_.shrink_to_fit();
    }

private:
    TBlockSource& source_;
    std::vector<T*> blocks_;
    size_t count_ = 0;
};

// Room for the lists of clone-rom pointers that roms and clones keep: arrays of a power
// of two in size carved from large blocks; an array outgrown goes back to a free list of
// its size for the next list that grows into it.
// Once the catalogue is built, its lists are packed end to end elsewhere
// (TGamesList::Settle) and the arena is emptied.
class TPointerArena {
public:
    TCloneRom** Allocate(uint32_t capacity);
    void Release(TCloneRom** items, uint32_t capacity);
    void Clear();

private:
    static constexpr size_t kBlockItems = 64 * 1024;
    TBlockSource blocks_;
    TCloneRom** next_ = nullptr;
    size_t left_ = 0;
    TCloneRom** free_[32] = {};
};

// The listings of one rom or one clone, in the order added, held in the catalogue's
// pointer arena (not owned one by one).
class TCloneRomRun {
public:
    void Add(TCloneRom* cloneRom, TPointerArena& arena);
    // Moves the list to room for exactly its listings at to; returns the end of what it took.
    TCloneRom** PackInto(TCloneRom** to);
    bool Packed() const { return (capacity_ & kPacked) != 0; }
    size_t Count() const { return count_; }
    bool Empty() const { return count_ == 0; }
    TCloneRom* GetCloneRom(size_t index) const;
    TCloneRom* operator[](size_t index) const { return items_[index]; }
    // The first clone rom named name (any case), or nullptr.
    TCloneRom* FindByName(std::string_view name) const;
    // The same with the name's NameHash already computed.
    TCloneRom* FindByName(std::string_view name, uint32_t nameHash) const;
    // The index of the first clone rom of clone, -1 when none.
    int IndexOfClone(const TClone* clone) const;

    TCloneRom* const* begin() const { return items_; }
    TCloneRom* const* end() const { return items_ + count_; }

private:
    // Set in capacity_ once the list is packed: its room is not the arena's to reuse.
    static constexpr uint32_t kPacked = 0x80000000u;
    TCloneRom** items_ = nullptr;
    uint32_t count_ = 0;
    uint32_t capacity_ = 0;
};

// A list of clone roms that does not own them.
class TCloneRomsList {
public:
    void Add(TCloneRom* cloneRom) { items_.push_back(cloneRom); }
    size_t Count() const { return items_.size(); }
    bool Empty() const { return items_.empty(); }
    TCloneRom* GetCloneRom(size_t index) const { return items_.at(index); }
    TCloneRom* operator[](size_t index) const { return items_[index]; }
    // The first clone rom named name (any case), or nullptr.
    TCloneRom* FindByName(std::string_view name) const;
    // The same with the name's NameHash already computed.
    TCloneRom* FindByName(std::string_view name, uint32_t nameHash) const;
    // The index of the first clone rom of clone, -1 when none.
    int IndexOfClone(const TClone* clone) const;
    void Delete(size_t index) { items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index)); }
    void Clear() { items_.clear(); }

    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }
    std::vector<TCloneRom*>& Items() { return items_; }

private:
    std::vector<TCloneRom*> items_;
};

// Display texts with their clones, in list order (a views' "list of texts with objects").
using TCloneItems = std::vector<std::pair<std::string, TClone*>>;

// A list of named objects (games or clones), one per name (any case), iterated in
// CompareNames order. The hashed variant finds names through a hash index and sorts
// on the first iteration after a change; the plain one keeps itself sorted and
// searches by bisection (a game's few clones).
template <class T>
class TNamedList {
public:
    explicit TNamedList(bool hashed) : hashed_(hashed) {}

    T* Find(std::string_view name) const;
    // Adds an object whose name is not in the list yet.
    void Add(T* item);
    template <class Pred>
    void RemoveIf(Pred pred);
    void Clear();
    size_t Count() const { return items_.size(); }
    bool Empty() const { return items_.empty(); }
    T* operator[](size_t index) const {
        EnsureSorted();
        return items_[index];
    }
    auto begin() const {
        EnsureSorted();
        return items_.cbegin();
    }
    auto end() const {
        EnsureSorted();
        return items_.cend();
    }
    void Reserve(size_t n);

private:
    void EnsureSorted() const;
    // The hash index: open addressing over a power-of-two table, the folded name hash
    // kept beside each object so that most probes compare no text.
    struct TSlot {
        uint32_t hash = 0;
        T* item = nullptr;
    };
    void Insert(T* item, uint32_t hash);
    void Rehash(size_t slotCount);

    bool hashed_;
    mutable bool sorted_ = true;
    mutable std::vector<T*> items_;
    std::vector<TSlot> slots_;
};

using TClonesList = TNamedList<TClone>;

// One listing of a rom by a clone.
class TCloneRom {
public:
    TCloneRom(TStoredText name, TStoredText crc, TRom* rom, TClone* clone);
    TCloneRom(TStoredText name, TStoredText crc, TRom* rom, TClone* clone, uint32_t nameHash);

    // The listing of the parent, the resource set or the set romof names that it is taken from.
    TCloneRom* MergedFrom = nullptr;
    // Texts held by the catalogue until its next Clear.
    const TStoredText Name;
    TStoredText Crc;  // the CRC as this clone lists it
    TRom* Rom;
    TClone* Clone;
    const uint32_t NameHash;  // case-folded hash of Name, to skip most comparisons

    // The same listing under another name, for the one set of a whole game only: another
    // clone of the game lists Name with another rom, and a set cannot hold two roms of
    // one name. Each clone's own set keeps Name. Not an owner of Rom. nullptr for
    // almost every listing: the few aliases are kept by the catalogue, not here.
    TCloneRom* MergedSetAlias() const;
    void SetMergedSetAlias(TCloneRom* alias);

    // The listing as the set of the current mode holds it: the alias with Split off.
    TCloneRom* InSet();

    static uint32_t HashName(std::string_view name) { return static_cast<uint32_t>(FoldedHash(name)); }

    // csNormal, csNoDump, csBothCrcs or csBadDump (see the constants above).
    int GetCrcState() const;
    // Taken from a listing of a resource set.
    bool IsResourceRom() const;
    // Held by another set in the current mode: in one set per game always; with Split
    // on, resource roms only with MergeResources.
    bool IsMerged() const;
    // 2 when a file was found for the rom, plus 4 for a bad dump or no dump.
    int GetStateFlags() const;

private:
    uint32_t alias_ = 0;  // 1 + the place of the alias in its catalogue's list; 0: none
};

// One distinct rom content, shared by every listing of that CRC.
// The rom files attached to a rom, in the order attached. Most roms hold one file or
// none: one is kept in place of the pointer to the array, so that the scan makes no
// allocation for it. Reads as a vector of pointers.
class TAttachedFiles {
public:
    TAttachedFiles() = default;
    TAttachedFiles(const TAttachedFiles&) = delete;
    TAttachedFiles& operator=(const TAttachedFiles&) = delete;
    ~TAttachedFiles() {
        if (capacity_ != 0) delete[] many_;
    }

    TRomFile* const* begin() const { return capacity_ == 0 ? &one_ : many_; }
    TRomFile* const* end() const { return begin() + size_; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    TRomFile* operator[](size_t index) const { return begin()[index]; }
    TRomFile* front() const { return begin()[0]; }
    TRomFile* back() const { return begin()[size_ - 1]; }

    void push_back(TRomFile* file);
    void pop_back() { --size_; }
    // Removes the file at it; the files after it move up.
    void erase(TRomFile* const* it);

    friend bool operator==(const TAttachedFiles& files, const std::vector<TRomFile*>& list) {
        return std::equal(files.begin(), files.end(), list.begin(), list.end());
    }

private:
    union {
        TRomFile* one_ = nullptr;  // while capacity_ is 0
        TRomFile** many_;
    };
    uint32_t size_ = 0;
    uint32_t capacity_ = 0;  // of many_; 0 while the file is held in one_
};

class TRom {
public:
    TRom(TStoredText crc, int64_t size, TGamesList* gamesList);

    TCloneRomRun Owners;  // every listing of this rom
    TStoredText Crc;
    TAttachedFiles Files;  // rom files attached, not owned
    int64_t Size;  // -1 unknown
    TGamesList* GamesList;
    int32_t MatchCount = 0;
    uint8_t Kind = rkKnown;

    void AttachFile(std::string_view fileCrc, int64_t fileSize, TRomFile* file);
    void DetachFile(std::string_view fileCrc, int64_t fileSize, TRomFile* file);
    // The listing under which the rom is shown in the current mode, or nullptr.
    TCloneRom* GetDisplayCloneRom() const;
    // Every listing shown in the current mode (one may appear twice with Split off).
    void ListCloneRoms(TCloneRomsList& list) const;

private:
    friend class TCrcList;
    TCloneRom* SameGameNormalOwner(const TCloneRom* owner) const;
    // 1 + its place in the CRC index's list of roms; 0 before it is added. Beside Kind in
    // one word: a catalogue holds hundreds of thousands of roms.
    uint32_t crcIndex_ : 24 = 0;

public:
    static constexpr uint32_t kMaxRoms = (1u << 24) - 1;
};

// The CRC index: CRC text (any case) -> the roms added under it, in the order added.
class TCrcList {
public:
    void AddRom(std::string_view crc, TRom* rom);
    // The rom of that CRC; with checkSize only one whose size equals size (or is unknown).
    TRom* FindRom(std::string_view crc, int64_t size, bool checkSize) const;
    // Every rom, in the order first added.
    size_t Count() const { return roms_.size(); }
    TRom* GetRom(size_t index) const { return roms_.at(index); }
    void Clear();
    void Reserve(size_t n);
    // False when nothing is held under the complement of crc, so that a lookup need not
    // make its text (most CRCs have no bad dump).
    bool MayHoldComplementOf(std::string_view crc) const;
    // Gives back the room reserved beyond the roms held.
    void ShrinkToFit() { roms_.shrink_to_fit(); }

private:
    // A CRC text of eight hexadecimal digits (every real one) is kept in a flat table
    // under its value, eight bytes a slot, so that a lookup costs one probe of one cache
    // line in most cases; any other text goes to the map. A slot is empty while rom is
    // 0; otherwise rom is 1 + the place in roms_ of its only rom, or kMany + the place in
    // many_ of its roms when there are several.
    static constexpr uint32_t kMany = 0x80000000u;
    struct TSlot {
        uint32_t crc = 0;
        uint32_t rom = 0;
    };
    const TSlot* FindSlot(uint32_t crc) const;
    TSlot& InsertSlot(uint32_t crc);
    void Rehash(size_t slotCount);
    TRom* FindIn(TRom* const* roms, size_t count, std::string_view crc, int64_t size) const;

    std::vector<TSlot> slots_;  // a power of two in size, or empty
    size_t used_ = 0;
    std::vector<std::vector<TRom*>> many_;
    std::unordered_map<std::string, std::vector<TRom*>, TSameTextHash, TSameTextEqual> index_;
    std::vector<TRom*> roms_;
    mutable std::unordered_set<std::string, TSameTextHash, TSameTextEqual> warned_;
};

// Cached status of a clone or game, valid for the mode and generation it was made in.
struct TStatusCache {
    bool valid(const TRomsBd& bd) const;
    void stamp(const TRomsBd& bd);

    uint64_t generation = 0;  // 0: never computed
    bool split = false;
    bool mergeRoms = false;
    bool isComplete = false;
    bool hasBadDumps = false;
    bool hasFoundRoms = false;
    int status = 0;
    int64_t size = 0;
    int count = 0;  // roms shown (clone) or clones shown (game)
};

// A game as its datafile lines name it: a parent or one of its clones.
class TClone {
public:
    TClone(TStoredText name, TStoredText description, TGame* game);

    const TStoredText Name;
    TStoredText Description;
    TCloneRomRun CloneRoms;  // in the order added
    bool IsParent = false;
    TGame* Game;

    TCloneRom* AddRom(std::string_view crc, std::string_view name, int64_t size, std::string_view romOf,
                      std::string_view merge);
    TCloneRom* FindCloneRom(std::string_view name) const { return CloneRoms.FindByName(name); }
    // The shown list (needed false) or the list the set's own archive must hold.
    void ListRoms(TCloneRomsList& list, bool needed) const;
    TStoredText GetDisplayName() const;
    TStoredText GetDisplayDescription() const;

    int GetStatus() const;
    int64_t GetSize() const;
    int GetRomCount() const;
    bool IsComplete() const;
    bool HasBadDumps() const;
    bool HasFoundRoms() const;

    // The files that hold a rom file matched to a listing of this clone, each once.
    // RomFileT needs File (FileT*) and CloneRom (TCloneRom*); templates so that this
    // library needs neither files-database type complete.
    template <class RomFileT = TRomFile, class FileT = TFile>
    void CollectFiles(std::vector<FileT*>& list) const;

    TRomsBd& RomsBd() const;

private:
    const TStatusCache& Status() const;
    mutable TStatusCache cache_;
};

// One set: a parent game with its clones.
class TGame {
public:
    TGame(TStoredText name, TStoredText description, bool isResource, TGamesList* gamesList);

    const TStoredText Name;
    TStoredText Description;
    TClonesList Clones{false};  // its own clones, in name order
    TGame* ResourceGame = nullptr;
    bool IsResource;
    TGamesList* GamesList;

    TClone* AddClone(std::string_view name, std::string_view description);
    TClone* GetParentClone() const;
    // The clones shown in the current mode with their display names.
    void ListClones(TCloneItems& list) const;

    int GetStatus() const;
    int64_t GetSize() const;
    int GetCloneCount() const;
    bool IsComplete() const;
    bool HasBadDumps() const;
    bool HasFoundRoms() const;

    // As TClone::CollectFiles over every clone, then only the files matched to a parent.
    template <class RomFileT = TRomFile, class FileT = TFile>
    void CollectFiles(std::vector<FileT*>& list) const;

    TRomsBd& RomsBd() const;

    // Calls f for every clone shown in the current mode.
    template <class F>
    void ForEachShownClone(F f) const;

    // The listings of every clone without a good dump, clones in name order, each
    // clone's in the order added: a file is known by name alone only among these.
    const std::vector<TCloneRom*>& NoDumpListings() const;

private:
    friend class TClone;
    const TStatusCache& Status() const;
    mutable TStatusCache cache_;
    // Made on first use after the game's listings last changed.
    mutable std::vector<TCloneRom*> noDumps_;
    mutable bool noDumpsValid_ = false;
};

// Every game, by name (any case), with the all-clones list, the CRC index and the
// storage of every object.
class TGamesList {
public:
    explicit TGamesList(TRomsBd* romsBd);
    TGamesList(const TGamesList&) = delete;
    TGamesList& operator=(const TGamesList&) = delete;

    TClonesList AllClones{true};
    TCrcList CrcList;
    TRomsBd* const RomsBd;

    TGame* AddGame(std::string_view name, std::string_view description, bool isResource, std::string_view romOf);
    TGame* FindGame(std::string_view name) const { return games_.Find(name); }
    TClone* FindClone(std::string_view name) const { return AllClones.Find(name); }
    // none for blanks and "00000000"; else by the CRC, then by its complement.
    TRom* FindRomByCrc(std::string_view crc, int64_t size) const;
    void Clear();

    size_t Count() const { return games_.Count(); }
    TGame* operator[](size_t index) const { return games_[index]; }
    auto begin() const { return games_.begin(); }
    auto end() const { return games_.end(); }

    // Drops games from the list (their objects stay allocated until Clear).
    template <class Pred>
    void RemoveGamesIf(Pred pred) { games_.RemoveIf(pred); }

    // The Yes to All answer of the name-clash warning, forgotten at each build.
    bool ClashYesToAll = false;

    // Storage; objects never move. Texts are copied into the catalogue.
    TClone* NewClone(std::string_view name, std::string_view description, TGame* game);
    TCloneRom* NewCloneRom(std::string_view name, std::string_view crc, TRom* rom, TClone* clone);
    // The same with the name already stored and hashed.
    TCloneRom* NewCloneRom(TStoredText name, uint32_t nameHash, std::string_view crc, TRom* rom, TClone* clone);
    TRom* NewRom(std::string_view crc, int64_t size);
    // A copy of text that lives until Clear.
    TStoredText StoreText(std::string_view text) { return texts_.Store(text); }
    TPointerArena& Pointers() { return pointers_; }
    // Once built: the lists of listings are packed, each in room for exactly its own, and
    // the index is trimmed to what it holds. Nothing found or listed changes.
    void Settle();
    // The merged-set aliases of listings (TCloneRom::MergedSetAlias): 1 + the place of
    // the one added.
    uint32_t AddAlias(TCloneRom* alias);
    TCloneRom* Alias(uint32_t place) const { return aliases_[place - 1]; }

private:
    TNamedList<TGame> games_{true};
    std::vector<TCloneRom*> aliases_;
    // Declared before the arenas, so that it outlives them.
    TBlockSource blocks_;
    TTextArena texts_{blocks_};
    TPointerArena pointers_;
    TObjectPool<TGame, 256> gamePool_{blocks_};
    TObjectPool<TClone> clonePool_{blocks_};
    TObjectPool<TCloneRom, 4096> cloneRomPool_{blocks_};
    TObjectPool<TRom, 4096> romPool_{blocks_};
};

class TRomsBd {
public:
    TRomsBd();
    ~TRomsBd();
    TRomsBd(const TRomsBd&) = delete;
    TRomsBd& operator=(const TRomsBd&) = delete;

    // Set mode; Split and MergeRoms changes make cached states recompute on their next
    // reading, the other flags wait for RecalculateStatus.
    bool CheckSize = true;
    bool MergeRoms = false;
    bool MergeResources = false;
    bool ShowResources = false;
    bool ShowMerged = false;
    bool Split = false;

    // Also given to the datafile reader.
    TProgressEvent OnProgress;
    TInfosEvent OnInfos;
    // One line per name of the datafile that may not become a file name (a set named
    // "../evil", a rom named "/abs"), logged once when the datafile is built.
    TLogEvent OnLog;

    bool NameClash = false;

    // Statistics.
    int64_t TotalSize = 0;
    int32_t GamesComplete = 0;
    int32_t GamesMissing = 0;
    int32_t GamesPartial = 0;
    int32_t ClonesComplete = 0;
    int32_t ClonesMissing = 0;
    int32_t ClonesPartial = 0;
    int32_t RomCount = 0;    // distinct roms with a real CRC, counted while building
    int32_t CloneCount = 0;  // clones, counted while building
    int32_t GameCount = 0;

    TDatafile& Datafile() { return *datafile_; }
    TGamesList& Games() { return *games_; }
    const TGamesList& Games() const { return *games_; }

    const std::string& DatafileName() const;
    void SetDatafileName(const std::string& name);

    bool Abort() const { return abort_; }
    void SetAbort(bool value);

    // Clears, reads the datafile and builds. Exceptions of both pass to the caller.
    void LoadDatabase();
    // Builds games, clones, roms and the CRC index from the datafile's items.
    void Build();
    // Frees the datafile's items, which nothing reads once the database is built (a
    // later reader loads the file again), and packs the catalogue's lists in the room
    // they leave; LoadDatabase does it after its build.
    void ReleaseDatafileItems();
    void Clear();
    void RecalculateStatus();
    void UpdateStatistics();
    int64_t GetTotalSize();

    // With Split off only a parent clone is found.
    TClone* FindClone(std::string_view name) const;
    void ListClones(TCloneItems& list) const;
    // The needed list of the set shown under name in the current mode.
    void ListGameRoms(std::string_view name, TCloneRomsList& list) const;
    // Which listing and rom a file found on disk is; attaches it when attach is set.
    void FindRomForFile(std::string_view setName, std::string_view romName, std::string_view fileCrc,
                        int64_t fileSize, bool attach, TCloneRom*& cloneRom, TRom*& rom, TRomFile* file);
    // The set whose listings FindRomForFile reads for a file of that set name (nullptr when
    // none): the same for every rom file of one file while the database is not rebuilt.
    TClone* FindSetForFile(std::string_view setName) const;
    // FindRomForFile with the set already found by FindSetForFile, and name the rom name's
    // last part (after its last "/" or "\\").
    void FindRomForFile(TClone* clone, std::string_view name, std::string_view fileCrc, int64_t fileSize,
                        bool attach, TCloneRom*& cloneRom, TRom*& rom, TRomFile* file);

    void DoInfos(const std::string& text);
    void DoProgress(int64_t position, int64_t maximum);

    // Raised by RecalculateStatus; cached states of another generation are out of date.
    uint64_t StatusGeneration() const { return generation_; }

private:
    // Shows a build error box, up to a limit; the rest are only counted.
    void ReportItemError(const std::string& message);
    void BuildPasses();
    void AddItem(const TDataFileItem& item, bool isResource);
    std::pair<TGame*, TClone*> GameAndClone(const TDataFileItem& item, bool isResource);
    void FinishBuild();
    void ReportDataWarnings();
    void LogUnsafeNames();

    std::unique_ptr<TDatafile> datafile_;
    std::unique_ptr<TGamesList> games_;
    bool abort_ = false;
    uint64_t generation_ = 1;
    bool statsSplit_ = false;
    bool statsMergeRoms_ = false;
    TProgressState progress_;

    // Data warnings gathered during a build and shown once at its end.
    int itemErrors_ = 0;
    int64_t skippedItems_ = 0;
    std::vector<std::string> droppedGames_;

    // The game and clone that the names of the last line built gave.
    struct TLastLine {
        std::string_view parentName;
        std::string_view gameName;
        TGame* game = nullptr;
        TClone* clone = nullptr;
    };
    TLastLine lastLine_;

    friend class TClone;
    // Scratch list for clone states, so that recomputing allocates nothing per clone.
    mutable TCloneRomsList scratch_;
};

// ---- Templates ----------------------------------------------------------------------

template <class T>
T* TNamedList<T>::Find(std::string_view name) const {
    if (hashed_) {
        if (slots_.empty()) return nullptr;
        const auto hash = static_cast<uint32_t>(FoldedHash(name));
        const size_t mask = slots_.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            const TSlot& slot = slots_[i];
            if (slot.item == nullptr) return nullptr;
            if (slot.hash == hash && SameText(slot.item->Name, name)) return slot.item;
        }
    }
    auto it = std::lower_bound(items_.begin(), items_.end(), name,
                               [](const T* item, std::string_view n) { return CompareNames(item->Name, n) < 0; });
    if (it != items_.end() && CompareNames((*it)->Name, name) == 0) return *it;
    return nullptr;
}

template <class T>
void TNamedList<T>::Add(T* item) {
    if (hashed_) {
        if ((items_.size() + 1) * 4 > slots_.size() * 3) Rehash(std::max<size_t>(16, slots_.size() * 2));
        Insert(item, static_cast<uint32_t>(FoldedHash(item->Name)));
        if (sorted_ && !items_.empty() && CompareNames(items_.back()->Name, item->Name) > 0) sorted_ = false;
        items_.push_back(item);
        return;
    }
    auto it = std::lower_bound(items_.begin(), items_.end(), item, [](const T* a, const T* b) {
        return CompareNames(a->Name, b->Name) < 0;
    });
    items_.insert(it, item);
}

template <class T>
template <class Pred>
void TNamedList<T>::RemoveIf(Pred pred) {
    EnsureSorted();
    const size_t before = items_.size();
    items_.erase(std::remove_if(items_.begin(), items_.end(), pred), items_.end());
    if (hashed_ && items_.size() != before) Rehash(slots_.size());
}

template <class T>
void TNamedList<T>::Insert(T* item, uint32_t hash) {
    const size_t mask = slots_.size() - 1;
    size_t i = hash & mask;
    while (slots_[i].item != nullptr) i = (i + 1) & mask;
    slots_[i] = TSlot{hash, item};
}

template <class T>
void TNamedList<T>::Rehash(size_t slotCount) {
    slots_.assign(slotCount, TSlot{});
    for (T* item : items_) Insert(item, static_cast<uint32_t>(FoldedHash(item->Name)));
}

template <class T>
void TNamedList<T>::Clear() {
    items_.clear();
    items_.shrink_to_fit();
    slots_.clear();
    slots_.shrink_to_fit();
    sorted_ = true;
}

template <class T>
void TNamedList<T>::Reserve(size_t n) {
    items_.reserve(n);
    size_t slotCount = 16;
    while (slotCount * 3 < n * 4) slotCount *= 2;
    if (hashed_ && slotCount > slots_.size()) Rehash(slotCount);
}

template <class T>
void TNamedList<T>::EnsureSorted() const {
    if (sorted_) return;
    std::sort(items_.begin(), items_.end(),
              [](const T* a, const T* b) { return CompareNames(a->Name, b->Name) < 0; });
    sorted_ = true;
}

template <class F>
void TGame::ForEachShownClone(F f) const {
    if (RomsBd().Split) {
        for (TClone* clone : Clones) f(clone);
    } else if (TClone* parent = GetParentClone()) {
        f(parent);
    }
}

template <class RomFileT, class FileT>
void TClone::CollectFiles(std::vector<FileT*>& list) const {
    for (const TCloneRom* cloneRom : CloneRoms) {
        for (TRomFile* attached : cloneRom->Rom->Files) {
            auto* romFile = reinterpret_cast<RomFileT*>(attached);
            if (romFile->CloneRom == nullptr || romFile->CloneRom->Clone != this) continue;
            FileT* file = romFile->File;
            if (std::find(list.begin(), list.end(), file) == list.end()) list.push_back(file);
        }
    }
}

template <class RomFileT, class FileT>
void TGame::CollectFiles(std::vector<FileT*>& list) const {
    for (const TClone* clone : Clones) clone->CollectFiles<RomFileT, FileT>(list);
    list.erase(std::remove_if(list.begin(), list.end(),
                              [](const FileT* file) { return file->Clone == nullptr || !file->Clone->IsParent; }),
               list.end());
}

}  // namespace qm
