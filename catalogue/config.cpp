#include "catalogue/config.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <map>
#include <mutex>

#include "archive/FilesTools.h"
#include "archive/stringsTools.h"
#include "catalogue/LogLine.h"
#include "catalogue/RomPaths.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"

namespace qm {

TConfig* Config = nullptr;
const char* const TConfig::CurrentVersion = "2.70 beta 5";

namespace {


std::string FolderOf(const std::string& path) {
    const auto p = path.find_last_of('/');
    if (p == std::string::npos) return "";
    return path.substr(0, p + 1);
}

std::string NameOf(const std::string& path) {
    const auto p = path.find_last_of('/');
    return p == std::string::npos ? path : path.substr(p + 1);
}

bool IsExistingFolder(const std::string& path) {
    TFileStat st;
    return Fs().Stat(path, st) == 0 && st.exists && st.isDir;
}

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

// A folder value of the settings is usable when it is absolute (a relative one would
// depend on the process's current folder) and names an existing folder.
bool IsUsableFolder(const std::string& value) {
    return !value.empty() && value[0] == '/' && IsExistingFolder(value);
}

// The header rule of TIniText: a line that starts with "[" or a blank (or a control
// byte) and, trimmed, is "[name]...".
bool HeaderName(std::string_view line, std::string_view& name) {
    if (line.empty() || (line[0] != '[' && static_cast<unsigned char>(line[0]) > 32)) return false;
    line = TrimView(line);
    if (line.empty() || line[0] != '[') return false;
    const size_t close = line.find(']');
    if (close == std::string_view::npos) return false;
    name = TrimView(line.substr(1, close - 1));
    return true;
}

bool IsHeader(std::string_view line) {
    std::string_view name;
    return HeaderName(line, name);
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool HasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

std::mutex g_iniMutex;
std::map<std::string, std::weak_ptr<TIniFile>>& IniFiles() {
    static std::map<std::string, std::weak_ptr<TIniFile>> files;
    return files;
}

}  // namespace

std::string SystemTempFolder() {
    const std::string tmp = Env("TMPDIR");
    if (IsUsableFolder(tmp)) return WithSlash(tmp);
    return "/tmp/";
}

// ---------------------------------------------------------------------------------
// TIniFile

std::shared_ptr<TIniFile> TIniFile::Open(const std::string& fileName) {
    std::lock_guard<std::mutex> lock(g_iniMutex);
    auto& files = IniFiles();
    if (auto it = files.find(fileName); it != files.end())
        if (auto alive = it->second.lock()) return alive;
    std::shared_ptr<TIniFile> file(new TIniFile(fileName));
    files[fileName] = file;
    return file;
}

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) { Load(); }

TIniFile::~TIniFile() {
    std::lock_guard<std::mutex> lock(g_iniMutex);
    auto& files = IniFiles();
    auto it = files.find(fileName_);
    if (it != files.end() && it->second.expired()) files.erase(it);
}

void TIniFile::Load() {
    std::string data;
    const int err = Fs().ReadFile(fileName_, data);
    if (err == ENOENT) return;
    if (err != 0) {
        loadErrno_ = err;
        loadError_ = SysErrorMessage(err);
        return;
    }
    std::vector<std::string_view> lines;
    SplitLines(data, lines);
    lines_.assign(lines.begin(), lines.end());
}

const TIniText& TIniFile::View() const {
    if (!view_) {
        views_.assign(lines_.begin(), lines_.end());
        // A byte order mark would hide the first section's header.
        if (!views_.empty() && views_[0].substr(0, kByteOrderMark.size()) == kByteOrderMark)
            views_[0].remove_prefix(kByteOrderMark.size());
        view_ = std::make_unique<TIniText>(views_);
    }
    return *view_;
}

// Where a write goes is found by the rules by which TIniText reads, so that a value
// written is the value read back.
long TIniFile::FindSection(const std::string& section) const {
    View();
    const std::string_view wanted = TrimView(section);
    std::string_view name;
    for (size_t i = 0; i < views_.size(); ++i)
        if (HeaderName(views_[i], name) && SameText(name, wanted)) return static_cast<long>(i);
    return -1;
}

long TIniFile::FindKey(long header, const std::string& key, size_t& end) const {
    View();
    const std::string_view wanted = TrimView(key);
    long found = -1;
    for (end = static_cast<size_t>(header) + 1; end < views_.size() && !IsHeader(views_[end]); ++end) {
        if (found >= 0) continue;
        const std::string_view line = views_[end];
        const size_t eq = line.find('=');
        if (eq != std::string_view::npos && SameText(TrimView(line.substr(0, eq)), wanted))
            found = static_cast<long>(end);
    }
    return found;
}

bool TIniFile::SectionExists(const std::string& section) const { return View().SectionExists(section); }

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const {
    std::string_view value;
    return View().FindValue(section, key, value);
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key, const std::string& def) const {
    return View().ReadString(section, key, def);
}

int TIniFile::ReadInteger(const std::string& section, const std::string& key, int def) const {
    std::string_view text;
    int64_t value = 0;
    if (!View().FindValue(section, key, text) || !TryStrToInt64(text, value) || value < INT_MIN || value > INT_MAX)
        return def;
    return static_cast<int>(value);
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

int TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    const std::string_view trimmedKey = TrimView(key);
    if (trimmedKey.empty() || trimmedKey[0] == '[' || key.find('=') != std::string::npos || HasLineBreak(key) ||
        HasLineBreak(section) || section.find(']') != std::string::npos || HasLineBreak(value))
        throw Exception(Fmt(_("Invalid setting \"%1\" in section \"%2\" of %3."), {key, section, fileName_}));

    const long h = FindSection(section);
    size_t end = 0;
    const long k = h >= 0 ? FindKey(h, key, end) : -1;
    if (h < 0) {
        if (!lines_.empty() && !TrimView(lines_.back()).empty()) lines_.emplace_back();
        lines_.push_back("[" + section + "]");
        lines_.push_back(key + "=" + value);
    } else if (k >= 0) {
        // The key keeps the spelling and the layout the file has.
        std::string& line = lines_[static_cast<size_t>(k)];
        line = line.substr(0, line.find('=') + 1) + value;
    } else {
        while (end > static_cast<size_t>(h) + 1 && TrimView(lines_[end - 1]).empty()) --end;
        lines_.insert(lines_.begin() + static_cast<long>(end), key + "=" + value);
    }
    view_.reset();
    dirty_ = true;
    return updateDepth_ > 0 ? 0 : Flush();
}

int TIniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
    return WriteString(section, key, std::to_string(value));
}

int TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
    return WriteString(section, key, value ? "1" : "0");
}

void TIniFile::BeginUpdate() { ++updateDepth_; }

int TIniFile::EndUpdate() {
    if (updateDepth_ > 0 && --updateDepth_ == 0 && dirty_) return Flush();
    return 0;
}

std::string TIniFile::Text() const {
    std::string text;
    for (const auto& line : lines_) {
        text += line;
        text += '\n';
    }
    return text;
}

int TIniFile::Flush() {
    if (loadErrno_ != 0) {
        writeError_ = loadError_;
        return loadErrno_;
    }
    const int err = Fs().WriteFileAtomic(fileName_, Text());
    if (err != 0) {
        writeError_ = SysErrorMessage(err);
        return err;
    }
    writeError_.clear();
    dirty_ = false;
    return 0;
}

// ---------------------------------------------------------------------------------
// TConfig

std::string TConfig::ProgramFileName() {
    char buffer[PATH_MAX + 1];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    if (n <= 0) return "quarmelle";
    return std::string(buffer, static_cast<size_t>(n));
}

std::string TConfig::HomeFolderFor(const std::string& programFile, std::string* error) {
    std::string home = Env("QUARMELLE_HOME");
    if (home.empty()) {
        // Only a portable install, made on purpose, keeps its settings beside the
        // program: a build folder is deleted routinely, and the backups of removed roms
        // must not go with it.
        const std::string folder = FolderOf(programFile);
        TFileStat ini;
        if (!folder.empty() && Fs().Stat(WithSlash(folder) + NameOf(programFile) + ".ini", ini) == 0 && ini.exists &&
            !ini.isDir)
            return WithSlash(folder);
        std::string data = Env("XDG_DATA_HOME");
        if (data.empty() || data[0] != '/') {
            const std::string user = Env("HOME");
            data = (user.empty() ? std::string("/tmp") : NoSlash(user)) + "/.local/share";
        }
        home = WithSlash(data) + "quarmelle";
    }
    home = WithSlash(home);
    if (const int err = MakeDirs(home); err != 0 && error != nullptr)
        *error = Fmt(_("The home folder %1 cannot be created: %2"), {home, SysErrorMessage(err)});
    return home;
}

