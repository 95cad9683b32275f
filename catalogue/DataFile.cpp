#include "catalogue/DataFile.h"

#include <cerrno>
#include <filesystem>
#include <string_view>

#include <unistd.h>

#include "archive/FilesTools.h"
#include "archive/archivemanager.h"
#include "archive/stringsTools.h"
#include "catalogue/IniText.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"


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

// One rom line into an item, by the layout in force. Fields are views into the line;
// only the item's strings copy bytes.
void ParseRomLine(std::string_view line, bool layout190, std::vector<std::string_view>& f, TDataFileItem& item) {
    SplitFields(line, kSep, f);
    item.ParentName = FieldAt(f, 1);
    item.ParentDescription = FieldAt(f, 2);
    item.GameName = FieldAt(f, 3);
    item.GameDescription = FieldAt(f, 4);
    item.RomName = FieldAt(f, 5);
    std::string_view crc = FieldAt(f, 6);
    item.Crc.resize(crc.size());
    for (size_t i = 0; i < crc.size(); ++i) item.Crc[i] = LowerChar(crc[i]);
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
}

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

void TDatafile::AddItem(std::string parentName, std::string parentDescription, std::string gameName,
                        std::string gameDescription, std::string romName, std::string crc, int64_t size,
                        std::string romOf, std::string merge, bool isResource) {
    (isResource ? ResourceItems : GameItems)
        .Add(std::move(parentName), std::move(parentDescription), std::move(gameName), std::move(gameDescription),
             std::move(romName), std::move(crc), size, std::move(romOf), std::move(merge));
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
        items.Reserve(end - header - 1);
        const auto maximum = static_cast<int64_t>(count - header - 1);
        for (size_t i = header + 1; i < end; ++i) {
            if (IsSkipped(lines[i])) continue;
            if (Abort) {
                ClearForAbort();
                throw datafile::EAbortDataFileLoading();
            }
            DoProgress(static_cast<int64_t>(i - header), maximum);
            TDataFileItem item;
            ParseRomLine(lines[i], layout, fields, item);
            items.Add(std::move(item));
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

}  // namespace qm
