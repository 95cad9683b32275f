// Opening a datafile: the working copy, the conversion of a ClrMamePro datafile, the
// header and the emulator profile it selects.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <optional>

#include "archive/archivemanager.h"
#include "archive/stringsTools.h"
#include "catalogue/RomsBd.h"
#include "catalogue/config.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"

namespace qm {

namespace {

std::string NameOf(const std::string& path) {
    const auto p = path.find_last_of('/');
    return p == std::string::npos ? path : path.substr(p + 1);
}

bool IsFile(const std::string& path) {
    TFileStat st;
    return !path.empty() && Fs().Stat(path, st) == 0 && st.exists && !st.isDir;
}

// Two names of one file (the same name, a link, another spelling of the folder).
bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    if (a.empty() || b.empty() || ::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool ContainsText(std::string_view text, std::string_view part) {
    return LowerCase(text).find(LowerCase(part)) != std::string::npos;
}

// The entry's name inside the extraction folder, with "/" as the separator. A name
// that would land outside it (absolute, a drive, a ".." part) or names no file is
// refused before anything is extracted.
std::string SafeEntryName(const std::string& archive, const std::string& entry) {
    const std::string name = ToSlash(entry);
    bool safe = !name.empty() && name[0] != '/' && name.back() != '/';
    if (safe && name.size() >= 2 && name[1] == ':') safe = false;
    for (size_t start = 0; safe && start <= name.size();) {
        size_t end = name.find('/', start);
        if (end == std::string::npos) end = name.size();
        if (name.compare(start, end - start, "..") == 0) safe = false;
        start = end + 1;
    }
    if (!safe)
        throw EBadDataFile(
            Fmt(_("The entry %1 of %2 cannot be opened: its name leads outside the folder it is extracted to."),
                {entry, archive}));
    return name;
}

[[noreturn]] void ThrowReadError(const std::string& path, int err) {
    throw config::EFileError(Fmt(_("Cannot read file %1: %2"), {path, SysErrorMessage(err)}));
}

// Reads the file's lines (CR, LF and CR LF end a line) up to the first line for which
// stop is true, that line included when keepStop is set. The rest of the file is not
// read: the header of a datafile of hundreds of thousands of rom lines is a few lines.
void ReadLinesUntil(const std::string& path, const std::function<bool(std::string_view)>& stop, bool keepStop,
                    std::string& text, std::vector<std::string_view>& lines) {
    text.clear();
    lines.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) ThrowReadError(path, errno);
    struct TCloser {
        int fd;
        ~TCloser() { ::close(fd); }
    } closer{fd};

    std::vector<std::pair<size_t, size_t>> spans;  // begin and length of each line
    size_t pos = 0;                                // start of the first line not yet taken
    bool eof = false;
    bool stopped = false;
    char buffer[65536];
    while (!stopped) {
        // Take every line that is complete.
        while (!stopped) {
            const size_t eol = text.find_first_of("\r\n", pos);
            if (eol == std::string::npos) break;
            // A CR at the end of what was read may be the first half of a CR LF.
            if (text[eol] == '\r' && eol + 1 == text.size() && !eof) break;
            const std::string_view line(text.data() + pos, eol - pos);
            const size_t next = eol + (text[eol] == '\r' && eol + 1 < text.size() && text[eol + 1] == '\n' ? 2 : 1);
            if (stop(line)) {
                stopped = true;
                if (keepStop) spans.emplace_back(pos, eol - pos);
            } else {
                spans.emplace_back(pos, eol - pos);
            }
            pos = next;
        }
        if (stopped) break;
        if (eof) {
            if (pos < text.size()) {
                const std::string_view line(text.data() + pos, text.size() - pos);
                if (!stop(line) || keepStop) spans.emplace_back(pos, text.size() - pos);
            }
            break;
        }
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowReadError(path, errno);
        }
        if (n == 0)
            eof = true;
        else
            text.append(buffer, static_cast<size_t>(n));
    }
    lines.reserve(spans.size());
    for (const auto& [begin, length] : spans) lines.emplace_back(text.data() + begin, length);
}

bool ReadHeaderBool(const TIniText& ini, std::string_view section, std::string_view key, bool def) {
    std::string_view text;
    int64_t value = 0;
    if (!ini.FindValue(section, key, text) || !TryStrToInt64(text, value)) return def;
    return value != 0;
}

// The first "comment=" of a line, in any case, removed.
std::string WithoutCommentKey(std::string_view line) {
    const size_t at = LowerCase(line).find("comment=");
    std::string out(line);
    if (at != std::string::npos) out.erase(at, 8);
    return out;
}

}  // namespace

