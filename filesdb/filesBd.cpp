#include "filesdb/filesBd.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>
#include <unordered_set>
#include <utility>

#include "archive/DiskInfo.h"
#include "archive/FilesTools.h"
#include "archive/archivemanager.h"
#include "archive/Trash.h"
#include "archive/stringsTools.h"
#include "catalogue/RomsBd.h"
#include "filesdb/CacheFileUnit.h"
#include "filesdb/CrcPlugIn.h"
#include "filesdb/SignatureCalculator.h"
#include "filesdb/filesBdScan.h"
#include "platform/Finally.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"

namespace qm {

namespace {

std::string ProgramFolder() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return "./";
    return WithSlash(exe.parent_path().string());
}

// The inner folders of a stored name, up to and including its last separator.
std::string_view InnerPath(std::string_view storedName) {
    // A plain walk back: find_last_of looks each character up in its set of two.
    size_t cut = storedName.size();
    while (cut > 0 && storedName[cut - 1] != '/' && storedName[cut - 1] != '\\') --cut;
    return storedName.substr(0, cut);
}

// The last component of a stored name (after its last "/" or "\\"), by the same plain
// walk back.
std::string_view LastNameOf(std::string_view storedName) { return storedName.substr(InnerPath(storedName).size()); }

// The eight lower-case digits of a CRC value, written into text.
std::string_view FormatCrc(uint32_t value, char (&text)[8]) {
    for (int i = 7; i >= 0; --i, value >>= 4) text[i] = "0123456789abcdef"[value & 15];
    return std::string_view(text, 8);
}

std::string CrcText(uint32_t value) {
    char text[8];
    return std::string(FormatCrc(value, text));
}

}  // namespace

std::string FileExtension(std::string_view name) { return std::string(FileExtensionView(name)); }

std::string_view FileExtensionView(std::string_view name) {
    // From the end to the last dot; a separator met first means the last component has
    // no extension.
    for (size_t at = name.size(); at > 0; --at) {
        const char c = name[at - 1];
        if (c == '/' || c == '\\') return {};
        if (c == '.') return name.substr(at - 1);
    }
    return {};
}

bool LowerCrcValue(std::string_view crc, uint32_t& value) {
    // Read for every rom file a load adds: one table look-up a digit, and one test of
    // them all at the end.
    static constexpr auto kDigits = [] {
        std::array<uint8_t, 256> digits{};
        digits.fill(0xff);
        for (int c = '0'; c <= '9'; ++c) digits[c] = static_cast<uint8_t>(c - '0');
        for (int c = 'a'; c <= 'f'; ++c) digits[c] = static_cast<uint8_t>(c - 'a' + 10);
        return digits;
    }();
    if (crc.size() != 8) return false;
    uint32_t result = 0;
    uint8_t bad = 0;
    for (const char c : crc) {
        const uint8_t digit = kDigits[static_cast<unsigned char>(c)];
        bad |= digit;
        result = (result << 4) | (digit & 15u);
    }
    if ((bad & 0xf0) != 0) return false;
    value = result;
    return true;
}

// ---- TRomFile -----------------------------------------------------------------------

// A collection holds a rom file per rom it holds, hundreds of thousands of them.
static_assert(sizeof(void*) != 8 || sizeof(TRomFile) <= 104, "a rom file grew");

TRomFile::TRomFile(TFile* file) : File(file) {}

TRomFile::~TRomFile() { Detach(); }

TRom* TRomFile::GetRom() const { return CloneRom != nullptr ? CloneRom->Rom : Rom; }

bool TRomFile::IsNoDump() const {
    const TRom* rom = GetRom();
    return rom != nullptr && (Crc() == kNoDumpCrc || rom->Kind == rkNoDump);
}

bool TRomFile::IsBadDump() const { return CloneRom != nullptr && CloneRom->GetCrcState() == csBadDump; }

std::string TRomFile::GetBaseName() const { return std::string(WithoutFileExt(Name())); }

std::string TRomFile::GetNameWithoutExt() const { return std::string(InnerPath(storedName_)) + GetBaseName(); }

int32_t TRomFile::GetDate() const {
    if (File != nullptr && !File->IsFolder()) return File->Date;
    return Date;
}

TRomFile::TApart& TRomFile::Apart() {
    if (!apart_) apart_ = std::make_unique<TApart>();
    return *apart_;
}

void TRomFile::SetApartText(std::string TApart::*field, std::string_view text) {
    if (apart_)
        (*apart_).*field = text;
    else if (!text.empty())
        Apart().*field = text;
}

const std::string& TRomFile::ApartText(std::string TApart::*field) const {
    static const std::string empty;
    return apart_ ? (*apart_).*field : empty;
}

const std::string& TRomFile::SuggestedExtension() const { return ApartText(&TApart::suggestedExtension); }
const std::string& TRomFile::ErrorText() const { return ApartText(&TApart::errorText); }
const std::string& TRomFile::Comment() const { return ApartText(&TApart::comment); }
void TRomFile::SetSuggestedExtension(std::string_view text) { SetApartText(&TApart::suggestedExtension, text); }
void TRomFile::SetComment(std::string_view text) { SetApartText(&TApart::comment, text); }
void TRomFile::StoreErrorText(std::string_view text) { SetApartText(&TApart::errorText, text); }

std::string_view TRomFile::Name() const {
    if (nameApart_) return apart_->name;
    return std::string_view(storedName_).substr(nameAt_);
}

std::string_view TRomFile::Extension() const {
    if (extensionApart_) return apart_->extension;
    return std::string_view(storedName_).substr(extensionAt_);
}

void TRomFile::SetStoredName(std::string_view storedName) {
    const std::string_view name = LastNameOf(storedName);
    if (storedName.size() > UINT16_MAX) {
        SetNames(std::string(storedName), name, FileExtensionView(name));
        return;
    }
    // Name and extension end the stored name: two offsets, and the buffer kept.
    nameAt_ = static_cast<uint16_t>(storedName.size() - name.size());
    extensionAt_ = static_cast<uint16_t>(storedName.size() - FileExtensionView(name).size());
    nameApart_ = false;
    extensionApart_ = false;
    storedName_.assign(storedName);
}

