#include "catalogue/RomsBd.h"

#include <sys/mman.h>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <bit>
#include <cstdio>
#include <ostream>
#include <stdexcept>
#include <unordered_set>

#include "platform/Text.h"
#include "platform/UiHooks.h"

namespace qm {

namespace {

// Item errors shown one by one before the rest are only counted.
constexpr int kMaxItemErrorBoxes = 10;
// Names listed in the warning about dropped games.
constexpr size_t kMaxNamesListed = 10;

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The value of a CRC text of exactly eight hexadecimal digits (either case).
bool CrcValue(std::string_view crc, uint32_t& value) {
    if (crc.size() != 8) return false;
    value = 0;
    for (char c : crc) {
        const int v = HexValue(c);
        if (v < 0) return false;
        value = value << 4 | static_cast<uint32_t>(v);
    }
    return true;
}

// crc is the text ComplementCrcFast makes of of, without making it.
bool IsComplementOf(std::string_view crc, std::string_view of) {
    uint32_t value;
    if (!CrcValue(of, value)) return crc == ComplementCrc(of);
    uint32_t own;
    // The complement is written in lower-case digits.
    return CrcValue(crc, own) && own == ~value &&
           std::none_of(crc.begin(), crc.end(), [](char c) { return c >= 'A' && c <= 'F'; });
}

// The name before and from its extension: the last "." after the last separator.
std::pair<std::string, std::string> SplitExtension(const std::string& name) {
    const size_t dot = name.find_last_of('.');
    const size_t sep = name.find_last_of("/\\");
    if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) return {name, std::string()};
    return {name.substr(0, dot), name.substr(dot)};
}

// Some clone of the game lists name, or holds a listing under it in the merged set.
bool GameUsesName(const TGame& game, std::string_view name) {
    const uint32_t hash = TCloneRom::HashName(name);
    for (const TClone* clone : game.Clones)
        for (const TCloneRom* cloneRom : clone->CloneRoms) {
            if (cloneRom->NameHash == hash && SameText(cloneRom->Name, name)) return true;
            const TCloneRom* alias = cloneRom->MergedSetAlias();
            if (alias != nullptr && alias->NameHash == hash && SameText(alias->Name, name)) return true;
        }
    return false;
}

// "name Copy N.ext" with the first N that the game does not use yet, always derived from
// the listing's own name, so that names never grow from one clash to the next.
std::string FreeCopyName(const TGame& game, const std::string& name) {
    auto [base, ext] = SplitExtension(name);
    for (int n = 1;; ++n) {
        std::string candidate = base + " Copy " + std::to_string(n) + ext;
        if (!GameUsesName(game, candidate)) return candidate;
    }
}

// The listing a merge name takes its rom from: the parent's (unless the parent takes it
// from a bios), else the bios set's; failing both, the one of the set romof names,
// whatever that set is (a device set may take its rom from a sibling set that is
// neither its parent nor a bios).
TCloneRom* MergeSource(const TClone& clone, std::string_view romOf, std::string_view merge) {
    const TGame& game = *clone.Game;
    const uint32_t hash = TCloneRom::HashName(merge);
    if (!clone.IsParent) {
        const TClone* parent = game.GetParentClone();
        TCloneRom* fromParent = parent ? parent->CloneRoms.FindByName(merge, hash) : nullptr;
        if (fromParent != nullptr && !fromParent->IsResourceRom()) return fromParent;
    }
    if (game.ResourceGame != nullptr) {
        const TClone* parent = game.ResourceGame->GetParentClone();
        return parent ? parent->CloneRoms.FindByName(merge, hash) : nullptr;
    }
    if (romOf.empty()) return nullptr;
    const TClone* named = game.GamesList->AllClones.Find(romOf);
    if (named == nullptr || named->Game == &game) return nullptr;  // the parent was looked at
    TCloneRom* source = named->CloneRoms.FindByName(merge, hash);
    // That set may itself take the rom from a bios: the bios holds it.
    if (source != nullptr && source->IsResourceRom()) return source->MergedFrom;
    return source;
}

// A listing merged from the very rom of another set: that set holds it, under its own
// name, so the listing's name takes no room in the game's one set.
bool HeldUnderSourceName(const TCloneRom& cloneRom) {
    return cloneRom.MergedFrom != nullptr && cloneRom.MergedFrom->Rom == cloneRom.Rom;
}

// The first position after position whose percentage of maximum differs from its own.
int64_t NextPercentAt(int64_t position, int64_t maximum) {
    if (maximum <= 0) return INT64_MAX;
    const int64_t percent = position * 100 / maximum;
    return ((percent + 1) * maximum + 99) / 100;
}

// An item that would make a game, clone or rom without a name (always missing).
bool IsNamelessItem(const TDataFileItem& item) {
    return item.ParentName.empty() || item.GameName.empty() || item.RomName.empty();
}

}  // namespace

namespace {

// Eight bytes with their ASCII capitals lower-cased, as LowerChar folds each byte.
uint64_t FoldWord(uint64_t w) {
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    const uint64_t low7 = w & (0x7F * kOnes);
    const uint64_t atLeastA = low7 + (0x80 - 'A') * kOnes;
    const uint64_t aboveZ = low7 + (0x80 - 'Z' - 1) * kOnes;
    const uint64_t capital = (atLeastA ^ aboveZ) & ~w & (0x80 * kOnes);
    return w | capital >> 2;
}

}  // namespace

uint64_t FoldedHash(std::string_view text) noexcept {
    // Eight bytes at a time, ASCII capitals folded to lower case as SameText folds them.
    constexpr uint64_t kMul = 0x9E3779B97F4A7C15ull;
    const auto fold = FoldWord;
    auto mix = [](uint64_t h, uint64_t w) {
        h = (h ^ w) * kMul;
        return h ^ (h >> 29);
    };
    const char* p = text.data();
    const size_t size = text.size();
    uint64_t h = size * kMul;
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        h = mix(h, fold(w));
    }
    if (i < size) {
        // The last bytes, read as one word that may overlap the words before.
        uint64_t w;
        if (size >= 8) {
            std::memcpy(&w, p + size - 8, 8);
        } else if (size >= 4) {
            uint32_t first;
            uint32_t last;
            std::memcpy(&first, p, 4);
            std::memcpy(&last, p + size - 4, 4);
            w = first | uint64_t{last} << 32;
        } else {
            w = uint64_t{static_cast<unsigned char>(p[0])} | uint64_t{static_cast<unsigned char>(p[size / 2])} << 8 |
                uint64_t{static_cast<unsigned char>(p[size - 1])} << 16;
        }
        h = mix(h, fold(w));
    }
    // Every bit of the result depends on every byte: tables index by the low bits.
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    return h ^ (h >> 33);
}