std::string TConfig::ShippedFolderOf(const std::string& programFile, const std::string& sub) {
    const std::string folder = FolderOf(programFile);
    if (folder.empty() || folder[0] != '/') return {};
    const std::string prefix = folder + "../";
    for (const std::string& candidate :
         {folder + sub, prefix + "lib/quarmelle/" + sub, prefix + "share/quarmelle/" + sub})
        if (IsExistingFolder(candidate)) return candidate;
    return {};
}

TConfig::TConfig(const std::string& programFile)
    : Emulator(std::make_unique<TEmulator>(*this)),
      DataFile(std::make_unique<TDataFile>()),
      DatUtil(std::make_unique<TDatUtil>()),
      programFile_(programFile) {
    baseHome_ = HomeFolderFor(programFile, &HomeError);
    IniFileName = baseHome_ + NameOf(programFile) + ".ini";
    iniFile_ = TIniFile::Open(IniFileName);
    try {
        Construct();
    } catch (const std::exception&) {
        // The settings object always exists; what could not be read keeps its default.
    }
}

void TConfig::Construct() {
    const std::string stored = ReadString(Section, "Version", "");
    FirstRun = stored.empty();
    VersionChanged = stored != CurrentVersion;
    if (VersionChanged) WriteString(Section, "Version", CurrentVersion);

    struct Flag {
        const char* key;
        void (TConfig::*set)(bool);
        bool def;
    };
    static const Flag flags[] = {
        {"DBLevel", &TConfig::SetDBLevel, false},          {"DBPlayable", &TConfig::SetDBPlayable, true},
        {"DBIncomplete", &TConfig::SetDBIncomplete, true}, {"DBMissing", &TConfig::SetDBMissing, true},
        {"TVGood", &TConfig::SetTVGood, true},             {"TVUnknown", &TConfig::SetTVUnknown, true},
        {"TVBadName", &TConfig::SetTVBadName, true},       {"TVMissing", &TConfig::SetTVMissing, true},
        {"TVIncomplete", &TConfig::SetTVIncomplete, true},
    };
    // Missing flags are written in one rewrite of the file.
    iniFile_->BeginUpdate();
    try {
        for (const auto& f : flags)
            if (!ValueExists(Section, f.key)) (this->*f.set)(f.def);
    } catch (...) {
        iniFile_->EndUpdate();
        throw;
    }
    if (const int err = iniFile_->EndUpdate()) ReportWriteFailure(err);

    // DBLevel is a level, not a switch: only exactly 1 turns it on.
    dbLevel_ = ReadInteger(Section, "DBLevel", 0) == 1;
    dbPlayable_ = ReadBool(Section, "DBPlayable", true);
    dbIncomplete_ = ReadBool(Section, "DBIncomplete", true);
    dbMissing_ = ReadBool(Section, "DBMissing", true);
    tvGood_ = ReadBool(Section, "TVGood", true);
    tvUnknown_ = ReadBool(Section, "TVUnknown", true);
    tvBadName_ = ReadBool(Section, "TVBadName", true);
    tvMissing_ = ReadBool(Section, "TVMissing", true);
    tvIncomplete_ = ReadBool(Section, "TVIncomplete", true);
    compLevel_ = std::clamp(ReadInteger(Section, "CompLevel", 9), 0, 9);

    if (!ValueExists(Section, "Datutil_cm_to_qm")) WriteString(Section, "Datutil_cm_to_qm", "-o %qm %cm");
    DatUtil->CommandTemplate = ReadString(Section, "Datutil_cm_to_qm", "-o %qm %cm");
    DatUtil->TempDir = GetPrivateTempPath();

    // A relative name is taken inside the home folder, an absolute one as it stands. A
    // tool that is not there keeps its name and fails when it is used.
    if (!ValueExists(Section, "Datutil_exe")) WriteString(Section, "Datutil_exe", kDefaultDatutilName);
    DatUtil->SetDatutilExe(ResolveDatutilExe(GetHomePath(), ReadString(Section, "Datutil_exe", kDefaultDatutilName)));
}