void TRomFile::SetNames(std::string storedName, std::string_view name, std::string_view extension) {
    // Either may be a view of the stored name it replaces: both are settled before it goes.
    const auto endsWith = [&storedName](std::string_view part) {
        return storedName.size() <= UINT16_MAX && std::string_view(storedName).ends_with(part);
    };
    const bool nameApart = !endsWith(name);
    const bool extensionApart = !endsWith(extension);
    if (nameApart) Apart().name = name;
    if (extensionApart) Apart().extension = extension;
    nameAt_ = nameApart ? 0 : static_cast<uint16_t>(storedName.size() - name.size());
    extensionAt_ = extensionApart ? 0 : static_cast<uint16_t>(storedName.size() - extension.size());
    nameApart_ = nameApart;
    extensionApart_ = extensionApart;
    storedName_ = std::move(storedName);
}

std::string TRomFile::Crc() const {
    if (crcApart_) return apart_ ? apart_->crc : std::string();
    return CrcText(crc_);
}

uint64_t TRomFile::CrcDigest() const {
    if (!crcApart_) return crc_;
    return (uint64_t{1} << 32) ^ std::hash<std::string_view>{}(apart_ ? std::string_view(apart_->crc) : std::string_view());
}

void TRomFile::SetCrc(std::string_view crc) {
    crcApart_ = !LowerCrcValue(crc, crc_);
    if (crcApart_)
        Apart().crc = crc;
    else if (apart_)
        apart_->crc.clear();
}

void TRomFile::AttachTo(TRom* rom, std::string_view crc, int64_t size) {
    if (rom == nullptr || attachedRom_ != nullptr) return;
    rom->AttachFile(crc, size, this);
    attachedRom_ = rom;
    attachedSizeApart_ = size < 0 || size > UINT32_MAX;
    attachedSize_ = attachedSizeApart_ ? 0 : static_cast<uint32_t>(size);
    if (attachedSizeApart_) Apart().attachedSize = size;
    attachedCrcApart_ = !LowerCrcValue(crc, attachedCrc_);
    if (attachedCrcApart_) Apart().attachedCrc = crc;
}

void TRomFile::Detach() {
    if (attachedRom_ == nullptr) return;
    TRom* rom = attachedRom_;
    attachedRom_ = nullptr;
    const int64_t size = attachedSizeApart_ ? apart_->attachedSize : attachedSize_;
    if (attachedCrcApart_) {
        const std::string text = std::move(apart_->attachedCrc);
        apart_->attachedCrc.clear();
        rom->DetachFile(text, size, this);
        return;
    }
    rom->DetachFile(CrcText(attachedCrc_), size, this);
}

void TRomFile::SetError(const std::string& text) {
    StoreErrorText(text);
    Status = rsError;
    ErrorFlag = false;
    const bool known = GetRom() != nullptr;
    Detach();
    if (known && File != nullptr) File->Match();
}

void TRomFile::SetErrorText(const std::string& text) {
    StoreErrorText(text);
    ErrorFlag = true;
    if (File != nullptr) File->ErrorText = File->IsPlain() ? text : std::string();
}

std::string TRomFile::GetCorrectName() const {
    if (CloneRom == nullptr) return {};
    const TFilesBd* bd = File != nullptr ? File->FilesBd() : nullptr;
    const TCaseOptions option = bd != nullptr ? bd->RomFileCaseOptions : coDontCare;
    if (bd != nullptr && bd->PlugInSuggeredExtension) return ApplyCaseOption(CloneRom->Name + SuggestedExtension(), option);
    // The datafile's spelling is the rule: its extension stays as written when the file
    // has that extension; another one is taken in lower case.
    if (option == coDatabase && SameText(FileExtension(CloneRom->Name), Extension())) return CloneRom->Name;
    return ApplyCaseOption(RemoveFileExt(CloneRom->Name) + LowerCase(Extension()), option);
}

void TRomFile::Log(const std::string& text) const {
    if (File != nullptr) File->Log(text);
}

// ---- TRomFilesList ------------------------------------------------------------------

TRomFilesList::TKeyView TRomFilesList::KeyOf(std::string_view loweredKey) {
    TKeyView view;
    view.apart = !LowerCrcValue(loweredKey, view.value);
    if (view.apart) view.text = loweredKey;
    return view;
}

TRomFilesList::TKeyView TRomFilesList::KeyOf(const TEntry& entry) {
    TKeyView view;
    view.value = entry.key;
    view.apart = entry.keyApart;
    if (view.apart) view.text = entry.romFile->apart_->listKey;
    return view;
}

bool TRomFilesList::KeyLess(const TKeyView& a, const TKeyView& b) {
    // Eight lower-case hexadecimal digits sort as their values do.
    if (!a.apart && !b.apart) return a.value < b.value;
    char textA[8], textB[8];
    const auto text = [](const TKeyView& k, char (&buffer)[8]) { return k.apart ? k.text : FormatCrc(k.value, buffer); };
    return text(a, textA) < text(b, textB);
}

std::string TRomFilesList::Key(int index) const {
    const TEntry& entry = items_.at(static_cast<size_t>(index));
    if (entry.keyApart) return entry.romFile->apart_->listKey;
    return CrcText(entry.key);
}

int TRomFilesList::Add(std::unique_ptr<TRomFile> romFile, std::string_view key) {
    const bool lowered = std::none_of(key.begin(), key.end(), [](char c) { return LowerChar(c) != c; });
    TEntry entry;
    entry.keyApart = !LowerCrcValue(lowered ? key : std::string_view(LowerCase(key)), entry.key);
    if (entry.keyApart) romFile->Apart().listKey = LowerCase(key);
    entry.romFile = std::move(romFile);
    return Insert(std::move(entry));
}