// ---------------------------------------------------------------------------------
// TDataFile

void TDataFile::Clear() {
    SourceName.clear();
    Date.clear();
    Author.clear();
    Url.clear();
    Email.clear();
    Version.clear();
    RefName.clear();
    CreditsVersion.clear();
    EmuVersion.clear();
    FileName.clear();
    Comment.clear();
}

std::string TDataFile::GetName() const { return RemoveFileExt(ExtractFileNameAnySep(FileName)); }

// ---------------------------------------------------------------------------------
// TConfig

void TConfig::CloseDataFile() {
    DataFileOpen = false;
    DataFile->Clear();
}

void TConfig::DeleteWorkDataFile() {
    const std::string& name = DataFile->FileName;
    if (name.empty()) return;
    // Only a copy of our own is deleted: a name outside the private folder would be a
    // user's file.
    const std::string mine = GetPrivateTempPath();
    if (name.compare(0, mine.size(), mine) != 0 || name.find("/../") != std::string::npos) return;
    TFileStat st;
    if (Fs().Stat(name, st) == 0 && st.exists && !st.isDir) Fs().Unlink(name);
}

void TConfig::OpenDataFile(const std::string& fileName, const std::string& entryName) {
    DataFile->SourceName.clear();
    SubListFileName.clear();
    if (!IsFile(fileName)) throw EDataFileNotFound(_("File Not Found."));

    // The previous copy goes, unless it is the very file asked for.
    if (!SameFile(DataFile->FileName, fileName)) DeleteWorkDataFile();

    const std::string temp = GetPrivateTempPath();
    std::optional<TArchiveManager> ownManager;
    if (!ArchiveManager) {
        ownManager.emplace();
        ownManager->SetTempDir(temp);
    }
    TArchiveManager& manager = ArchiveManager ? *ArchiveManager : *ownManager;

    // The working copy is made in this process's own folder, never beside its source,
    // so that nothing done to it reaches the user's file.
    if (!manager.IsArchive(fileName)) {
        const std::string work = temp + NameOf(fileName);
        DataFile->FileName = work;
        if (!SameFile(work, fileName))
            if (const int err = Fs().CopyFile(fileName, work, true))
                throw config::EFileError(
                    Fmt(_("Cannot copy %1 to %2: %3"), {fileName, work, SysErrorMessage(err)}));
    } else {
        if (entryName.empty()) throw EDataFileNotFound(_("Datafile not specified."));
        const std::string work = temp + SafeEntryName(fileName, entryName);
        DataFile->FileName = work;
        // A copy left from before must not stand in for an entry that was not extracted.
        if (IsFile(work)) Fs().Unlink(work);
        manager.ExtractFile(fileName, entryName, temp, true);
    }
    DataFile->SourceName = fileName;
    const std::string work = DataFile->FileName;

    // A ClrMamePro datafile names itself on its first line that holds anything.
    std::string text;
    std::vector<std::string_view> lines;
    ReadLinesUntil(work, [](std::string_view line) { return !line.empty(); }, true, text, lines);
    if (!lines.empty() && ContainsText(lines.back(), "clrmame")) {
        const std::string original = work + "_tmp";
        // What an earlier failed conversion left would block the rename.
        if (IsFile(original))
            if (const int err = Fs().Unlink(original))
                throw config::EFileError(Fmt(_("Cannot delete file %1: %2"), {original, SysErrorMessage(err)}));
        if (const int err = Fs().RenameNoReplace(work, original))
            throw config::EFileError(
                Fmt(_("Cannot rename %1 to %2: %3"), {work, original, SysErrorMessage(err)}));
        DatUtil->ConvertClrMame(original, work);
        Fs().Unlink(original);
    }

    WriteString(Section, "LastDataFile", fileName);
    WriteString(Section, "LastZippedDataFile", entryName);

    ReadHeader();

    Emulator->WriteMissingDefaults(DataFile->Split, DataFile->Merge);
    Emulator->RomPaths().LoadFromIni();
    Emulator->ReadFromIni();
    DataFileOpen = true;
}