TConfig::~TConfig() {
    try {
        DeleteWorkDataFile();
        if (!DataFile->SourceName.empty()) WriteString(Section, "LastDataFile", DataFile->SourceName);
    } catch (const std::exception&) {
    }
}

void TConfig::ReportWriteFailure(int err) {
    if (writeFailureReported_) return;
    writeFailureReported_ = true;
    const std::string text =
        iniFile_->LoadError().empty()
            ? Fmt(_("The settings file %1 cannot be written: %2"), {IniFileName, SysErrorMessage(err)})
            : Fmt(_("The settings file %1 cannot be read: %2\nChanged settings are not saved."),
                  {IniFileName, iniFile_->LoadError()});
    UiHooks().MessageDlg(text, TMsgDlgType::mtError, mbOK);
}

bool TConfig::ValueExists(const std::string& section, const std::string& key) const {
    return iniFile_->ValueExists(section, key);
}

std::string TConfig::ReadString(const std::string& section, const std::string& key, const std::string& def) const {
    return iniFile_->ReadString(section, key, def);
}

int TConfig::ReadInteger(const std::string& section, const std::string& key, int def) const {
    return iniFile_->ReadInteger(section, key, def);
}

bool TConfig::ReadBool(const std::string& section, const std::string& key, bool def) const {
    return iniFile_->ReadBool(section, key, def);
}

void TConfig::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    if (const int err = iniFile_->WriteString(section, key, value)) ReportWriteFailure(err);
}

void TConfig::BeginIniUpdate() { iniFile_->BeginUpdate(); }

void TConfig::EndIniUpdate() {
    if (const int err = iniFile_->EndUpdate()) ReportWriteFailure(err);
}

void TConfig::WriteInteger(const std::string& section, const std::string& key, int value) {
    WriteString(section, key, std::to_string(value));
}