int TRomFilesList::AddUnderCrc(std::unique_ptr<TRomFile> romFile) {
    // Its CRC is lower case: eight digits are kept as their value, any other text apart.
    if (romFile->crcApart_) {
        const std::string key = romFile->Crc();
        return Add(std::move(romFile), key);
    }
    TEntry entry;
    entry.key = romFile->crc_;
    entry.romFile = std::move(romFile);
    return Insert(std::move(entry));
}

int TRomFilesList::Insert(TEntry entry) {
    // Most files hold a few roms: room for them at once rather than growing by doubling.
    if (items_.capacity() == 0) items_.reserve(4);
    const TKeyView view = KeyOf(entry);
    auto it = std::upper_bound(items_.begin(), items_.end(), view,
                               [](const TKeyView& k, const TEntry& e) { return KeyLess(k, KeyOf(e)); });
    it = items_.insert(it, std::move(entry));
    return static_cast<int>(it - items_.begin());
}

std::unique_ptr<TRomFile> TRomFilesList::Extract(int index) {
    auto it = items_.begin() + index;
    std::unique_ptr<TRomFile> romFile = std::move(it->romFile);
    items_.erase(it);
    return romFile;
}

int TRomFilesList::IndexOf(std::string_view crc) const {
    // The keys are stored lower-cased. A search walks every file of every rom path, so a
    // key that is lower case already (as the callers' are) is looked up without a copy.
    const bool lowered = std::none_of(crc.begin(), crc.end(), [](char c) { return LowerChar(c) != c; });
    if (!lowered) {
        const std::string key = LowerCase(crc);
        return IndexOfKey(key);
    }
    return IndexOfKey(crc);
}

int TRomFilesList::IndexOfKey(std::string_view key) const {
    const TKeyView view = KeyOf(key);
    auto it = std::lower_bound(items_.begin(), items_.end(), view,
                               [](const TEntry& e, const TKeyView& k) { return KeyLess(KeyOf(e), k); });
    if (it == items_.end() || KeyLess(view, KeyOf(*it))) return -1;
    return static_cast<int>(it - items_.begin());
}

int TRomFilesList::IndexOfObject(const TRomFile* romFile) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i].romFile.get() == romFile) return static_cast<int>(i);
    return -1;
}

bool TRomFilesList::SameName(std::string_view a, std::string_view b) const {
    return CaseSensitive ? a == b : SameText(a, b);
}

bool TRomFilesList::PlugInSuggestedExtension() const {
    const TFilesBd* bd = owner_ != nullptr ? owner_->FilesBd() : nullptr;
    return bd != nullptr && bd->PlugInSuggeredExtension;
}

bool TRomFilesList::SameNameWithoutExt(std::string_view inner, std::string_view base, std::string_view name) const {
    return name.size() == inner.size() + base.size() && SameName(name.substr(0, inner.size()), inner) &&
           SameName(name.substr(inner.size()), base);
}

bool TRomFilesList::FitsName(const TRomFile& r, std::string_view inner, std::string_view base, std::string_view romName,
                            std::string_view nameWithoutExt, bool suggested) const {
    if (!SameNameWithoutExt(inner, base, nameWithoutExt) && !SameNameWithoutExt(inner, base, romName)) return false;
    if (!r.SuggestedExtension().empty()) return !suggested || SameName(r.SuggestedExtension(), r.Extension());
    return SameName(r.Name(), romName);
}

int TRomFilesList::FindByName(std::string_view romName, bool withPlaceholders) const {
    const std::string_view nameWithoutExt = WithoutFileExt(romName);
    const bool suggested = PlugInSuggestedExtension();
    for (size_t i = 0; i < items_.size(); ++i) {
        const TRomFile& r = *items_[i].romFile;
        if (!withPlaceholders && r.IsPlaceholder()) continue;
        if (FitsName(r, InnerPath(r.StoredName()), WithoutFileExt(r.Name()), romName, nameWithoutExt, suggested))
            return static_cast<int>(i);
    }
    return -1;
}

namespace {

// A hash of a name that letter case does not change, so that names SameName may find
// equal always share it; fed in pieces.
uint64_t NameHash(std::string_view text, uint64_t h = 14695981039346656037ull) {
    for (char c : text) {
        h ^= static_cast<unsigned char>(LowerChar(c));
        h *= 1099511628211ull;
    }
    return h;
}

}  // namespace

TRomFilesList::TNameIndex::TNameIndex(const TRomFilesList& list) : list_(list) {
    keys_.reserve(list.items_.size());
    for (size_t i = 0; i < list.items_.size(); ++i) {
        TRomFile* r = list.items_[i].romFile.get();
        if (r->IsPlaceholder()) continue;
        const std::string_view inner = InnerPath(r->StoredName());
        const std::string_view base = WithoutFileExt(r->Name());
        keys_.push_back({NameHash(base, NameHash(inner)), static_cast<uint32_t>(i),
                         static_cast<uint32_t>(NameHash(r->Name())), r, inner, base});
    }
    std::stable_sort(keys_.begin(), keys_.end(), [](const TKey& a, const TKey& b) { return a.hash < b.hash; });
}

TRomFile* TRomFilesList::TNameIndex::Find(std::string_view romName) const {
    // A rom file fits by its name without extension, equal to the wanted name with or
    // without its own: only the rom files of those two hashes can, the first in list
    // order wins.
    const std::string_view nameWithoutExt = WithoutFileExt(romName);
    const bool suggested = list_.PlugInSuggestedExtension();
    auto range = [this](uint64_t hash) {
        return std::equal_range(keys_.begin(), keys_.end(), TKey{hash, 0, 0, nullptr, {}, {}},
                                [](const TKey& a, const TKey& b) { return a.hash < b.hash; });
    };
    // The hash goes on byte by byte: the whole name's is the one without extension's
    // carried over the extension.
    const uint64_t withoutExtHash = NameHash(nameWithoutExt);
    const uint64_t wholeHash = NameHash(romName.substr(nameWithoutExt.size()), withoutExtHash);
    auto [a, aEnd] = range(withoutExtHash);
    auto [b, bEnd] = nameWithoutExt.size() == romName.size() ? std::pair{aEnd, aEnd} : range(wholeHash);
    // The rom files of one set often share their name without extension ("game.1a",
    // "game.2a"): the whole name's hash settles most of them without a comparison.
    const auto romHash = static_cast<uint32_t>(wholeHash);
    while (a != aEnd || b != bEnd) {
        const bool fromA = b == bEnd || (a != aEnd && a->order < b->order);
        const TKey& key = fromA ? *a++ : *b++;
        if (key.nameHash != romHash && key.romFile->SuggestedExtension().empty()) continue;
        if (!key.romFile->IsPlaceholder() &&
            list_.FitsName(*key.romFile, key.inner, key.base, romName, nameWithoutExt, suggested))
            return key.romFile;
    }
    return nullptr;
}