void TConfig::ReadHeader() {
    TDataFile& d = *DataFile;
    // The header sections come before the games, which are read later by the datafile
    // reader.
    std::string text;
    std::vector<std::string_view> lines;
    ReadLinesUntil(
        d.FileName, [](std::string_view line) { return LowerCase(TrimView(line)) == "[games]"; }, false, text,
        lines);
    const TIniText ini(lines);

    d.Version = ini.ReadString("dat", "version", "");
    d.PlugIn = ini.ReadString("dat", "plugin", "");
    if (d.PlugIn.empty()) {
        if (!LowerCase(ini.ReadString("emulator", "crcformat", "")).empty()) {
            UiHooks().MessageDlg(_("Old snes and nes datafiles are no more compatible with this \r\nversion of "
                                   "Quarmelle.\r\nPlease use new datafiles."),
                                 TMsgDlgType::mtWarning, mbOK);
            throw EAbortOperation();
        }
    } else if (!ContainsText(d.PlugIn, ".dll")) {
        // "ARCADE.DLL" names the plug-in as well as "arcade.dll" does.
        d.PlugIn += ".dll";
    }
    if (d.PlugIn.empty()) d.PlugIn = "arcade.dll";
    d.Split = ReadHeaderBool(ini, "dat", "split", true);
    d.Merge = ReadHeaderBool(ini, "dat", "merge", false);
    if (RomsBd) RomsBd->CheckSize = SameText(d.PlugIn, "arcade.dll");

    d.RefName = ini.ReadString("emulator", "refname", "");
    if (d.RefName.empty()) {
        UiHooks().MessageDlg(Fmt(_("Field 'refname' is empty in the datafile %1.\r\nIt is recommended to set a "
                                   "correct value in this field."),
                                 {d.GetName()}),
                             TMsgDlgType::mtWarning, mbOK);
        d.RefName = "no name";
    }
    // Brackets would end the section's name in the settings file.
    std::string section;
    for (char c : d.RefName) {
        if (c == '[')
            section += "{{";
        else if (c == ']')
            section += "}}";
        else
            section += c;
    }
    EmulatorSection = section;

    d.EmuVersion = ini.ReadString("emulator", "version", "");
    d.Author = ini.ReadString("credits", "Author", "");
    d.Email = ini.ReadString("credits", "Email", "");
    d.HomePage = ini.ReadString("credits", "HomePage", "");
    d.Url = ini.ReadString("credits", "Url", "");
    d.CreditsVersion = ini.ReadString("credits", "Version", "");
    d.Date = ini.ReadString("credits", "Date", "");

    // The comment is a run of lines, not a value: from the line of "comment=" (or the
    // line after, when that line holds nothing else) up to the line that holds "[dat]".
    // Only the header is searched, so a datafile without a comment cannot make one of
    // a game line.
    d.Comment.clear();
    size_t start = lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string lower = LowerCase(lines[i]);
        if (lower.find("comment=") == std::string::npos) continue;
        start = lower == "comment=" ? i + 1 : i;
        break;
    }
    for (size_t i = start; i < lines.size(); ++i) {
        if (LowerCase(lines[i]).find("[dat]") != std::string::npos) break;
        d.Comment.push_back(WithoutCommentKey(lines[i]));
    }
}

}  // namespace qm
