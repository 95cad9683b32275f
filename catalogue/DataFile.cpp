#include "catalogue/DataFile.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string_view>

#include <unistd.h>

#include "archive/FilesTools.h"
#include "archive/archivemanager.h"
#include "archive/qmZip.h"
#include "archive/stringsTools.h"
#include "catalogue/IniText.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"


namespace qm {

namespace {

constexpr char kSep = '\xAC';

std::string FilePart(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsPlainFile(const std::string& path) {
    TFileStat st;
    return Fs().Stat(path, st) == 0 && st.exists && !st.isDir;
}

int64_t SizeField(std::string_view text) {
    int64_t size = -1;
    if (!TryStrToInt64(text, size)) return -1;
    return size;
}

// One rom line by the layout in force, as views into the line.
TDataFileItem ParseRomLine(std::string_view line, bool layout190, std::vector<std::string_view>& f) {
    SplitFields(line, kSep, f);
    TDataFileItem item{FieldAt(f, 1), FieldAt(f, 2), FieldAt(f, 3), FieldAt(f, 4), FieldAt(f, 5), FieldAt(f, 6), -1, {}, {}};
    if (!layout190) {
        item.Size = SizeField(FieldAt(f, 7));
        item.RomOf = FieldAt(f, 8);
        item.Merge = FieldAt(f, 9);
    } else {
        if (FieldAt(f, 8) == "N") {
            item.RomOf = item.ParentName;
            item.Merge = item.RomName;
        }
        item.Size = SizeField(FieldAt(f, 9));
    }
    return item;
}

// A CRC field the rom database can use: eight hexadecimal digits, or blank (no CRC).
// Every rom line passes here: the usual case is settled by one table lookup a byte.
bool IsUsableCrc(std::string_view crc) {
    static constexpr auto kHex = [] {
        std::array<bool, 256> table{};
        for (const char c : std::string_view("0123456789abcdefABCDEF")) table[static_cast<unsigned char>(c)] = true;
        return table;
    }();
    if (crc.size() == 8) {
        bool hex = true;
        for (const char c : crc) hex &= kHex[static_cast<unsigned char>(c)];
        if (hex) return true;
    }
    return TrimView(crc).empty();
}

// Bad lines named one by one in the box and in the log; the rest are counted.
constexpr size_t kBadLinesShown = 10;
constexpr size_t kBadLinesLogged = 200;

bool IsSkipped(std::string_view line) {
    std::string_view t = TrimView(line);
    return t.empty() || t[0] == '#';
}

// A value written on one line of the file: a line break in it would start a line of
// its own (a section header, a key) and a separator byte would shift every field after
// it, so both become blanks.
std::string OneLine(std::string_view value, bool blankSeparator) {
    std::string out(value);
    for (char& c : out)
        if (c == '\r' || c == '\n' || (blankSeparator && c == kSep)) c = ' ';
    return out;
}

void AppendLine(std::string& out, std::string_view line) {
    out.append(line);
    out.append("\r\n");
}

// The comment keeps its line breaks (the header reader of an opened datafile reads
// every line of it), but none of its lines may look like a section header.
void AppendComment(std::string& out, std::string_view comment) {
    std::vector<std::string_view> lines;
    SplitLines(comment, lines);
    if (lines.empty()) lines.emplace_back();
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string line(lines[i]);
        if (i == 0) {
            AppendLine(out, "Comment=" + line);
            continue;
        }
        size_t first = line.find_first_not_of(" \t");
        if (first != std::string::npos && line[first] == '[') line[first] = '(';
        AppendLine(out, line);
    }
}

void AppendRomLine(std::string& out, const TDataFileItem& item) {
    const std::string_view fields[] = {item.ParentName, item.ParentDescription, item.GameName,
                                       item.GameDescription, item.RomName, item.Crc};
    for (std::string_view field : fields) {
        out.push_back(kSep);
        for (char c : field) out.push_back(c == '\r' || c == '\n' || c == kSep ? ' ' : c);
    }
    out.push_back(kSep);
    out.append(std::to_string(item.Size));
    for (std::string_view field : {std::string_view(item.RomOf), std::string_view(item.Merge)}) {
        out.push_back(kSep);
        for (char c : field) out.push_back(c == '\r' || c == '\n' || c == kSep ? ' ' : c);
    }
    out.push_back(kSep);
    out.append("\r\n");
}

}  // namespace

// ---- TDataFileItems -----------------------------------------------------------------

TDataFileItem TDataFileItems::View(const TRecord& r) const {
    TDataFileItem item;
    item.ParentName = Text(r.field[fParentName]);
    item.ParentDescription = Text(r.field[fParentDescription]);
    item.GameName = Text(r.field[fGameName]);
    item.GameDescription = Text(r.field[fGameDescription]);
    item.RomName = Text(r.field[fRomName]);
    item.Crc = Text(r.field[fCrc]);
    item.Size = r.size;
    item.RomOf = Text(r.field[fRomOf]);
    item.Merge = Text(r.field[fMerge]);
    return item;
}

TDataFileItems::TText TDataFileItems::Store(const TRecord& record, TField field, std::string_view value, bool lower) {
    auto same = [&](TText t) {
        if (t.length != value.size()) return false;
        if (value.empty()) return true;  // an empty view may carry no pointer at all
        const char* held = text_.data() + t.offset;
        if (!lower) return std::memcmp(held, value.data(), value.size()) == 0;
        for (size_t i = 0; i < value.size(); ++i)
            if (held[i] != LowerChar(value[i])) return false;
        return true;
    };
    if (!records_.empty() && same(records_.back().field[field])) return records_.back().field[field];
    for (int f = 0; f < field; ++f)
        if (same(record.field[f])) return record.field[f];
    if (text_.size() + value.size() > UINT32_MAX)
        throw datafile::EFileError(_("The datafile is too large to be read."));
    TText t{static_cast<uint32_t>(text_.size()), static_cast<uint32_t>(value.size())};
    if (lower) {
        for (char c : value) text_.push_back(LowerChar(c));
    } else {
        text_.append(value);
    }
    return t;
}

void TDataFileItems::Add(std::string_view parentName, std::string_view parentDescription, std::string_view gameName,
                         std::string_view gameDescription, std::string_view romName, std::string_view crc,
                         int64_t size, std::string_view romOf, std::string_view merge) {
    AddRecord(TDataFileItem{parentName, parentDescription, gameName, gameDescription, romName, crc, size, romOf, merge},
              false);
}

void TDataFileItems::AddRecord(const TDataFileItem& item, bool lowerCrc) {
    TRecord r;
    r.field[fParentName] = Store(r, fParentName, item.ParentName);
    r.field[fParentDescription] = Store(r, fParentDescription, item.ParentDescription);
    r.field[fGameName] = Store(r, fGameName, item.GameName);
    r.field[fGameDescription] = Store(r, fGameDescription, item.GameDescription);
    r.field[fRomName] = Store(r, fRomName, item.RomName);
    r.field[fCrc] = Store(r, fCrc, item.Crc, lowerCrc);
    r.field[fRomOf] = Store(r, fRomOf, item.RomOf);
    r.field[fMerge] = Store(r, fMerge, item.Merge);
    r.size = item.Size;
    records_.push_back(r);
}

void TDataFileItems::Clear() {
    records_.clear();
    records_.shrink_to_fit();
    text_.clear();
    text_.shrink_to_fit();
}

void TDataFileItems::Reserve(size_t n, size_t textBytes) {
    records_.reserve(n);
    text_.reserve(textBytes);
}

TDatafile::TDatafile() {
    try {
        TempDir = GetTempDirectory();
    } catch (const Exception&) {
        // Without the private folder the extraction still gets a fresh folder of its
        // own inside the system's temporary folder.
        TempDir = GetTempDirectoryBase();
    }
}

TDatafile::~TDatafile() { DeleteWorkFile(); }

void TDatafile::SetDataFileName(const std::string& name) {
    if (name.empty()) {
        dataFileName_.clear();
        return;
    }
    std::error_code ec;
    std::filesystem::path full = std::filesystem::absolute(name, ec);
    dataFileName_ = ec ? name : full.lexically_normal().string();
}

void TDatafile::Clear() {
    GameItems.Clear();
    ResourceItems.Clear();
}

void TDatafile::AddItem(std::string_view parentName, std::string_view parentDescription, std::string_view gameName,
                        std::string_view gameDescription, std::string_view romName, std::string_view crc,
                        int64_t size, std::string_view romOf, std::string_view merge, bool isResource) {
    (isResource ? ResourceItems : GameItems)
        .Add(parentName, parentDescription, gameName, gameDescription, romName, crc, size, romOf, merge);
}

std::string TDatafile::GetCrcPlugIn() const {
    return SignatureCalculator ? SignatureCalculator->CrcPlugInFileName() : std::string();
}

void TDatafile::DoProgress(int64_t position, int64_t maximum) { progress_.Report(OnProgress, position, maximum); }

void TDatafile::DoInfos(const std::string& text) { ReportInfos(OnInfos, text); }

void TDatafile::ClearForAbort() {
    Clear();
    Abort = false;
}

void TDatafile::DeleteWorkFile() {
    // Only a copy this object extracted itself is ever deleted: a plain datafile is read
    // where it lies and never named here.
    if (!workFileName_.empty()) Fs().Unlink(workFileName_);
    if (!workDir_.empty()) Fs().RemoveDir(workDir_);
    workFileName_.clear();
    workDir_.clear();
}

std::string TDatafile::ExtractFromArchive() {
    DoInfos(_("Unzipping datafile..."));
    TArchiveItems entries;
    ArchiveManager->GetFileList(dataFileName_, entries);
    const TArchiveItem* last = nullptr;
    for (const auto& entry : entries)
        if (EndsText(".dat", entry.Name)) last = &entry;
    if (!last) throw datafile::EFileNotFound(Fmt(_("Datafile not found in %1."), {dataFileName_}));

    // A fresh folder of our own, so that the extraction never replaces a file that was
    // there before, whatever folder TempDir names.
    std::string dir = TempDir.empty() ? GetTempDirectoryBase() : TempDir;
    if (dir.back() != '/') dir += '/';
    int err = 0;
    for (unsigned n = 0;; ++n) {
        std::string candidate = dir + "qm-datafile-" + std::to_string(::getpid()) + "-" + std::to_string(n);
        err = Fs().MakeDir(candidate);
        if (err == 0) {
            workDir_ = candidate + "/";
            break;
        }
        if (err != EEXIST || n > 1000)
            throw datafile::EFileError(Fmt(_("Cannot create folder %1: %2"), {candidate, SysErrorMessage(err)}));
    }
    // Only the last entry counts, so only that one is extracted. It lands without its
    // inner folder, so the working copy is named by its bare name.
    ArchiveManager->ExtractFile(dataFileName_, last->GetFullName(), workDir_, false);
    workFileName_ = workDir_ + last->Name;
    return workFileName_;
}

void TDatafile::LoadFromFile() {
    Clear();
    badLines_.clear();
    if (dataFileName_.empty()) return;
    if (!IsPlainFile(dataFileName_))
        throw datafile::EFileNotFound(Fmt(_("File %1 not found."), {dataFileName_}));
    DeleteWorkFile();

    std::string source;
    // Without a manager a zip cannot be opened, but it must not be read as text either.
    const bool isArchive = ArchiveManager ? ArchiveManager->IsArchive(dataFileName_) : EndsText(".zip", dataFileName_);
    if (!isArchive) {
        // Read in place: a copy could fail unnoticed and leave an older copy to be read,
        // and the source may itself lie in the temporary folder.
        DoInfos(_("Preparing datafile..."));
        source = dataFileName_;
    } else if (!ArchiveManager) {
        throw datafile::EFileNotFound(Fmt(_("Datafile not found in %1."), {dataFileName_}));
    } else {
        source = ExtractFromArchive();
    }

    std::string buffer;
    if (int err = Fs().ReadFile(source, buffer))
        throw datafile::EFileError(Fmt(_("Cannot read file %1: %2"), {source, SysErrorMessage(err)}));
    std::vector<std::string_view> lines;
    SplitLines(buffer, lines);

    TIniText header(lines);
    std::string_view version;
    if (!header.FindValue("DAT", "version", version) || (version != "2.50" && version != "2.00" && version != "1.90"))
        throw datafile::EBadDatafileVersion(
            Fmt(_("This version of the datafile %1 is not supported."), {FilePart(dataFileName_)}) + "\n" +
            _("Please use another datafile, or download a new version of Quarmelle."));
    formatVersion_ = std::string(version);
    Author = header.ReadString("CREDITS", "Author", "");
    Email = header.ReadString("CREDITS", "Email", "");
    Web = header.ReadString("CREDITS", "Web", "");
    Version = header.ReadString("CREDITS", "Version", "");
    Date = header.ReadString("CREDITS", "Date", "");
    Comment = header.ReadString("CREDITS", "Comment", "");
    PlugIn = LowerCase(header.ReadString("DAT", "plugin", "arcade.dll"));
    Refname = header.ReadString("EMULATOR", "refname", "");
    EmuVersion = header.ReadString("EMULATOR", "version", "");

    if (OnPlugInCheck) {
        OnPlugInCheck(PlugIn, Abort);
        if (Abort) {
            ClearForAbort();
            DeleteWorkFile();
            throw datafile::EAbortDataFileLoading();
        }
    }

    try {
        ReadLines(lines);
    } catch (...) {
        DoInfos(_("Datafile loaded"));
        throw;
    }
    DoInfos(_("Datafile loaded"));
    ReportBad();
}

void TDatafile::ReportBad() const {
    if (badLines_.empty()) return;
    const std::string file = FilePart(dataFileName_);
    auto describe = [&](const TBadLine& bad) {
        return Fmt(_("%1, line %2: the CRC \"%3\" is not eight hexadecimal digits."),
                   {file, std::to_string(bad.line), bad.crc});
    };
    const std::string more = badLines_.size() > kBadLinesShown
                                 ? Fmt(_("... and %1 more lines."), {std::to_string(badLines_.size() - kBadLinesShown)})
                                 : std::string();
    if (OnLog) {
        for (size_t i = 0; i < badLines_.size() && i < kBadLinesLogged; ++i) OnLog(describe(badLines_[i]));
        if (badLines_.size() > kBadLinesLogged)
            OnLog(Fmt(_("... and %1 more lines."), {std::to_string(badLines_.size() - kBadLinesLogged)}));
    }
    if (!ReportBadLines) return;
    std::string text = Fmt(_("%1 rom lines of the datafile have a CRC that cannot be used: their roms can never be "
                             "found."),
                           {std::to_string(badLines_.size())});
    for (size_t i = 0; i < badLines_.size() && i < kBadLinesShown; ++i) {
        text += '\n';
        text += describe(badLines_[i]);
    }
    if (!more.empty()) {
        text += '\n';
        text += more;
    }
    UiHooks().MessageDlg(_("Data error in datafile !") + "\n" + text, TMsgDlgType::mtWarning, mbOK);
}

void TDatafile::ReadLines(const std::vector<std::string_view>& lines) {
    const size_t count = lines.size();
    size_t s = 0;
    while (s < count && LowerCase(TrimView(lines[s])) != "[games]") ++s;
    if (s == count) throw datafile::EBadFormat(Fmt(_("File %1 has bad format."), {dataFileName_}));
    DoInfos(Fmt(_("Loading datafile %1"), {FilePart(dataFileName_)}));

    // The resources header is matched exactly as written, apart from letter case.
    size_t r = s + 1;
    while (r < count && !SameText(lines[r], "[resources]")) ++r;

    std::vector<std::string_view> fields;
    bool layout190 = formatVersion_ == "1.90";
    if (formatVersion_ == "2.00" && s + 1 < r) {
        SplitFields(lines[s + 1], kSep, fields);
        std::string_view flag = FieldAt(fields, 8);
        layout190 = flag == "N" || flag == "O";
    }

    auto readSection = [&](size_t header, size_t end, bool layout, TDataFileItems& items) {
        // The section's bytes bound its text; pages of the reserve that are never written
        // cost no memory.
        const size_t bytes = end > header + 1 ? static_cast<size_t>(lines[end - 1].data() + lines[end - 1].size() -
                                                                    lines[header + 1].data())
                                              : 0;
        items.Reserve(end - header - 1, bytes);
        const auto maximum = static_cast<int64_t>(count - header - 1);
        for (size_t i = header + 1; i < end; ++i) {
            if (IsSkipped(lines[i])) continue;
            if (Abort) {
                ClearForAbort();
                throw datafile::EAbortDataFileLoading();
            }
            DoProgress(static_cast<int64_t>(i - header), maximum);
            const TDataFileItem item = ParseRomLine(lines[i], layout, fields);
            if (!IsUsableCrc(item.Crc)) badLines_.push_back({i + 1, std::string(item.Crc)});
            items.AddRecord(item, true);
        }
    };
    readSection(s, r, layout190, GameItems);
    if (r < count) readSection(r, count, false, ResourceItems);
}

std::string TDatafile::PlugInNameToWrite() const {
    std::string name = GetCrcPlugIn();
    if (TrimView(name).empty()) name = PlugIn;
    if (TrimView(name).empty()) name = "arcade.dll";
    name = LowerCase(ExtractFileNameAnySep(name));
    // Datafiles name plug-ins by their logical name whatever the loader maps it to.
    if (name.size() > 3 && name.compare(name.size() - 3, 3, ".so") == 0) name.replace(name.size() - 3, 3, ".dll");
    return OneLine(name, false);
}

void TDatafile::SaveToFile(const std::string& fileName) {
    std::string out;
    size_t estimate = 512;
    for (const auto* list : {&GameItems, &ResourceItems})
        for (const auto& item : *list)
            estimate += 32 + item.ParentName.size() + item.ParentDescription.size() + item.GameName.size() +
                        item.GameDescription.size() + item.RomName.size() + item.Crc.size() + item.RomOf.size() +
                        item.Merge.size();
    out.reserve(estimate);

    AppendLine(out, "[CREDITS]");
    AppendLine(out, "Author=" + OneLine(Author, false));
    AppendLine(out, "Email=" + OneLine(Email, false));
    AppendLine(out, "Web=" + OneLine(Web, false));
    AppendLine(out, "Version=" + OneLine(Version, false));
    AppendLine(out, "Date=" + OneLine(Date, false));
    AppendComment(out, Comment);
    AppendLine(out, "[DAT]");
    AppendLine(out, "version=2.00");
    AppendLine(out, "plugin=" + PlugInNameToWrite());
    AppendLine(out, "[EMULATOR]");
    AppendLine(out, "refname=" + OneLine(Refname, false));
    AppendLine(out, "version=" + OneLine(EmuVersion, false));
    AppendLine(out, "[GAMES]");
    for (size_t i = 0, n = GameItems.Count(); i < n; ++i) {
        DoProgress(static_cast<int64_t>(i), static_cast<int64_t>(n) - 1);
        AppendRomLine(out, GameItems.GetItem(i));
    }
    AppendLine(out, "[RESOURCES]");
    for (size_t i = 0, n = ResourceItems.Count(); i < n; ++i) {
        DoProgress(static_cast<int64_t>(i), static_cast<int64_t>(n) - 1);
        AppendRomLine(out, ResourceItems.GetItem(i));
    }
    if (int err = Fs().WriteFileAtomic(fileName, out))
        throw datafile::EFileError(Fmt(_("Cannot write file %1: %2"), {fileName, SysErrorMessage(err)}));
}

void CheckDatafile(const std::string& fileName, TArchiveManager* manager) {
    std::optional<TArchiveManager> own;
    if (manager == nullptr && EndsText(".zip", fileName)) {
        // A manager of its own would make its folder the zip layer's: the old one is
        // given back.
        const std::string zipTemp = ZipObject().TempDir;
        own.emplace();
        own->SetTempDir(GetTempDirectory());
        ZipObject().TempDir = zipTemp;
        manager = &*own;
    }
    TDatafile datafile;
    datafile.ReportBadLines = false;
    datafile.ArchiveManager = manager;
    datafile.SetDataFileName(fileName);
    datafile.LoadFromFile();
}

}  // namespace qm