int TRomFilesList::IndexOfFileName(std::string_view name, bool withPlaceholders) const {
    for (size_t i = 0; i < items_.size(); ++i) {
        const TRomFile& r = *items_[i].romFile;
        if (!withPlaceholders && r.IsPlaceholder()) continue;
        if (SameName(r.StoredName(), name)) return static_cast<int>(i);
    }
    return -1;
}

int TRomFilesList::IndexOfNameWithoutExt(std::string_view name, bool withPlaceholders) const {
    for (size_t i = 0; i < items_.size(); ++i) {
        const TRomFile& r = *items_[i].romFile;
        if (!withPlaceholders && r.IsPlaceholder()) continue;
        if (SameNameWithoutExt(InnerPath(r.StoredName()), WithoutFileExt(r.Name()), name)) return static_cast<int>(i);
    }
    return -1;
}

int TRomFilesList::IndexOfRomFile(const TRom* rom, bool withPlaceholders) const {
    for (size_t i = 0; i < items_.size(); ++i) {
        const TRomFile& r = *items_[i].romFile;
        if (!withPlaceholders && r.IsPlaceholder()) continue;
        if (r.GetRom() == rom) return static_cast<int>(i);
    }
    return -1;
}

// ---- TFile --------------------------------------------------------------------------

TFile::TFile(TPath* path, uint8_t kind) : RomFiles(this), Path(path), Kind(kind) {}

TFile::~TFile() = default;

TFilesBd* TFile::FilesBd() const { return Path != nullptr ? Path->FilesBd() : nullptr; }

TRomsBd* TFile::RomsBd() const {
    const TFilesBd* bd = FilesBd();
    return bd != nullptr ? bd->RomsBd() : nullptr;
}

void TFile::Log(const std::string& text) const {
    if (Path != nullptr) Path->Log(text);
}

void TFile::Register(TRomFile* romFile, bool attach, std::string_view crc, std::string_view name, TSetMemo* memo) {
    if (attach) romFile->Detach();
    romFile->Rom = nullptr;
    TRomsBd* romsBd = RomsBd();
    if (romsBd == nullptr) return;
    TClone* clone;
    if (memo != nullptr && memo->file == this && memo->romsBd == romsBd) {
        clone = memo->clone;
    } else {
        clone = romsBd->FindSetForFile(IsPlain() ? Name : ShortName);
        if (memo != nullptr) *memo = TSetMemo{this, romsBd, clone};
    }
    TCloneRom* cloneRom = nullptr;
    TRom* rom = nullptr;
    // The lookup never registers by itself: the rom file records what it is attached to.
    romsBd->FindRomForFile(clone, name, crc, romFile->Size, false, cloneRom, rom, romFile);
    romFile->Rom = rom;
    if (attach) romFile->AttachTo(rom, crc, romFile->Size);
}

TRomFile* TFile::AddRomFile(std::string_view romName, std::string_view crc, int32_t date, int64_t size,
                            std::string_view suggestedExtension, TSetMemo* memo) {
    // Signatures arrive in either case from plug-ins and zips; the cache holds them in
    // lower case, so a fresh scan and a cached one must agree.
    std::string loweredCopy;
    std::string_view lowered = crc;
    if (std::any_of(crc.begin(), crc.end(), [](char c) { return LowerChar(c) != c; }))
        lowered = loweredCopy = LowerCase(crc);
    // Only a placeholder needs it, and a file being scanned has none.
    std::string complement;
    bool complementMade = false;
    TRomFile* romFile = nullptr;
    for (const auto& entry : RomFiles) {
        TRomFile* candidate = entry.romFile.get();
        if (!candidate->IsPlaceholder() || candidate->CloneRom == nullptr) continue;
        if (!std::exchange(complementMade, true)) complement = ComplementCrcFast(lowered);
        const TCloneRom& cr = *candidate->CloneRom;
        if (SameText(lowered, cr.Crc) || (!complement.empty() && SameText(complement, cr.Crc)) ||
            (romName == cr.Name && cr.GetCrcState() == csNoDump)) {
            romFile = candidate;
            break;
        }
    }
    std::unique_ptr<TRomFile> created;
    if (romFile != nullptr) {
        // A bad dump or the real dump of a missing rom fills its slot; it keeps its place
        // in the list under the CRC it was added with.
        romFile->Status = rsOk;
    } else {
        created = std::make_unique<TRomFile>(this);
        romFile = created.get();
        romFile->Status = rsNotSettled;
    }
    romFile->Size = size;
    romFile->SetCrc(lowered);
    romFile->SetSuggestedExtension(suggestedExtension);
    romFile->SetStoredName(romName);
    romFile->Date = date;
    // A new one goes in under the CRC it was just given.
    if (created) RomFiles.AddUnderCrc(std::move(created));

    const TPathsList* paths = Path != nullptr ? Path->Owner() : nullptr;
    // Name() is the stored name's last part, as it was just set.
    Register(romFile, paths != nullptr && paths->SubmitRoms, lowered, romFile->Name(), memo);

    if (TFilesBd* bd = FilesBd(); bd != nullptr && bd->OnCreateRomFile) bd->OnCreateRomFile(romFile);
    return romFile;
}