void TConfig::WriteBool(const std::string& section, const std::string& key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

void TConfig::SetFlag(bool& field, const char* key, bool value) {
    field = value;
    WriteBool(Section, key, value);
}

void TConfig::SetDBLevel(bool value) { SetFlag(dbLevel_, "DBLevel", value); }
void TConfig::SetDBPlayable(bool value) { SetFlag(dbPlayable_, "DBPlayable", value); }
void TConfig::SetDBIncomplete(bool value) { SetFlag(dbIncomplete_, "DBIncomplete", value); }
void TConfig::SetDBMissing(bool value) { SetFlag(dbMissing_, "DBMissing", value); }
void TConfig::SetTVGood(bool value) { SetFlag(tvGood_, "TVGood", value); }
void TConfig::SetTVUnknown(bool value) { SetFlag(tvUnknown_, "TVUnknown", value); }
void TConfig::SetTVBadName(bool value) { SetFlag(tvBadName_, "TVBadName", value); }
void TConfig::SetTVMissing(bool value) { SetFlag(tvMissing_, "TVMissing", value); }
void TConfig::SetTVIncomplete(bool value) { SetFlag(tvIncomplete_, "TVIncomplete", value); }

void TConfig::SetCompLevel(int value) {
    compLevel_ = std::clamp(value, 0, 9);
    WriteInteger(Section, "CompLevel", compLevel_);
}

std::string TConfig::GetLastDataFile() const { return ReadString(Section, "LastDataFile", ""); }
std::string TConfig::GetLastZippedDataFile() const { return ReadString(Section, "LastZippedDataFile", ""); }

std::string TConfig::GetGameUrl() const {
    return EmulatorSection.empty() ? std::string() : ReadString(EmulatorSection, "GameUrl", "");
}

void TConfig::SetGameUrl(const std::string& value) {
    if (!EmulatorSection.empty()) WriteString(EmulatorSection, "GameUrl", value);
}

// ---- folders

void TConfig::SetFolder(const char* key, const std::string& value) {
    WriteString(Section, key, value.empty() ? value : WithSlash(value));
}

std::string TConfig::GetFolder(const char* key, const char* subFolder, void (TConfig::*set)(const std::string&)) {
    const std::string value = ReadString(Section, key, "");
    if (IsUsableFolder(value)) return WithSlash(value);
    const std::string folder = GetHomePath() + subFolder;
    (this->*set)(folder);
    if (!IsExistingFolder(folder)) MakeDirs(folder);  // a failure shows at the folder's first use
    return folder;
}

std::string TConfig::GetHomePath() {
    const std::string value = ReadString(Section, "HomePath", "");
    if (IsUsableFolder(value)) return WithSlash(value);
    SetHomePath(baseHome_);
    if (!IsExistingFolder(baseHome_)) MakeDirs(baseHome_);
    return baseHome_;
}

std::string TConfig::GetArchivePath() { return GetFolder("ArchivePath", "archive/", &TConfig::SetArchivePath); }
std::string TConfig::GetCachePath() { return GetFolder("CachePath", "cache/", &TConfig::SetCachePath); }
std::string TConfig::GetPluginPath() { return GetFolder("PluginPath", "plugin/", &TConfig::SetPluginPath); }
std::string TConfig::GetXmlPath() { return GetFolder("XmlPath", "xml/", &TConfig::SetXmlPath); }
std::string TConfig::GetSkinPath() { return GetFolder("SkinPath", "skin/", &TConfig::SetSkinPath); }
std::string TConfig::GetDatafilePath() { return GetFolder("DatafilePath", "datas/", &TConfig::SetDatafilePath); }
std::string TConfig::GetSubListPath() { return GetFolder("SubListPath", "sublist/", &TConfig::SetSubListPath); }

std::string TConfig::GetTempPath() {
    // The name keeps its case: two folders whose names differ in case are two folders.
    const std::string value = ReadString(Section, "TempPath", "");
    if (IsUsableFolder(value)) return WithSlash(value);
    const std::string folder = SystemTempFolder();
    SetTempPath(folder);
    return folder;
}

std::string TConfig::GetPrivateTempPath() {
    // The base counts only until the folder exists: one private folder per process.
    SetTempDirectoryBase(GetTempPath());
    return GetTempDirectory();
}

std::vector<std::string> TConfig::TemporaryFolders() {
    std::vector<std::string> folders{GetPrivateTempPath()};
    const std::string chosen = GetTempPath();
    if (chosen != SystemTempFolder()) folders.push_back(chosen);
    return folders;
}

std::string TConfig::RomPathRefusal(const std::string& folder) {
    if (RomFoldersOverlap(folder, GetArchivePath())) return _("A rom path can't be located on the archive path.");
    for (const std::string& temporary : TemporaryFolders())
        if (RomFoldersOverlap(folder, temporary)) return _("A rom path can't be located on the temporary path.");
    return {};
}

void TConfig::SetHomePath(const std::string& value) { SetFolder("HomePath", value); }
void TConfig::SetArchivePath(const std::string& value) { SetFolder("ArchivePath", value); }
void TConfig::SetTempPath(const std::string& value) { SetFolder("TempPath", value); }
void TConfig::SetCachePath(const std::string& value) { SetFolder("CachePath", value); }
// Written as "PlugInPath": the same entry as "PluginPath", since keys ignore case.
void TConfig::SetPluginPath(const std::string& value) { SetFolder("PlugInPath", value); }
void TConfig::SetXmlPath(const std::string& value) { SetFolder("XmlPath", value); }
void TConfig::SetSkinPath(const std::string& value) { SetFolder("SkinPath", value); }
void TConfig::SetDatafilePath(const std::string& value) { SetFolder("DatafilePath", value); }
void TConfig::SetSubListPath(const std::string& value) { SetFolder("SubListPath", value); }

// ---- window geometry

void TConfig::LoadPlacement(IWindowPlace* window, const std::string& prefix, const std::string& presenceKey) {
    if (!window) return;
    if (!ValueExists(Section, prefix + presenceKey)) {
        window->Centre();
        return;
    }
    TWindowPlacement p = window->Placement();
    p.Width = ReadInteger(Section, prefix + "Width", p.Width);
    p.Height = ReadInteger(Section, prefix + "Height", p.Height);
    p.Top = ReadInteger(Section, prefix + "Top", p.Top);
    p.Left = ReadInteger(Section, prefix + "Left", p.Left);
    const int state = ReadInteger(Section, prefix + "WindowState", -1);
    p.WindowState = state >= 0 && state <= 2 ? state : -1;
    window->Restore(p);
}

void TConfig::LoadFormPositions(IWindowPlace* mainForm, ISplitPlace* mainSplit, IWindowPlace* datForm) {
    try {
        LoadPlacement(mainForm, "Main", "WindowState");
    } catch (const std::exception&) {
    }
    try {
        if (mainSplit) mainSplit->SetPosition(ReadInteger(Section, "MainSplitPos", mainSplit->Position()));
    } catch (const std::exception&) {
    }
    try {
        LoadPlacement(datForm, "DatForm", "WindowState");
    } catch (const std::exception&) {
    }
}

void TConfig::LoadScanFormPosition(IWindowPlace* scanForm) {
    try {
        LoadPlacement(scanForm, "ScanForm", "Width");
    } catch (const std::exception&) {
    }
}

void TConfig::SavePlacement(IWindowPlace* window, const std::string& prefix) {
    if (!window) return;
    const TWindowPlacement p = window->Placement();
    WriteInteger(Section, prefix + "WindowState", p.WindowState);
    // A maximised window keeps the normal geometry stored before, so that it comes
    // back there when it is restored.
    if (p.WindowState == 2) return;
    WriteInteger(Section, prefix + "Width", p.Width);
    WriteInteger(Section, prefix + "Height", p.Height);
    WriteInteger(Section, prefix + "Top", p.Top);
    WriteInteger(Section, prefix + "Left", p.Left);
}

void TConfig::SaveFormPositions(IWindowPlace* mainForm, ISplitPlace* mainSplit, IWindowPlace* datForm,
                                IWindowPlace* scanForm) {
    iniFile_->BeginUpdate();
    try {
        SavePlacement(mainForm, "Main");
        if (mainSplit) WriteInteger(Section, "MainSplitPos", mainSplit->Position());
        SavePlacement(datForm, "DatForm");
        SavePlacement(scanForm, "ScanForm");
    } catch (...) {
        if (const int err = iniFile_->EndUpdate()) ReportWriteFailure(err);
        throw;
    }
    if (const int err = iniFile_->EndUpdate()) ReportWriteFailure(err);
}

// ---- services

std::string TConfig::GetProxyServer() const {
    std::string value = Env("http_proxy");
    if (Trim(value).empty()) value = Env("HTTP_PROXY");
    value = Trim(value);
    value = LowerCase(value);
    if (const auto p = value.find("://"); p != std::string::npos) value.erase(0, p + 3);
    if (const auto p = value.find('/'); p != std::string::npos) value.erase(p);
    if (const auto p = value.rfind('@'); p != std::string::npos) value.erase(0, p + 1);
    return value;
}

std::string TConfig::LogSocketName() const { return TLogLine::SocketName(IniFileName); }

void TConfig::SendToLogWindow(const std::string& text) {
    if (!logLine_) logLine_ = std::make_unique<TLogLine>(LogSocketName());
    logLine_->Send(text);
}

// ---------------------------------------------------------------------------------
// TGlobalConfig

TGlobalConfig::TGlobalConfig(const std::string& programFile)
    : config_(std::make_unique<TConfig>(programFile)), previous_(Config) {
    Config = config_.get();
}

TGlobalConfig::~TGlobalConfig() {
    config_.reset();
    Config = previous_;
}

}  // namespace qm