int CompareNames(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    size_t i = 0;
    // Eight bytes at a time while they agree; the first byte that differs decides.
    static_assert(std::endian::native == std::endian::little);
    for (; i + 8 <= n; i += 8) {
        uint64_t wa;
        uint64_t wb;
        std::memcpy(&wa, a.data() + i, 8);
        std::memcpy(&wb, b.data() + i, 8);
        const uint64_t fa = FoldWord(wa);
        const uint64_t fb = FoldWord(wb);
        if (fa == fb) continue;
        const int shift = std::countr_zero(fa ^ fb) & ~7;
        return ((fa >> shift) & 0xFF) < ((fb >> shift) & 0xFF) ? -1 : 1;
    }
    for (; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(LowerChar(a[i]));
        const auto cb = static_cast<unsigned char>(LowerChar(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::string ComplementCrcFast(std::string_view crc) {
    uint32_t value;
    if (!CrcValue(crc, value)) return ComplementCrc(crc);
    static const char digits[] = "0123456789abcdef";
    std::string result(8, '0');
    const uint32_t complement = ~value;
    for (int i = 7, shift = 0; i >= 0; --i, shift += 4) result[i] = digits[(complement >> shift) & 0xF];
    return result;
}

// ---- TStoredText ---------------------------------------------------------------------

const char TStoredText::kEmpty[sizeof(uint32_t) + 1] = {};

std::string TStoredText::Join(std::string_view a, std::string_view b) {
    std::string joined;
    joined.reserve(a.size() + b.size());
    joined.append(a).append(b);
    return joined;
}

std::ostream& operator<<(std::ostream& out, TStoredText text) { return out << text.view(); }

// ---- TBlockSource ----------------------------------------------------------------------

namespace {

constexpr size_t kLargePage = size_t{2} << 20;
// Blocks follow each other in one region, whatever arena asked for them, so that no
// large page is left half used between them.
constexpr size_t kRegionBytes = 16 * kLargePage;

size_t RoundUp(size_t bytes, size_t to) { return (bytes + to - 1) / to * to; }

}  // namespace

void* TBlockSource::Map(size_t bytes) {
    // A mapping one large page longer, trimmed to a run of whole large pages.
    const size_t mapped = bytes + kLargePage;
    void* raw = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) throw std::bad_alloc();
    const auto start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = RoundUp(start, kLargePage);
    if (aligned > start) ::munmap(raw, aligned - start);
    const uintptr_t tail = aligned + bytes;
    if (start + mapped > tail) ::munmap(reinterpret_cast<void*>(tail), start + mapped - tail);
    auto* base = reinterpret_cast<void*>(aligned);
    ::madvise(base, bytes, MADV_HUGEPAGE);  // a refusal changes nothing
#if defined(__SANITIZE_ADDRESS__)
    // The leak checker looks for pointers in the heap only: the heap blocks the objects
    // here hold (a game's clone list, a rom's files) are reachable through them.
    __lsan_register_root_region(base, bytes);
#endif
    regions_.push_back({base, bytes});
    return base;
}

void* TBlockSource::Take(size_t bytes) {
    bytes = RoundUp(std::max<size_t>(bytes, 1), 64);
    if (bytes > kRegionBytes / 4) return Map(RoundUp(bytes, kLargePage));  // a region of its own
    if (bytes > left_) {
        // Only the pages written count: a region barely begun costs its first page.
        next_ = static_cast<char*>(Map(kRegionBytes));
        left_ = kRegionBytes;
    }
    void* block = next_;
    next_ += bytes;
    left_ -= bytes;
    return block;
}

void TBlockSource::Clear() {
    for (const TRegion& region : regions_) {
#if defined(__SANITIZE_ADDRESS__)
        __lsan_unregister_root_region(region.base, region.bytes);
#endif
        ::munmap(region.base, region.bytes);
    }
    regions_.clear();
    regions_.shrink_to_fit();
    next_ = nullptr;
    left_ = 0;
}

// ---- TTextArena ----------------------------------------------------------------------

TStoredText TTextArena::Store(std::string_view text) {
    constexpr size_t kBlockBytes = 256 * 1024;
    if (text.size() > UINT32_MAX) throw std::length_error("TTextArena::Store");
    const auto length = static_cast<uint32_t>(text.size());
    const size_t need = sizeof length + text.size() + 1;
    char* stored;
    if (need > kBlockBytes / 4) {
        // A long text gets a block of its own; the current one stays in use.
        stored = static_cast<char*>(source_.Take(need));
    } else {
        if (need > left_) {
            next_ = static_cast<char*>(source_.Take(kBlockBytes));
            left_ = kBlockBytes;
        }
        stored = next_;
        next_ += need;
        left_ -= need;
    }
    std::memcpy(stored, &length, sizeof length);
    std::copy(text.begin(), text.end(), stored + sizeof length);
    stored[sizeof length + text.size()] = '\0';
    return TStoredText(stored + sizeof length);
}

void TTextArena::Clear() {
    next_ = nullptr;
    left_ = 0;
}

// ---- TPointerArena and TCloneRomRun ---------------------------------------------------

namespace {

int SizeClass(uint32_t capacity) { return std::countr_zero(capacity); }

// The first listing of the list named name (any case), whose NameHash is hash.
template <class List>
TCloneRom* FindListingByName(const List& list, std::string_view name, uint32_t hash) {
    for (TCloneRom* cloneRom : list)
        if (cloneRom->NameHash == hash && SameText(cloneRom->Name, name)) return cloneRom;
    return nullptr;
}

// The place of the first listing of clone in the list, -1 when none.
template <class List>
int IndexOfListingOf(const List& list, const TClone* clone) {
    int index = 0;
    for (const TCloneRom* cloneRom : list) {
        if (cloneRom->Clone == clone) return index;
        ++index;
    }
    return -1;
}

}  // namespace

TCloneRom** TPointerArena::Allocate(uint32_t capacity) {
    TCloneRom**& head = free_[SizeClass(capacity)];
    if (head != nullptr) {
        TCloneRom** items = head;
        head = reinterpret_cast<TCloneRom**>(items[0]);
        return items;
    }
    if (capacity > left_) {
        // The rest of the block goes to the free lists, largest arrays first.
        while (left_ > 0) {
            const uint32_t piece = std::bit_floor(static_cast<uint32_t>(left_));
            Release(next_, piece);
            next_ += piece;
            left_ -= piece;
        }
        const size_t items = std::max<size_t>(kBlockItems, capacity);
        next_ = static_cast<TCloneRom**>(blocks_.Take(items * sizeof(TCloneRom*)));
        left_ = items;
    }
    TCloneRom** items = next_;
    next_ += capacity;
    left_ -= capacity;
    return items;
}

void TPointerArena::Release(TCloneRom** items, uint32_t capacity) {
    TCloneRom**& head = free_[SizeClass(capacity)];
    items[0] = reinterpret_cast<TCloneRom*>(head);
    head = items;
}

void TPointerArena::Clear() {
    blocks_.Clear();
    next_ = nullptr;
    left_ = 0;
    std::fill(std::begin(free_), std::end(free_), nullptr);
}

void TCloneRomRun::Add(TCloneRom* cloneRom, TPointerArena& arena) {
    if (count_ == (capacity_ & ~kPacked)) {
        const uint32_t capacity = std::bit_ceil(count_ + 1);
        TCloneRom** items = arena.Allocate(capacity);
        std::copy(items_, items_ + count_, items);
        if (items_ != nullptr && (capacity_ & kPacked) == 0) arena.Release(items_, capacity_);
        items_ = items;
        capacity_ = capacity;
    }
    items_[count_++] = cloneRom;
}

TCloneRom** TCloneRomRun::PackInto(TCloneRom** to) {
    if (count_ == 0 || Packed()) return to;
    std::copy(items_, items_ + count_, to);
    items_ = to;
    capacity_ = count_ | kPacked;
    return to + count_;
}

TCloneRom* TCloneRomRun::GetCloneRom(size_t index) const {
    if (index >= count_) throw std::out_of_range("TCloneRomRun::GetCloneRom");
    return items_[index];
}

TCloneRom* TCloneRomRun::FindByName(std::string_view name) const {
    return FindByName(name, TCloneRom::HashName(name));
}

TCloneRom* TCloneRomRun::FindByName(std::string_view name, uint32_t hash) const {
    return FindListingByName(*this, name, hash);
}

int TCloneRomRun::IndexOfClone(const TClone* clone) const { return IndexOfListingOf(*this, clone); }

// ---- TCloneRomsList -----------------------------------------------------------------

TCloneRom* TCloneRomsList::FindByName(std::string_view name) const {
    return FindByName(name, TCloneRom::HashName(name));
}

TCloneRom* TCloneRomsList::FindByName(std::string_view name, uint32_t hash) const {
    return FindListingByName(*this, name, hash);
}

int TCloneRomsList::IndexOfClone(const TClone* clone) const { return IndexOfListingOf(*this, clone); }

// ---- TCloneRom ----------------------------------------------------------------------

TCloneRom::TCloneRom(TStoredText name, TStoredText crc, TRom* rom, TClone* clone)
    : TCloneRom(name, crc, rom, clone, HashName(name)) {}

TCloneRom::TCloneRom(TStoredText name, TStoredText crc, TRom* rom, TClone* clone, uint32_t nameHash)
    : Name(name), Crc(crc), Rom(rom), Clone(clone), NameHash(nameHash) {}

int TCloneRom::GetCrcState() const {
    if (TrimView(Crc).empty()) return csNormal;
    if (Crc == kNoDumpCrc) return csNoDump;
    if (Rom->Kind == rkBothCrcs) return csBothCrcs;
    if (Crc == Rom->Crc) return csNormal;
    // Read as numbers, so that no complement text is made for every listing of a status.
    return IsComplementOf(Rom->Crc, Crc) ? csBadDump : csNormal;
}

bool TCloneRom::IsResourceRom() const { return MergedFrom != nullptr && MergedFrom->Clone->Game->IsResource; }

bool TCloneRom::IsMerged() const {
    if (MergedFrom == nullptr) return false;
    // In one set per game a bios keeps its roms in its own set, as the emulator loads
    // them: a game's set is complete without them.
    const TRomsBd& bd = Clone->RomsBd();
    return bd.MergeResources || !bd.Split || !IsResourceRom();
}

TCloneRom* TCloneRom::InSet() {
    if (alias_ == 0 || Clone->RomsBd().Split) return this;
    return MergedSetAlias();
}

TCloneRom* TCloneRom::MergedSetAlias() const { return alias_ == 0 ? nullptr : Clone->Game->GamesList->Alias(alias_); }

void TCloneRom::SetMergedSetAlias(TCloneRom* alias) {
    alias_ = alias == nullptr ? 0 : Clone->Game->GamesList->AddAlias(alias);
}

int TCloneRom::GetStateFlags() const {
    const int state = GetCrcState();
    return (Rom->MatchCount > 0 ? 2 : 0) + (state == csBadDump || state == csNoDump ? 4 : 0);
}

// ---- TRom ---------------------------------------------------------------------------

// A catalogue holds hundreds of thousands of each: they must not grow unnoticed.
static_assert(sizeof(void*) != 8 || (sizeof(TRom) <= 64 && sizeof(TCloneRom) <= 48));

void TAttachedFiles::push_back(TRomFile* file) {
    if (capacity_ == 0 && size_ == 0) {
        one_ = file;
        size_ = 1;
        return;
    }
    if (size_ == std::max<uint32_t>(capacity_, 1)) {
        const uint32_t capacity = std::max<uint32_t>(2, capacity_ * 2);
        auto* items = new TRomFile*[capacity];
        std::copy(begin(), end(), items);
        if (capacity_ != 0) delete[] many_;
        many_ = items;
        capacity_ = capacity;
    }
    many_[size_++] = file;
}

void TAttachedFiles::erase(TRomFile* const* it) {
    TRomFile** items = capacity_ == 0 ? &one_ : many_;
    const auto at = static_cast<size_t>(it - items);
    std::copy(items + at + 1, items + size_, items + at);
    --size_;
}

TRom::TRom(TStoredText crc, int64_t size, TGamesList* gamesList) : Crc(crc), Size(size), GamesList(gamesList) {}

void TRom::AttachFile(std::string_view fileCrc, int64_t fileSize, TRomFile* file) {
    if (Crc == kBlankCrc) {
        MatchCount = 1;
        return;
    }
    ++MatchCount;
    Files.push_back(file);
    if (Kind == rkNoDump && fileCrc != kNoDumpCrc) {
        // The file is a real dump of another known rom.
        if (TRom* other = GamesList->FindRomByCrc(fileCrc, fileSize)) ++other->MatchCount;
    } else if (Kind == rkBothCrcs) {
        Kind = rkConfirmed;
        Crc = GamesList->StoreText(LowerCase(fileCrc));
    }
}

void TRom::DetachFile(std::string_view fileCrc, int64_t fileSize, TRomFile* file) {
    if (Crc == kBlankCrc) return;
    --MatchCount;
    // A path cleared goes from its last file back: the file is then the last one here,
    // and a rom shared by thousands of files is not walked for each of them.
    if (!Files.empty() && Files.back() == file) {
        Files.pop_back();
    } else if (auto it = std::find(Files.begin(), Files.end(), file); it != Files.end()) {
        Files.erase(it);
    }
    if (Kind == rkNoDump && !fileCrc.empty() && fileCrc != kNoDumpCrc) {
        TRom* other = GamesList->FindRomByCrc(fileCrc, fileSize);
        if (other && other->MatchCount > 0) --other->MatchCount;
    }
    if (MatchCount < 0) MatchCount = 0;
}

TCloneRom* TRom::SameGameNormalOwner(const TCloneRom* owner) const {
    const TGame* game = owner->Clone->Game;
    for (TCloneRom* other : Owners)
        if (other->Clone->Game == game && other->Name == owner->Name && other->GetCrcState() == csNormal)
            return other;
    return nullptr;
}

TCloneRom* TRom::GetDisplayCloneRom() const {
    const TRomsBd& bd = *GamesList->RomsBd;
    if (bd.Split) {
        if (!bd.MergeRoms) return Owners.Empty() ? nullptr : Owners[0];
        for (TCloneRom* owner : Owners)
            if (!owner->IsMerged()) return owner;
        return nullptr;
    }
    for (TCloneRom* owner : Owners) {
        if (owner->IsMerged()) continue;
        if (Kind == rkConfirmed || Kind == rkNoDump)
            if (TCloneRom* normal = SameGameNormalOwner(owner)) return normal->InSet();
        return owner->InSet();
    }
    return nullptr;
}

void TRom::ListCloneRoms(TCloneRomsList& list) const {
    list.Clear();
    const TRomsBd& bd = *GamesList->RomsBd;
    for (TCloneRom* owner : Owners) {
        if (bd.Split) {
            if (bd.MergeRoms && owner->IsMerged()) continue;
            list.Add(owner);
            continue;
        }
        TCloneRom* shown = owner;
        if (Kind == rkConfirmed || Kind == rkNoDump)
            if (TCloneRom* normal = SameGameNormalOwner(owner)) shown = normal;
        list.Add(shown->InSet());
    }
}

// ---- TCrcList -----------------------------------------------------------------------

namespace {

size_t SlotOf(uint32_t crc, size_t mask) { return (static_cast<size_t>(crc) * 0x9E3779B97F4A7C15ull >> 32) & mask; }

}  // namespace

const TCrcList::TSlot* TCrcList::FindSlot(uint32_t crc) const {
    if (slots_.empty()) return nullptr;
    const size_t mask = slots_.size() - 1;
    for (size_t i = SlotOf(crc, mask);; i = (i + 1) & mask) {
        const TSlot& slot = slots_[i];
        if (slot.rom == 0) return nullptr;
        if (slot.crc == crc) return &slot;
    }
}

TCrcList::TSlot& TCrcList::InsertSlot(uint32_t crc) {
    if ((used_ + 1) * 4 > slots_.size() * 3) Rehash(std::max<size_t>(64, slots_.size() * 2));
    const size_t mask = slots_.size() - 1;
    for (size_t i = SlotOf(crc, mask);; i = (i + 1) & mask) {
        TSlot& slot = slots_[i];
        if (slot.rom == 0) {
            slot.crc = crc;
            ++used_;
            return slot;
        }
        if (slot.crc == crc) return slot;
    }
}

void TCrcList::Rehash(size_t slotCount) {
    std::vector<TSlot> old;
    old.swap(slots_);
    slots_.assign(slotCount, TSlot{});
    const size_t mask = slotCount - 1;
    for (const TSlot& slot : old) {
        if (slot.rom == 0) continue;
        size_t i = SlotOf(slot.crc, mask);
        while (slots_[i].rom != 0) i = (i + 1) & mask;
        slots_[i] = slot;
    }
}

void TCrcList::AddRom(std::string_view crc, TRom* rom) {
    if (rom->crcIndex_ == 0) {
        if (roms_.size() >= TRom::kMaxRoms) throw std::length_error("TCrcList::AddRom");
        roms_.push_back(rom);
        rom->crcIndex_ = static_cast<uint32_t>(roms_.size());
    }
    uint32_t value;
    if (!CrcValue(crc, value)) {
        std::vector<TRom*>& roms = index_[std::string(crc)];
        if (std::find(roms.begin(), roms.end(), rom) == roms.end()) roms.push_back(rom);
        return;
    }
    TSlot& slot = InsertSlot(value);
    if (slot.rom == 0) {
        slot.rom = rom->crcIndex_;
    } else if ((slot.rom & kMany) != 0) {
        std::vector<TRom*>& roms = many_[slot.rom & ~kMany];
        if (std::find(roms.begin(), roms.end(), rom) == roms.end()) roms.push_back(rom);
    } else if (slot.rom != rom->crcIndex_) {
        many_.push_back({roms_[slot.rom - 1], rom});
        slot.rom = kMany | static_cast<uint32_t>(many_.size() - 1);
    }
}

bool TCrcList::MayHoldComplementOf(std::string_view crc) const {
    uint32_t value;
    // The complement of eight digits is eight digits, which the table holds.
    return !CrcValue(crc, value) || FindSlot(~value) != nullptr;
}

TRom* TCrcList::FindRom(std::string_view crc, int64_t size, bool checkSize) const {
    TRom* const* roms = nullptr;
    size_t count = 0;
    uint32_t value;
    if (CrcValue(crc, value)) {
        const TSlot* slot = FindSlot(value);
        if (slot == nullptr) return nullptr;
        if ((slot->rom & kMany) != 0) {
            const std::vector<TRom*>& many = many_[slot->rom & ~kMany];
            roms = many.data();
            count = many.size();
        } else {
            roms = &roms_[slot->rom - 1];
            count = 1;
        }
    } else {
        auto it = index_.find(crc);
        if (it == index_.end() || it->second.empty()) return nullptr;
        roms = it->second.data();
        count = it->second.size();
    }
    if (!checkSize || roms[0]->Size == -1) return roms[0];
    return FindIn(roms, count, crc, size);
}

TRom* TCrcList::FindIn(TRom* const* roms, size_t count, std::string_view crc, int64_t size) const {
    // Several roms may share a CRC text with different sizes: the first of equal size
    // (or of unknown size) wins.
    const std::string complement = ComplementCrcFast(crc);
    TRom* result = nullptr;
    auto visit = [&](TRom* rom) {
        if (!SameText(rom->Crc, crc) && !SameText(rom->Crc, complement)) return false;
        if (rom->Size != size && rom->Size != -1) return false;
        if (result == nullptr) {
            result = rom;
            return false;
        }
        if (rom->Size == size && result->Size == size && warned_.insert(std::string(crc)).second) {
            // Named as the datafile lists them (game, then rom), so the lines can be found.
            auto label = [](const TRom* r) {
                const TCloneRom* shown = r->Owners.Empty() ? nullptr : r->Owners[0];
                for (const TCloneRom* owner : r->Owners)
                    if (SameText(owner->Crc, r->Crc)) {
                        shown = owner;
                        break;
                    }
                return shown == nullptr ? std::string(r->Crc)
                                        : std::string(shown->Clone->Name) + "/" + std::string(shown->Name);
            };
            UiHooks().MessageDlg(_("Warning !!!") + "\n" + _("Two roms have same crc and same size !") + "\n" +
                                     Fmt(_("%1 and %2: CRC %3, %4 bytes."),
                                         {label(result), label(rom), std::string(crc), std::to_string(size)}) +
                                     "\n" + _("Please contact author"),
                                 TMsgDlgType::mtWarning, mbOK);
        }
        return true;
    };
    for (size_t i = 0; i < count; ++i)
        if (visit(roms[i])) break;
    return result;
}

void TCrcList::Clear() {
    slots_.clear();
    slots_.shrink_to_fit();
    used_ = 0;
    many_.clear();
    many_.shrink_to_fit();
    index_.clear();
    roms_.clear();
    roms_.shrink_to_fit();
    warned_.clear();
}

void TCrcList::Reserve(size_t n) {
    size_t slotCount = 64;
    while (slotCount * 3 < n * 4) slotCount *= 2;
    if (slotCount > slots_.size()) Rehash(slotCount);
}

// ---- TStatusCache -------------------------------------------------------------------

bool TStatusCache::valid(const TRomsBd& bd) const {
    return generation == bd.StatusGeneration() && split == bd.Split && mergeRoms == bd.MergeRoms;
}

void TStatusCache::stamp(const TRomsBd& bd) {
    generation = bd.StatusGeneration();
    split = bd.Split;
    mergeRoms = bd.MergeRoms;
}

// ---- TClone -------------------------------------------------------------------------

TClone::TClone(TStoredText name, TStoredText description, TGame* game)
    : Name(name), Description(description), Game(game) {}

TRomsBd& TClone::RomsBd() const { return *Game->GamesList->RomsBd; }

TCloneRom* TClone::AddRom(std::string_view crc, std::string_view name, int64_t size, std::string_view romOf,
                          std::string_view merge) {
    TRomsBd& bd = RomsBd();
    TGamesList& games = *Game->GamesList;
    Game->noDumpsValid_ = false;
    std::string_view romName = name;
    std::string renamed;  // holds romName once the listing had to take another name
    uint32_t hash = TCloneRom::HashName(romName);
    TCloneRom* own = CloneRoms.FindByName(romName, hash);  // this clone's listing of the name
    TRom* rom = nullptr;
    std::string mergedSetName;       // the name in the game's one set, when not its own
    const TCloneRom* sameRom = nullptr;  // a listing of this name and rom elsewhere in the game

    // A listing merged from a rom of the same content is that rom (1942abl's "1.bin"
    // merged from the parent's "sr-01.c11"): it clashes with no other listing of its name.
    TCloneRom* source = merge.empty() ? nullptr : MergeSource(*this, romOf, merge);
    const bool sameAsSource = source != nullptr && source->Rom->Crc == crc && own == nullptr;
    if (sameAsSource) rom = source->Rom;

    // The first listing of that name in the game, clones in name order; a listing held
    // under its source's name is not one.
    TCloneRom* existing = nullptr;
    for (const TClone* clone : Game->Clones) {
        if (sameAsSource) break;
        existing = clone == this ? own : clone->CloneRoms.FindByName(romName, hash);
        if (existing != nullptr && HeldUnderSourceName(*existing)) existing = nullptr;
        if (existing != nullptr) break;
    }

    if (existing != nullptr) {
        TRom* known = existing->Rom;
        if (known->Crc == crc) {
            rom = known;
        } else if (IsComplementOf(crc, known->Crc)) {
            known->Kind = rkBothCrcs;
            rom = known;
        } else if (crc == kNoDumpCrc && known->Crc != kNoDumpCrc) {
            rom = known;
        } else if (known->Crc == kNoDumpCrc && crc != kNoDumpCrc) {
            // A dump became known: the rom must now be found under that CRC too.
            known->Crc = games.StoreText(crc);
            known->Kind = rkKnown;
            existing->Crc = known->Crc;
            if (TCloneRom* alias = existing->MergedSetAlias()) alias->Crc = known->Crc;
            games.CrcList.AddRom(crc, known);
            if (crc != kBlankCrc) ++bd.RomCount;
            rom = known;
        } else {
            if (!games.ClashYesToAll) {
                bd.NameClash = true;
                if (!bd.Split) {
                    const std::string text =
                        Fmt(_("Data error in datafile !") + "\n" +
                                _("Two roms with identical name and different crc found :") + "\n\n" +
                                _("Game %1, rom %2 (%3)") + "\n" + _("Game %1, rom %4 (%5)") + "\n\n" +
                                _("In full merge mode, only the first one will be used."),
                            {Game->Name, existing->Name, known->Crc, romName, crc});
                    if (UiHooks().MessageDlg(text, TMsgDlgType::mtWarning, mbOK | mbYesToAll) == mrYesToAll)
                        games.ClashYesToAll = true;
                }
            }
            // Another clone may list this very rom under the name: the merged set then
            // holds the two listings as one, under the name that one has there.
            for (const TClone* clone : Game->Clones) {
                TCloneRom* other = clone->CloneRoms.FindByName(romName, hash);
                if (other != nullptr && other->Rom->Crc == crc) {
                    rom = other->Rom;
                    sameRom = other;
                    break;
                }
            }
            if (rom == nullptr) {
                // Two roms of one name in this clone's own set: the newcomer is renamed
                // in every mode. Otherwise each clone's set keeps the name, and only the
                // game's one set needs another for it.
                if (own != nullptr) {
                    // A name no clone of the game uses: this clone has no listing of it.
                    renamed = FreeCopyName(*Game, std::string(romName));
                    romName = renamed;
                    hash = TCloneRom::HashName(romName);
                    own = nullptr;
                } else {
                    mergedSetName = FreeCopyName(*Game, std::string(romName));
                }
            }
        }
        if (rom == known) sameRom = existing;
    }

    // Blank CRCs are not looked up: roms without a CRC are not one content.
    if (rom == nullptr && crc != kNoDumpCrc && crc != kBlankCrc) {
        rom = games.CrcList.FindRom(crc, size, bd.CheckSize);
        if (rom == nullptr && games.CrcList.MayHoldComplementOf(crc)) {
            rom = games.CrcList.FindRom(ComplementCrcFast(crc), size, bd.CheckSize);
            if (rom != nullptr) rom->Kind = rkBothCrcs;
        }
    }
    if (rom == nullptr) {
        rom = games.NewRom(crc, size);
        if (crc == kBlankCrc) rom->MatchCount = 1;  // nothing to find: counts as found
        rom->Kind = crc == kNoDumpCrc ? rkNoDump : rkKnown;
        games.CrcList.AddRom(crc, rom);
        if (crc != kNoDumpCrc && crc != kBlankCrc) ++bd.RomCount;
    }

    TCloneRom* result = own;
    if (result == nullptr) {
        // The name is most often stored already, by the listing it repeats or merges.
        TStoredText storedName;
        if (existing != nullptr && existing->Name == romName)
            storedName = existing->Name;
        else if (source != nullptr && source->Name == romName)
            storedName = source->Name;
        else
            storedName = games.StoreText(romName);
        result = games.NewCloneRom(storedName, hash, crc, rom, this);
        CloneRoms.Add(result, games.Pointers());
        rom->Owners.Add(result, games.Pointers());
        if (const TCloneRom* alias = sameRom != nullptr ? sameRom->MergedSetAlias() : nullptr) {
            result->SetMergedSetAlias(games.NewCloneRom(alias->Name, alias->NameHash, crc, rom, this));
        } else if (!mergedSetName.empty()) {
            result->SetMergedSetAlias(games.NewCloneRom(mergedSetName, crc, rom, this));
        }
    }

    // (A merge that names nothing leaves a listing met before as it was.)
    if (source != nullptr || (!merge.empty() && Game->ResourceGame != nullptr)) {
        result->MergedFrom = source;
        if (TCloneRom* alias = result->MergedSetAlias()) alias->MergedFrom = result->MergedFrom;
    }
    return result;
}

void TClone::ListRoms(TCloneRomsList& list, bool needed) const {
    list.Clear();
    const TRomsBd& bd = RomsBd();
    if (bd.Split) {
        for (TCloneRom* cloneRom : CloneRoms) {
            const bool resource = cloneRom->IsResourceRom();
            if (!needed) {
                if (!bd.ShowMerged && bd.MergeRoms && cloneRom->MergedFrom && !resource) continue;
                if (!bd.ShowResources && resource) continue;
            } else {
                if (bd.MergeResources && resource) continue;
                if (bd.MergeRoms && cloneRom->MergedFrom) continue;
            }
            list.Add(cloneRom);
        }
        return;
    }

    if (!IsParent) return;
    // The whole game in one set: every unmerged listing, one per name.
    std::vector<TCloneRom*>& items = list.Items();
    bool holes = false;
    for (const TClone* clone : Game->Clones) {
        for (TCloneRom* cloneRom : clone->CloneRoms) {
            if (cloneRom->IsMerged()) continue;
            TCloneRom* candidate = cloneRom;
            const uint8_t kind = candidate->Rom->Kind;
            if (kind == rkConfirmed || kind == rkNoDump) {
                for (TCloneRom* owner : candidate->Rom->Owners) {
                    if (owner->Clone->Game == Game && owner->Name == candidate->Name &&
                        owner->GetCrcState() == csNormal) {
                        candidate = owner;
                        break;
                    }
                }
            }
            candidate = candidate->InSet();
            size_t found = items.size();
            for (size_t i = 0; i < items.size(); ++i) {
                if (items[i] != nullptr && items[i]->NameHash == candidate->NameHash &&
                    SameText(items[i]->Name, candidate->Name)) {
                    found = i;
                    break;
                }
            }
            if (found == items.size()) {
                items.push_back(candidate);
            } else if (bd.NameClash && candidate->Clone->IsParent) {
                items[found] = nullptr;  // removed; compacted below so that order is kept
                holes = true;
                items.push_back(candidate);
            }
        }
    }
    if (holes) items.erase(std::remove(items.begin(), items.end(), nullptr), items.end());
}

TStoredText TClone::GetDisplayName() const { return RomsBd().Split ? Name : Game->Name; }

TStoredText TClone::GetDisplayDescription() const {
    return RomsBd().Split ? Description : Game->Description;
}

const TStatusCache& TClone::Status() const {
    const TRomsBd& bd = RomsBd();
    if (cache_.valid(bd)) return cache_;
    TCloneRomsList& list = bd.scratch_;
    ListRoms(list, false);
    TStatusCache c;
    c.isComplete = true;
    for (const TCloneRom* cloneRom : list) {
        const int state = cloneRom->GetCrcState();
        if (state == csBadDump || state == csNoDump) c.hasBadDumps = true;
        if (cloneRom->Rom->MatchCount > 0)
            c.hasFoundRoms = true;
        else
            c.isComplete = false;
        if (cloneRom->Rom->Size > 0) c.size += cloneRom->Rom->Size;  // unknown sizes count 0
    }
    c.count = static_cast<int>(list.Count());
    c.status = !c.hasFoundRoms ? 0 : c.isComplete ? 2 : 1;
    if (c.hasBadDumps) c.status += kStatusBadDumps;
    c.stamp(bd);
    list.Clear();
    cache_ = c;
    return cache_;
}

int TClone::GetStatus() const { return Status().status; }
int64_t TClone::GetSize() const { return Status().size; }
int TClone::GetRomCount() const { return Status().count; }
bool TClone::IsComplete() const { return Status().isComplete; }
bool TClone::HasBadDumps() const { return Status().hasBadDumps; }
bool TClone::HasFoundRoms() const { return Status().hasFoundRoms; }

// ---- TGame --------------------------------------------------------------------------

TGame::TGame(TStoredText name, TStoredText description, bool isResource, TGamesList* gamesList)
    : Name(name), Description(description), IsResource(isResource), GamesList(gamesList) {}

TRomsBd& TGame::RomsBd() const { return *GamesList->RomsBd; }

TClone* TGame::AddClone(std::string_view name, std::string_view description) {
    // A clone name is one clone in the whole database, whichever game named it first.
    if (TClone* known = GamesList->AllClones.Find(name)) return known;
    TClone* clone = GamesList->NewClone(name, description, this);
    noDumpsValid_ = false;
    clone->IsParent = name == Name;
    Clones.Add(clone);
    GamesList->AllClones.Add(clone);
    ++RomsBd().CloneCount;
    return clone;
}

const std::vector<TCloneRom*>& TGame::NoDumpListings() const {
    if (!noDumpsValid_) {
        noDumps_.clear();
        for (const TClone* clone : Clones)
            for (TCloneRom* listing : clone->CloneRoms)
                if (listing->GetCrcState() == csNoDump) noDumps_.push_back(listing);
        noDumpsValid_ = true;
    }
    return noDumps_;
}

TClone* TGame::GetParentClone() const {
    for (TClone* clone : Clones)
        if (clone->IsParent) return clone;
    return nullptr;
}

void TGame::ListClones(TCloneItems& list) const {
    list.clear();
    ForEachShownClone([&](TClone* clone) { list.emplace_back(clone->GetDisplayName(), clone); });
}

const TStatusCache& TGame::Status() const {
    const TRomsBd& bd = RomsBd();
    if (cache_.valid(bd)) return cache_;
    TStatusCache c;
    c.isComplete = true;
    ForEachShownClone([&](const TClone* clone) {
        if (clone->HasBadDumps()) c.hasBadDumps = true;
        if (clone->HasFoundRoms()) c.hasFoundRoms = true;
        if (!clone->IsComplete()) c.isComplete = false;
        c.size += clone->GetSize();
        ++c.count;
    });
    c.status = (c.hasFoundRoms && !c.isComplete) ? 1 : c.isComplete ? 2 : 0;
    if (c.hasBadDumps) c.status += kStatusBadDumps;
    c.stamp(bd);
    cache_ = c;
    return cache_;
}

int TGame::GetStatus() const { return Status().status; }
int64_t TGame::GetSize() const { return Status().size; }
int TGame::GetCloneCount() const { return Status().count; }
bool TGame::IsComplete() const { return Status().isComplete; }
bool TGame::HasBadDumps() const { return Status().hasBadDumps; }
bool TGame::HasFoundRoms() const { return Status().hasFoundRoms; }

// ---- TGamesList ---------------------------------------------------------------------

TGamesList::TGamesList(TRomsBd* romsBd) : RomsBd(romsBd) {}

TGame* TGamesList::AddGame(std::string_view name, std::string_view description, bool isResource,
                           std::string_view romOf) {
    if (TGame* known = games_.Find(name)) return known;
    const TStoredText storedName = texts_.Store(name);
    const TStoredText storedDescription = description == name ? storedName : texts_.Store(description);
    TGame* game = gamePool_.Emplace(storedName, storedDescription, isResource, this);
    games_.Add(game);
    if (!isResource && !romOf.empty()) {
        const TClone* clone = AllClones.Find(romOf);
        if (clone != nullptr && clone->Game->IsResource) game->ResourceGame = clone->Game;
    }
    return game;
}

TRom* TGamesList::FindRomByCrc(std::string_view crc, int64_t size) const {
    if (crc == kBlankCrc || crc == kNoDumpCrc) return nullptr;
    const bool checkSize = RomsBd->CheckSize;
    if (TRom* rom = CrcList.FindRom(crc, size, checkSize)) return rom;
    if (!CrcList.MayHoldComplementOf(crc)) return nullptr;
    return CrcList.FindRom(ComplementCrcFast(crc), size, checkSize);
}

void TGamesList::Clear() {
    CrcList.Clear();
    aliases_.clear();
    aliases_.shrink_to_fit();
    AllClones.Clear();
    games_.Clear();
    cloneRomPool_.Clear();
    romPool_.Clear();
    clonePool_.Clear();
    gamePool_.Clear();
    pointers_.Clear();
    texts_.Clear();
    blocks_.Clear();
}

TClone* TGamesList::NewClone(std::string_view name, std::string_view description, TGame* game) {
    // A parent's texts are most often its game's.
    const TStoredText storedName = name == game->Name ? game->Name : texts_.Store(name);
    const TStoredText storedDescription = description == game->Description ? game->Description
                                          : description == name             ? storedName
                                                                            : texts_.Store(description);
    return clonePool_.Emplace(storedName, storedDescription, game);
}

TCloneRom* TGamesList::NewCloneRom(std::string_view name, std::string_view crc, TRom* rom, TClone* clone) {
    return NewCloneRom(texts_.Store(name), TCloneRom::HashName(name), crc, rom, clone);
}

TCloneRom* TGamesList::NewCloneRom(TStoredText name, uint32_t nameHash, std::string_view crc, TRom* rom,
                                   TClone* clone) {
    // Listings of one rom content mostly give it under the rom's own CRC text.
    const TStoredText storedCrc = crc == rom->Crc ? rom->Crc : texts_.Store(crc);
    return cloneRomPool_.Emplace(name, storedCrc, rom, clone, nameHash);
}

void TGamesList::Settle() {
    CrcList.ShrinkToFit();
    // Lists packed by an earlier call stay where they are.
    auto unpacked = [](const TCloneRomRun& run) { return run.Packed() ? 0 : run.Count(); };
    size_t total = 0;
    for (size_t i = 0; i < clonePool_.Count(); ++i) total += unpacked(clonePool_[i]->CloneRoms);
    for (size_t i = 0; i < romPool_.Count(); ++i) total += unpacked(romPool_[i]->Owners);
    if (total == 0) return;
    auto* to = static_cast<TCloneRom**>(blocks_.Take(total * sizeof(TCloneRom*)));
    for (size_t i = 0; i < clonePool_.Count(); ++i) to = clonePool_[i]->CloneRoms.PackInto(to);
    for (size_t i = 0; i < romPool_.Count(); ++i) to = romPool_[i]->Owners.PackInto(to);
    pointers_.Clear();
}

uint32_t TGamesList::AddAlias(TCloneRom* alias) {
    aliases_.push_back(alias);
    return static_cast<uint32_t>(aliases_.size());
}

TRom* TGamesList::NewRom(std::string_view crc, int64_t size) { return romPool_.Emplace(texts_.Store(crc), size, this); }

// ---- TRomsBd ------------------------------------------------------------------------

TRomsBd::TRomsBd() : datafile_(std::make_unique<TDatafile>()), games_(std::make_unique<TGamesList>(this)) {
    SetAbort(false);
}

TRomsBd::~TRomsBd() = default;

const std::string& TRomsBd::DatafileName() const { return datafile_->DataFileName(); }

void TRomsBd::SetDatafileName(const std::string& name) {
    TBusyCursor busy;
    Clear();
    datafile_->SetDataFileName(name);
}

void TRomsBd::SetAbort(bool value) {
    abort_ = value;
    datafile_->Abort = value;
}

void TRomsBd::LoadDatabase() {
    TBusyCursor busy;
    Clear();
    datafile_->OnProgress = OnProgress;
    datafile_->OnInfos = OnInfos;
    datafile_->OnLog = OnLog;
    datafile_->LoadFromFile();
    Build();
    ReleaseDatafileItems();
}

void TRomsBd::ReleaseDatafileItems() {
    datafile_->Clear();
    games_->Settle();
}

void TRomsBd::Clear() {
    games_->Clear();
    lastLine_ = TLastLine();
    RecalculateStatus();
    TotalSize = 0;
    GamesComplete = GamesMissing = GamesPartial = 0;
    ClonesComplete = ClonesMissing = ClonesPartial = 0;
    RomCount = CloneCount = GameCount = 0;
    NameClash = false;
}

void TRomsBd::RecalculateStatus() {
    DoInfos(_("Calculating files status..."));
    ++generation_;
    UpdateStatistics();
}

void TRomsBd::UpdateStatistics() {
    TotalSize = 0;
    GamesComplete = GamesMissing = GamesPartial = 0;
    ClonesComplete = ClonesMissing = ClonesPartial = 0;
    // Each set is counted once, by its status: an empty set is complete or missing as
    // its status says, never both.
    auto count = [](int status, int32_t& complete, int32_t& missing, int32_t& partial) {
        switch (status & 3) {
            case 0: ++missing; break;
            case 1: ++partial; break;
            default: ++complete; break;
        }
    };
    for (const TGame* game : *games_) {
        TotalSize += game->GetSize();
        count(game->GetStatus(), GamesComplete, GamesMissing, GamesPartial);
        game->ForEachShownClone(
            [&](const TClone* clone) { count(clone->GetStatus(), ClonesComplete, ClonesMissing, ClonesPartial); });
    }
    GameCount = static_cast<int32_t>(games_->Count());
    statsSplit_ = Split;
    statsMergeRoms_ = MergeRoms;
}

int64_t TRomsBd::GetTotalSize() {
    if (Split != statsSplit_ || MergeRoms != statsMergeRoms_) UpdateStatistics();
    return TotalSize;
}

TClone* TRomsBd::FindClone(std::string_view name) const {
    TClone* clone = games_->AllClones.Find(name);
    if (clone != nullptr && !Split && !clone->IsParent) return nullptr;
    return clone;
}

void TRomsBd::ListClones(TCloneItems& list) const {
    list.clear();
    for (TClone* clone : games_->AllClones)
        if (Split || clone->IsParent) list.emplace_back(clone->GetDisplayName(), clone);
}

void TRomsBd::ListGameRoms(std::string_view name, TCloneRomsList& list) const {
    list.Clear();
    const TClone* clone = nullptr;
    if (Split) {
        clone = games_->AllClones.Find(name);
    } else if (const TGame* game = games_->FindGame(name)) {
        clone = game->GetParentClone();
    }
    if (clone != nullptr) clone->ListRoms(list, true);
}

void TRomsBd::FindRomForFile(std::string_view setName, std::string_view romName, std::string_view fileCrc,
                             int64_t fileSize, bool attach, TCloneRom*& cloneRom, TRom*& rom, TRomFile* file) {
    FindRomForFile(FindSetForFile(setName), FileNameViewAnySep(romName), fileCrc, fileSize, attach, cloneRom, rom,
                   file);
}

TClone* TRomsBd::FindSetForFile(std::string_view setName) const {
    TClone* clone = games_->AllClones.Find(setName);
    if (clone != nullptr && !Split && !clone->IsParent) clone = clone->Game->GetParentClone();
    return clone;
}

void TRomsBd::FindRomForFile(TClone* clone, std::string_view name, std::string_view fileCrc, int64_t fileSize,
                             bool attach, TCloneRom*& cloneRom, TRom*& rom, TRomFile* file) {
    cloneRom = nullptr;
    rom = nullptr;
    // A listing's name is most often spelt as the file's: compared as bytes first.
    const auto sameName = [&name](const TCloneRom* listing) {
        return listing->Name == name || SameText(listing->Name, name);
    };

    // A rom without a good dump is known by its name alone.
    const uint32_t hash = TCloneRom::HashName(name);
    if (clone != nullptr && clone->Game->HasBadDumps()) {
        for (TCloneRom* listing : clone->Game->NoDumpListings()) {
            if (listing->NameHash == hash && sameName(listing)) {
                cloneRom = listing;
                rom = listing->Rom;
                if (attach) rom->AttachFile(fileCrc, fileSize, file);
                return;
            }
        }
    }

    rom = games_->FindRomByCrc(fileCrc, fileSize);
    if (rom == nullptr) return;
    for (TCloneRom* owner : rom->Owners) {
        if (owner->NameHash == hash && sameName(owner)) {
            cloneRom = owner;
            break;
        }
    }
    // Attaching confirms which CRC of a bad-dump pair is good; a plain lookup (the scan
    // window's) leaves the rom as it is.
    if (attach) rom->AttachFile(fileCrc, fileSize, file);
}

void TRomsBd::DoInfos(const std::string& text) { ReportInfos(OnInfos, text); }

void TRomsBd::DoProgress(int64_t position, int64_t maximum) { progress_.Report(OnProgress, position, maximum); }

void TRomsBd::ReportItemError(const std::string& message) {
    if (++itemErrors_ <= kMaxItemErrorBoxes) UiHooks().MessageDlg(message, TMsgDlgType::mtError, mbOK);
}

std::pair<TGame*, TClone*> TRomsBd::GameAndClone(const TDataFileItem& item, bool isResource) {
    // The lines of one game follow each other. A name must give the game or clone the
    // line before got for the same bytes: nothing is renamed or dropped while building.
    TLastLine& last = lastLine_;
    if (last.game == nullptr || item.ParentName != last.parentName) {
        last.clone = nullptr;
        last.game = games_->AddGame(item.ParentName, item.ParentDescription, isResource, item.RomOf);
        last.parentName = item.ParentName;
    }
    if (last.clone == nullptr || item.GameName != last.gameName) {
        last.clone = last.game->AddClone(item.GameName, item.GameDescription);
        last.gameName = item.GameName;
    }
    return {last.game, last.clone};
}

void TRomsBd::AddItem(const TDataFileItem& item, bool isResource) {
    TClone* clone = GameAndClone(item, isResource).second;
    if (isResource) {
        clone->AddRom(item.Crc, item.RomName, item.Size, {}, {});
        clone->IsParent = true;
        return;
    }
    clone->AddRom(item.Crc, item.RomName, item.Size, item.RomOf, item.Merge);
}

void TRomsBd::Build() {
    games_->ClashYesToAll = false;
    itemErrors_ = 0;
    skippedItems_ = 0;
    droppedGames_.clear();
    try {
        BuildPasses();
    } catch (...) {
        FinishBuild();
        throw;
    }
    FinishBuild();
}

void TRomsBd::FinishBuild() {
    UpdateStatistics();
    DoInfos(_("Database loaded."));
}

void TRomsBd::BuildPasses() {
    DoInfos(_("Selecting games... pass 1"));
    lastLine_ = TLastLine();
    const TDataFileItems& resources = datafile_->ResourceItems;
    const TDataFileItems& items = datafile_->GameItems;
    const size_t total = resources.Count() + items.Count();
    // About half the lines of a datafile bring a rom content of their own.
    games_->CrcList.Reserve(total / 2);
    games_->AllClones.Reserve(total / 4);
    for (const TDataFileItem& item : resources) skippedItems_ += IsNamelessItem(item);
    for (const TDataFileItem& item : items) skippedItems_ += IsNamelessItem(item);
    LogUnsafeNames();

    for (const TDataFileItem& item : resources) {
        ProcessPendingMessages();
        if (IsNamelessItem(item)) continue;
        try {
            AddItem(item, true);
        } catch (const std::exception& e) {
            ReportItemError(e.what());
        }
    }

    const int64_t count = static_cast<int64_t>(items.Count());
    // The percentage changes only every hundredth of the lines: the lines between are
    // not reported, which they would not be anyway.
    int64_t nextProgress = 0;
    auto step = [&](int64_t i) {
        if (i >= nextProgress) {
            DoProgress(i, count - 1);
            nextProgress = NextPercentAt(i, count - 1);
        }
        if (abort_) {
            Clear();
            SetAbort(false);
            throw romsbd::EAbortDataFileLoading();
        }
        ProcessPendingMessages();
    };

    // The lines of a game name the same romof: its clone is looked up once a run. A clone
    // found stays; a name not found is looked up again once clones were added.
    std::string_view lastRomOf;
    const TClone* lastFrom = nullptr;
    size_t clonesAtLookup = SIZE_MAX;
    auto romOfClone = [&](std::string_view romOf) {
        if (romOf != lastRomOf || (lastFrom == nullptr && clonesAtLookup != games_->AllClones.Count())) {
            lastRomOf = romOf;
            lastFrom = games_->AllClones.Find(romOf);
            clonesAtLookup = games_->AllClones.Count();
        }
        return lastFrom;
    };

    // Pass 1: every line that takes nothing from another set, except from a resource
    // set, so that pass 2 finds the roms that merged lines refer to.
    for (int64_t i = 0; i < count; ++i) {
        step(i);
        const TDataFileItem item = items.GetItem(static_cast<size_t>(i));
        if (!item.Merge.empty()) continue;
        if (!item.RomOf.empty()) {
            const TClone* from = romOfClone(item.RomOf);
            if (from == nullptr || !from->Game->IsResource) continue;
        }
        if (IsNamelessItem(item)) continue;
        try {
            AddItem(item, false);
        } catch (const std::exception& e) {
            ReportItemError(e.what());
        }
    }

    DoInfos(_("Selecting games... pass 2"));
    nextProgress = 0;
    for (int64_t i = 0; i < count; ++i) {
        step(i);
        const TDataFileItem item = items.GetItem(static_cast<size_t>(i));
        if (item.Merge.empty() && item.RomOf.empty()) continue;
        if (IsNamelessItem(item)) continue;
        auto [game, clone] = GameAndClone(item, false);
        clone->AddRom(item.Crc, item.RomName, item.Size, item.RomOf, item.Merge);
        if (game->ResourceGame == nullptr && !item.RomOf.empty()) {
            const TClone* from = romOfClone(item.RomOf);
            if (from != nullptr && from->Game->IsResource) game->ResourceGame = from->Game;
        }
    }

    // A game whose every line names a clone of another game has nothing of its own;
    // nothing could show or match it.
    games_->RemoveGamesIf([&](const TGame* game) {
        if (!game->Clones.Empty()) return false;
        droppedGames_.emplace_back(game->Name);
        return true;
    });
    for (const TGame* game : *games_)
        if (game->GetParentClone() == nullptr) game->Clones[0]->IsParent = true;

    ReportDataWarnings();
}

void TRomsBd::LogUnsafeNames() {
    // Such sets load and show; the repairs refuse their names whenever one would become
    // a path. Each name is logged once, however many lines carry it.
    std::unordered_set<std::string_view> logged;
    const auto check = [&](std::string_view name, bool innerPath) {
        if (name.empty() || IsSafeName(name, innerPath) || !logged.insert(name).second) return;
        if (OnLog) OnLog(_("Datafile: ") + UnsafeNameMessage(name, innerPath));
    };
    for (const TDataFileItems* list : {&datafile_->ResourceItems, &datafile_->GameItems}) {
        // The set and game names repeat on every line of a game: each run is checked once.
        std::string_view parent, game;
        bool first = true;
        for (const TDataFileItem& item : *list) {
            if (first || item.ParentName != parent) check(item.ParentName, false);
            if (first || item.GameName != game) check(item.GameName, false);
            check(item.RomName, true);
            parent = item.ParentName;
            game = item.GameName;
            first = false;
        }
    }
}

void TRomsBd::ReportDataWarnings() {
    if (itemErrors_ > kMaxItemErrorBoxes)
        UiHooks().MessageDlg(Fmt(_("%1 more errors were found in the datafile."),
                                 {std::to_string(itemErrors_ - kMaxItemErrorBoxes)}),
                             TMsgDlgType::mtError, mbOK);
    if (skippedItems_ > 0)
        UiHooks().MessageDlg(_("Data error in datafile !") + "\n" +
                                 Fmt(_("%1 rom lines without a set, game or rom name were skipped."),
                                     {std::to_string(skippedItems_)}),
                             TMsgDlgType::mtWarning, mbOK);
    if (!droppedGames_.empty()) {
        std::string names;
        for (size_t i = 0; i < droppedGames_.size() && i < kMaxNamesListed; ++i)
            names += (i ? ", " : "") + droppedGames_[i];
        if (droppedGames_.size() > kMaxNamesListed) names += ", ...";
        UiHooks().MessageDlg(_("Data error in datafile !") + "\n" +
                                 Fmt(_("%1 games list only clones of other games and were left out: %2"),
                                     {std::to_string(droppedGames_.size()), names}),
                             TMsgDlgType::mtWarning, mbOK);
    }
}

}  // namespace qm