void TFile::RemoveRomFileAt(int index) {
    std::unique_ptr<TRomFile> romFile = RomFiles.Extract(index);
    if (TFilesBd* bd = FilesBd())
        bd->Retire(std::move(romFile));
    else
        romFile.reset();
}

void TFile::DropRomFile(TRomFile* romFile) {
    // By identity: two entries of one name (a damaged zip) are two rom files.
    const int index = RomFiles.IndexOfObject(romFile);
    if (index < 0) throw filesbd::EObjectNotFound(_("Object rom not found"));
    if (TFilesBd* bd = FilesBd(); bd != nullptr && bd->OnRemoveRomFile) bd->OnRemoveRomFile(romFile);
    RemoveRomFileAt(RomFiles.IndexOfObject(romFile));
}

void TFile::SetError(const std::string& text) {
    ErrorText = text;
    while (!RomFiles.Empty()) DropRomFile(RomFiles[0]);
}

void TFile::SubmitRomFiles(bool attach) {
    TSetMemo memo;
    for (const auto& entry : RomFiles) {
        TRomFile* romFile = entry.romFile.get();
        if (romFile->IsPlaceholder() || romFile->HasError()) continue;
        romFile->CloneRom = nullptr;
        romFile->Rom = nullptr;
        Register(romFile, attach, romFile->Crc(), LastNameOf(romFile->StoredName()), &memo);
    }
}

void TFile::DetachRomFiles() {
    for (const auto& entry : RomFiles) {
        TRomFile* romFile = entry.romFile.get();
        if (romFile->IsPlaceholder() || romFile->HasError()) continue;
        romFile->Detach();
    }
}

void TFile::ClearRomErrors() {
    const TPathsList* paths = Path != nullptr ? Path->Owner() : nullptr;
    const bool submit = paths != nullptr && paths->SubmitRoms;
    for (const auto& entry : RomFiles) {
        TRomFile* romFile = entry.romFile.get();
        if (!romFile->HasError() && !romFile->ErrorFlag) continue;
        // A flagged rom file was never withdrawn: AttachTo leaves it registered once.
        if (TRom* rom = romFile->GetRom(); rom != nullptr && submit) romFile->AttachTo(rom, rom->Crc, rom->Size);
        romFile->StoreErrorText({});
        romFile->Status = rsNotSettled;
        romFile->ErrorFlag = false;
    }
}

bool TFile::TestArchive() {
    TFilesBd* bd = FilesBd();
    TArchiveManager* manager = bd != nullptr ? bd->ArchiveManager() : nullptr;
    if (manager == nullptr || !manager->IsArchive(FullPath)) return false;

    // The manager's own listeners come back however the test ends.
    const TFinally restore([manager, onError = manager->OnError, onPoll = manager->OnPoll]() mutable {
        manager->OnError = std::move(onError);
        manager->OnPoll = std::move(onPoll);
    });
    manager->OnError = [this](const std::string& archiveName, const std::string& entryName,
                              const std::string& message) { OnArchiveEntryError(archiveName, entryName, message); };
    // Cancel is heard between the entries of a long test.
    if (TPathsList* paths = Path != nullptr ? Path->Owner() : nullptr)
        manager->OnPoll = [paths] { paths->CheckAbort(); };

    ClearRomErrors();
    manager->TestArchive(FullPath);
    Match();
    return HasError() || HasRomErrors();
}

void TFile::OnArchiveEntryError(const std::string& /*archiveName*/, const std::string& entryName,
                                const std::string& message) {
    if (entryName.empty()) {
        SetError(message);
        return;
    }
    std::string name = entryName;
    std::replace(name.begin(), name.end(), '\\', '/');
    int index = RomFiles.IndexOfFileName(name, false);
    if (index < 0) index = RomFiles.FindByName(name, false);
    if (index >= 0) RomFiles[index]->SetError(message);
}

void TFile::UpdateDate() {
    const int32_t date = GetFileDosDateTime(FullPath);
    if (date == -1) return;
    Date = date;
    struct stat st;
    if (!IsFolder() && ::stat(FullPath.c_str(), &st) == 0) {
        Inode = static_cast<uint64_t>(st.st_ino);
        ChangeTime = ChangeTimeOf(st);
    }
    for (const auto& entry : RomFiles) {
        TRomFile* romFile = entry.romFile.get();
        if (romFile->IsPlaceholder()) continue;
        if (IsFolder()) {
            const int32_t memberDate = GetFileDosDateTime(FullPath + romFile->StoredName());
            romFile->Date = memberDate == -1 ? 0 : memberDate;
        } else {
            romFile->Date = Date;
        }
    }
}

int TFile::GetRomFileCount() const {
    int count = 0;
    for (const auto& entry : RomFiles)
        if (!entry.romFile->IsPlaceholder()) ++count;
    return count;
}

int64_t TFile::GetRomsSize() const {
    int64_t size = 0;
    for (const auto& entry : RomFiles)
        if (!entry.romFile->IsPlaceholder()) size += entry.romFile->Size;
    return size;
}

int TFile::GetMissingRomCount() const {
    return static_cast<int>(std::count_if(RomFiles.begin(), RomFiles.end(),
                                          [](const auto& e) { return e.romFile->Status == rsMissing; }));
}

int TFile::GetAvailableElsewhereCount() const {
    return static_cast<int>(std::count_if(RomFiles.begin(), RomFiles.end(),
                                          [](const auto& e) { return e.romFile->Status == rsAvailableElsewhere; }));
}

bool TFile::HasRomErrors() const {
    if (HasError()) return true;
    return std::any_of(RomFiles.begin(), RomFiles.end(), [](const auto& e) { return e.romFile->HasError(); });
}

bool TFile::HasRomErrorFlags() const {
    return std::any_of(RomFiles.begin(), RomFiles.end(), [](const auto& e) { return e.romFile->ErrorFlag; });
}

void TFile::ClearRomErrorFlags() {
    if (!HasRomErrorFlags()) return;
    for (const auto& entry : RomFiles) entry.romFile->ClearErrorFlag();
}

bool TFile::HasKnownRoms() const {
    return std::any_of(RomFiles.begin(), RomFiles.end(),
                       [](const auto& e) { return e.romFile->GetRom() != nullptr; });
}

bool TFile::HasBadRomNames() const {
    return std::any_of(RomFiles.begin(), RomFiles.end(), [](const auto& e) { return e.romFile->HasBadName(); });
}

bool TFile::HasBadCaseRoms() const {
    return std::any_of(RomFiles.begin(), RomFiles.end(), [](const auto& e) { return e.romFile->HasBadCase(); });
}

bool TFile::HasBadDumps() const {
    if (Clone != nullptr) return Clone->HasBadDumps();
    return Game != nullptr && Game->HasBadDumps();
}

int TFile::GetGameRomCount() const {
    const TRomsBd* romsBd = RomsBd();
    if (Clone == nullptr || romsBd == nullptr) return 0;
    TCloneRomsList list;
    romsBd->ListGameRoms(Clone->GetDisplayName(), list);
    return static_cast<int>(list.Count());
}

bool TFile::IsUnknown() const {
    const TFilesBd* bd = FilesBd();
    if (bd != nullptr && bd->GetSplit()) return Clone == nullptr;
    return Game == nullptr;
}

TCaseOptions TFile::GoverningCaseOption() const {
    const TFilesBd* bd = FilesBd();
    if (bd == nullptr) return coDontCare;
    return IsPlain() ? bd->RomFileCaseOptions : bd->FileCaseOptions;
}

std::string TFile::GetCorrectName() const {
    std::string name;
    if (!IsPlain()) {
        if (Clone != nullptr)
            name = Clone->GetDisplayName();
        else if (Game != nullptr)
            name = Game->Name;
        if (IsZip() && !name.empty()) name += ".zip";
    } else if (Clone != nullptr) {
        TCloneRomsList shown;
        Clone->ListRoms(shown, false);
        const TRomFile* first = RomFiles.Empty() ? nullptr : RomFiles[0];
        if (first != nullptr && shown.Count() == 1) {
            name = first->GetCorrectName();
        } else if (first != nullptr && shown.Count() > 1) {
            const TRom* rom = first->GetRom();
            for (const TCloneRom* cr : shown) {
                if (SameText(cr->Crc, first->Crc()) && rom != nullptr && cr->Rom->Size == rom->Size) {
                    name = cr->Name;
                    break;
                }
            }
        }
    } else if (Game != nullptr) {
        TCloneItems clones;
        Game->ListClones(clones);
        if (!clones.empty()) {
            TCloneRomsList shown;
            clones.front().second->ListRoms(shown, false);
            if (!shown.Empty()) name = shown[0]->Name;
        }
    }
    if (name.empty()) name = Name;
    if (!IsPlain()) name = ApplyCaseOption(name, GoverningCaseOption());
    return name;
}

bool TFile::HasBadName() const {
    const std::string correct = GetCorrectName();
    return !correct.empty() && !SameText(correct, Name);
}

bool TFile::HasBadCase() const {
    const std::string correct = GetCorrectName();
    if (!correct.empty() && !SameText(correct, Name)) return false;
    return GoverningCaseOption() != coDontCare && correct != Name;
}

// ---- TFilesList ---------------------------------------------------------------------

TFile* TFilesList::Find(std::string_view name) const {
    auto it = index_.find(name);
    return it == index_.end() ? nullptr : it->second;
}

int TFilesList::IndexOf(std::string_view name) const {
    const TFile* file = Find(name);
    return file == nullptr ? -1 : IndexOfObject(file);
}

int TFilesList::IndexOfObject(const TFile* file) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i].get() == file) return static_cast<int>(i);
    return -1;
}

TFile* TFilesList::Add(std::unique_ptr<TFile> file) {
    TFile* raw = file.get();
    index_.emplace(raw->Name, raw);
    items_.push_back(std::move(file));
    return raw;
}

std::unique_ptr<TFile> TFilesList::Extract(int index) {
    auto it = items_.begin() + index;
    std::unique_ptr<TFile> file = std::move(*it);
    items_.erase(it);
    auto found = index_.find(file->Name);
    if (found != index_.end() && found->second == file.get()) {
        index_.erase(found);
    } else {
        for (auto i = index_.begin(); i != index_.end(); ++i)
            if (i->second == file.get()) {
                index_.erase(i);
                break;
            }
    }
    return file;
}

std::vector<std::unique_ptr<TFile>> TFilesList::ExtractAll(const std::unordered_set<const TFile*>& files) {
    std::vector<std::unique_ptr<TFile>> out;
    if (files.empty()) return out;
    size_t kept = 0;
    for (std::unique_ptr<TFile>& item : items_) {
        if (files.count(item.get()) == 0) {
            items_[kept++] = std::move(item);
            continue;
        }
        auto found = index_.find(item->Name);
        if (found != index_.end() && found->second == item.get()) index_.erase(found);
        out.push_back(std::move(item));
    }
    items_.resize(kept);
    return out;
}

void TFilesList::Rename(TFile* file, const std::string& newName) {
    auto found = index_.find(file->Name);
    if (found != index_.end() && found->second == file) index_.erase(found);
    file->Name = newName;
    index_.emplace(newName, file);
}

void TFilesList::Clear() {
    index_.clear();
    items_.clear();
}

// ---- TPath --------------------------------------------------------------------------

TPath::TPath(TPathsList* owner) : cacheFile_(std::make_unique<TCacheFile>()), owner_(owner) {}

TPath::~TPath() {
    if (!path_.empty()) AllowTrashIn(path_);
}

TFilesBd* TPath::FilesBd() const { return owner_ != nullptr ? owner_->Owner : nullptr; }

void TPath::SetPath(const std::string& path) {
    // A rom path never holds a trash folder: what is trashed from it goes elsewhere.
    if (!path_.empty()) AllowTrashIn(path_);
    path_ = WithSlash(path);
    KeepTrashOutOf(path_);
}

void TPath::Log(const std::string& text) const {
    if (TFilesBd* bd = FilesBd()) bd->DoLog(text);
}

TFile* TPath::NewFile(const std::string& name, uint8_t kind, bool announce) {
    if (TFile* known = files_.Find(name)) return known;
    auto file = std::make_unique<TFile>(this, kind);
    file->Name = name;
    file->ShortName = kind == fkZip ? RemoveFileExt(name) : name;
    file->FullPath = path_ + name;
    if (kind == fkFolder) file->FullPath = WithSlash(file->FullPath);
    TFile* raw = files_.Add(std::move(file));
    if (TFilesBd* bd = FilesBd(); announce && bd != nullptr && bd->OnCreateFile) bd->OnCreateFile(raw);
    return raw;
}

void TPath::Load(bool rebuild) {
    if (rebuild) {
        ReadDiskInfo();
        while (!IsVolumeAvailable()) {
            const int answer = UiHooks().MessageDlg(Fmt(_("Insert disk '%1'."), {GetVolumeLabel()}),
                                                    TMsgDlgType::mtWarning, mbOK | mbCancel);
            if (answer != mrOk) return;
            ReadDiskInfo();
        }
    }
    if (files_.Empty() && cacheFile_->CacheFileExists()) LoadFromCache();
    Scan(rebuild);
    // The path is loaded whether or not its cache can be kept: an unwritable cache
    // only costs a full reading next time.
    try {
        SaveCache();
    } catch (const cachefile::EFileError& e) {
        Log(e.Message());
        if (owner_ != nullptr) owner_->TellCacheWriteFailure(e.Message());
    }
}

void TPath::DropFile(TFile* file) {
    Log("Delete file " + file->FullPath + " from bd");
    const int index = files_.IndexOfObject(file);
    if (index < 0) throw filesbd::EObjectNotFound(_("Object file not found."));
    TFilesBd* bd = FilesBd();
    if (bd != nullptr && bd->OnRemoveFile) bd->OnRemoveFile(file);
    Retire(files_.Extract(index));
}

void TPath::DropFiles(const std::vector<TFile*>& files) {
    if (files.empty()) return;
    TFilesBd* bd = FilesBd();
    std::unordered_set<const TFile*> gone;
    gone.reserve(files.size());
    // Every listener hears of every removal before any file leaves the list; the list
    // is then closed up in one pass, whatever way this is left.
    const TFinally closeUp([&] {
        for (std::unique_ptr<TFile>& owned : files_.ExtractAll(gone)) Retire(std::move(owned));
    });
    for (TFile* file : files) {
        Log("Delete file " + file->FullPath + " from bd");
        if (files_.Find(file->Name) != file && files_.IndexOfObject(file) < 0)
            throw filesbd::EObjectNotFound(_("Object file not found."));
        if (bd != nullptr && bd->OnRemoveFile) bd->OnRemoveFile(file);
        gone.insert(file);
    }
}

void TPath::Retire(std::unique_ptr<TFile> owned) {
    if (TFilesBd* bd = FilesBd())
        bd->Retire(std::move(owned));
    else
        owned.reset();
}

void TPath::ClearFiles() {
    TFilesBd* bd = FilesBd();
    // From the end: each removal is then a constant step.
    while (!files_.Empty()) {
        TFile* file = files_[files_.Count() - 1];
        if (bd != nullptr && bd->OnRemoveFile) bd->OnRemoveFile(file);
        Retire(files_.Extract(files_.Count() - 1));
    }
    files_.Clear();
    cacheFile_->Clear();
}

void TPath::MatchFiles() {
    for (int i = 0; i < files_.Count(); ++i) files_[i]->Match();
}

void TPath::ClearRomErrorFlags() {
    for (const auto& file : files_) file->ClearRomErrorFlags();
}

void TPath::ReadDiskInfo() { cacheFile_->ReadDiskInfo(); }
bool TPath::IsVolumeAvailable() const { return cacheFile_->IsVolumeAvailable(); }
bool TPath::IsReadOnly() const { return cacheFile_->IsReadOnly(); }
int TPath::GetDriveType() const { return cacheFile_->GetDriveType(); }
std::string TPath::GetVolumeLabel() const { return cacheFile_->GetVolumeLabel(); }
std::string TPath::GetVolumeSerial() const { return cacheFile_->GetVolumeSerial(); }

// ---- TPathsList ---------------------------------------------------------------------

TPathsList::TPathsList(TFilesBd* owner) : CachePath(ProgramFolder()), Owner(owner) {}

TPathsList::~TPathsList() = default;

void TPathsList::TellCacheWriteFailure(const std::string& message) {
    if (cacheWriteTold_) return;
    cacheWriteTold_ = true;
    UiHooks().MessageDlg(message, TMsgDlgType::mtWarning, mbOK);
}

TPath* TPathsList::AddPath(const std::string& pathText, const std::string& serialText, const std::string& labelText) {
    // One folder is one rom path however it is spelled: its files are never listed twice.
    const std::string path = WithSlash(AbsolutePath(pathText));
    std::string serial = serialText;
    std::string label = labelText;
    if (serial.empty() || label.empty()) {
        const TDiskInfo disk(path);
        if (disk.DriveType() == dtNoDrive) throw filesbd::EDiskNotFound(Fmt(_("Disk %1 not available"), {disk.Disk()}));
        // Only what is missing is measured: an unlabelled volume keeps the serial it was
        // given, so an absent disk is still recognised by it.
        const std::string driveSerial = disk.SerialNumberStr();
        if (serial.empty()) {
            serial = driveSerial;
            if (label.empty()) label = disk.VolumeLabel();
        } else if (label.empty() && SameText(serial, driveSerial)) {
            label = disk.VolumeLabel();
        }
    }
    const std::string lowered = LowerCase(serial);
    const std::string real = RealFolder(path);
    for (const auto& known : paths_)
        if (RealFolder(known->GetPath()) == real && SameText(known->GetVolumeSerial(), lowered)) return known.get();

    auto created = std::make_unique<TPath>(this);
    TCacheFile& cache = created->CacheFile();
    cache.CacheFolder = WithSlash(CachePath);
    if (Owner != nullptr && Owner->SignatureCalculator() != nullptr &&
        Owner->SignatureCalculator()->CrcPlugIn() != nullptr)
        cache.PlugInName = ExtractFileNameAnySep(Owner->SignatureCalculator()->CrcPlugIn()->FileName());
    created->SetPath(path);
    cache.Open(path, serial, label);
    paths_.push_back(std::move(created));
    return paths_.back().get();
}

void TPathsList::RemovePath(TPath* path) {
    for (auto it = paths_.begin(); it != paths_.end(); ++it) {
        if (it->get() != path) continue;
        std::unique_ptr<TPath> owned = std::move(*it);
        paths_.erase(it);
        if (Owner != nullptr)
            Owner->Retire(std::move(owned));
        return;
    }
}

int TPathsList::IndexOf(std::string_view pathText) const {
    for (size_t i = 0; i < paths_.size(); ++i)
        if (paths_[i]->GetPath() == pathText) return static_cast<int>(i);
    return -1;
}

void TPathsList::Clear() {
    while (!paths_.empty()) {
        std::unique_ptr<TPath> owned = std::move(paths_.back());
        paths_.pop_back();
        if (Owner != nullptr) Owner->Retire(std::move(owned));
    }
    if (Owner != nullptr && Owner->RomsBd() != nullptr) Owner->RomsBd()->RecalculateStatus();
}

void TPathsList::MatchAll() {
    for (const auto& path : paths_) path->MatchFiles();
}

void TPathsList::CheckAbort() {
    if (!Abort) return;
    Abort = false;
    throw filesbd::EAbortPathLoading();
}

// ---- TFilesBd -----------------------------------------------------------------------

TFilesBd::TFilesBd() : paths_(std::make_unique<TPathsList>(this)) {}

TFilesBd::~TFilesBd() {
    commandDepth_ = 0;
    paths_.reset();
    FreeRetired();
}

TPath* TFilesBd::AddPath(const std::string& path, const std::string& serial, const std::string& label) {
    return paths_->AddPath(path, serial, label);
}

void TFilesBd::ClearPaths() { paths_->Clear(); }

void TFilesBd::MatchAll() { paths_->MatchAll(); }

bool TFilesBd::GetSplit() const { return romsBd_ != nullptr && romsBd_->Split; }

void TFilesBd::SetArchiveManager(TArchiveManager* manager) {
    archiveManager_ = manager;
    if (manager != nullptr && manager->TempDir.empty() && !tempDir_.empty()) manager->SetTempDir(tempDir_);
}

void TFilesBd::SetTempDir(const std::string& value) {
    tempDir_ = value;
    if (archiveManager_ != nullptr) archiveManager_->SetTempDir(value);
}

void TFilesBd::SetCachePath(const std::string& value) {
    cachePath_ = value;
    paths_->CachePath = value;
}

void TFilesBd::SetCompressionLevel(int value) {
    if (value < 0 || value > 9) return;
    compressionLevel_ = value;
    if (archiveManager_ != nullptr) archiveManager_->SetCompressionLevel(value);
}

void TFilesBd::SetSubmitRoms(bool value) {
    submitRoms_ = value;
    paths_->SubmitRoms = value;
}

void TFilesBd::DoInfos(const std::string& text) { ReportInfos(OnInfos, text); }

void TFilesBd::DoLog(const std::string& text) {
    if (OnLog) OnLog(text);
}

void TFilesBd::DoProgress(int64_t position, int64_t total) {
    if (total == 0) {
        // Always raised, and not remembered as the last percentage.
        if (OnProgress) OnProgress(100);
        ProcessPendingMessages();
        return;
    }
    progress_.Report(OnProgress, position, total);
}

void TFilesBd::EndCommand() {
    if (commandDepth_ == 0 || --commandDepth_ > 0) return;
    // Runs from a scope's destructor, maybe while an exception unwinds: a failing
    // listener must not end the program, and the objects are freed either way.
    try {
        if (OnCommandEnd) OnCommandEnd();
    } catch (...) {
    }
    FreeRetired();
}

bool TFilesBd::DeferCacheSave(TPath* path) {
    if (cacheBatchDepth_ == 0) return false;
    if (std::find(unsavedPaths_.begin(), unsavedPaths_.end(), path) == unsavedPaths_.end())
        unsavedPaths_.push_back(path);
    return true;
}

void TFilesBd::EndCacheBatch() {
    if (cacheBatchDepth_ == 0 || --cacheBatchDepth_ > 0) return;
    std::vector<TPath*> unsaved;
    unsaved.swap(unsavedPaths_);
    // In path order, and only paths still listed (a closed path has no cache to keep).
    for (int i = 0; i < paths_->Count(); ++i) {
        TPath* path = paths_->GetPath(i);
        if (std::find(unsaved.begin(), unsaved.end(), path) != unsaved.end()) path->SaveCache();
    }
}

void TFilesBd::Retire(std::unique_ptr<TRomFile> romFile) {
    if (!romFile) return;
    romFile->Detach();
    if (InCommand())
        retiredRomFiles_.push_back(std::move(romFile));
}

void TFilesBd::Retire(std::unique_ptr<TFile> file) {
    if (!file) return;
    for (const auto& entry : file->RomFiles) entry.romFile->Detach();
    if (InCommand())
        retiredFiles_.push_back(std::move(file));
}

void TFilesBd::Retire(std::unique_ptr<TPath> path) {
    if (!path) return;
    for (const auto& file : path->Files())
        for (const auto& entry : file->RomFiles) entry.romFile->Detach();
    if (InCommand())
        retiredPaths_.push_back(std::move(path));
}

void TFilesBd::FreeRetired() {
    retiredRomFiles_.clear();
    retiredFiles_.clear();
    retiredPaths_.clear();
}

}  // namespace qm
