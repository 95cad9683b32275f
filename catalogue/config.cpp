#include "catalogue/config.h"

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <map>
#include <mutex>

#include "catalogue/LogLine.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"

namespace qm {

TConfig* Config = nullptr;
const char* const TConfig::CurrentVersion = "2.70 beta 5";

namespace {

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

std::string WithSlash(const std::string& s) { return !s.empty() && s.back() == '/' ? s : s + "/"; }

std::string WithoutSlash(std::string s) {
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

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

// The system's temporary folder: $TMPDIR when it names a folder, else /tmp/.
std::string SystemTempFolder() {
    const std::string tmp = Env("TMPDIR");
    if (IsUsableFolder(tmp)) return WithSlash(tmp);
    return "/tmp/";
}

// Line parsing of the ini text. A header is "[name]" after optional blanks (and, on the
// first line, a UTF-8 byte order mark); a key line is "key=value" whose key is not
// empty and does not start a comment.
size_t SkipLead(const std::string& line, bool first) {
    size_t i = 0;
    if (first && line.compare(0, 3, "\xEF\xBB\xBF") == 0) i = 3;
    while (i < line.size() && IsBlank(line[i])) ++i;
    return i;
}

bool ParseHeader(const std::string& line, bool first, std::string& name) {
    const size_t i = SkipLead(line, first);
    if (i >= line.size() || line[i] != '[') return false;
    const size_t j = line.find(']', i + 1);
    if (j == std::string::npos) return false;
    name = Trim(line.substr(i + 1, j - i - 1));
    return true;
}

bool ParseKey(const std::string& line, bool first, std::string& key, size_t& valuePos) {
    const size_t i = SkipLead(line, first);
    if (i >= line.size() || line[i] == ';' || line[i] == '#' || line[i] == '[') return false;
    const size_t eq = line.find('=', i);
    if (eq == std::string::npos) return false;
    key = Trim(line.substr(i, eq - i));
    if (key.empty()) return false;
    valuePos = eq + 1;
    return true;
}

bool ParseInt(const std::string& text, int& out) {
    const std::string s = Trim(text);
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    if (i >= s.size()) return false;
    long long v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        v = v * 10 + (s[i] - '0');
        if (v > static_cast<long long>(INT_MAX) + 1) return false;
    }
    if (negative) v = -v;
    if (v > INT_MAX || v < INT_MIN) return false;
    out = static_cast<int>(v);
    return true;
}

bool HasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

std::mutex g_iniMutex;
std::map<std::string, std::weak_ptr<TIniFile>>& IniFiles() {
    static std::map<std::string, std::weak_ptr<TIniFile>> files;
    return files;
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
    ::remove(path);
    return 0;  // go on: remove what can be removed
}

// Removes one private temporary folder and what it holds, never following a symbolic
// link out of it.
void RemovePrivateFolder(const std::string& folder) {
    struct stat st;
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return;
    ::nftw(folder.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

}  // namespace

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
    size_t start = 0;
    while (start < data.size()) {
        size_t end = data.find('\n', start);
        if (end == std::string::npos) end = data.size();
        std::string line = data.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines_.push_back(std::move(line));
        start = end + 1;
    }
}

long TIniFile::FindSection(const std::string& section) const {
    std::string name;
    for (size_t i = 0; i < lines_.size(); ++i)
        if (ParseHeader(lines_[i], i == 0, name) && SameText(name, section)) return static_cast<long>(i);
    return -1;
}

long TIniFile::FindKey(long header, const std::string& key) const {
    std::string name;
    size_t valuePos;
    for (size_t i = static_cast<size_t>(header) + 1; i < lines_.size(); ++i) {
        if (ParseHeader(lines_[i], false, name)) break;
        if (ParseKey(lines_[i], false, name, valuePos) && SameText(name, key)) return static_cast<long>(i);
    }
    return -1;
}

bool TIniFile::SectionExists(const std::string& section) const { return FindSection(section) >= 0; }

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const {
    const long h = FindSection(section);
    return h >= 0 && FindKey(h, key) >= 0;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key, const std::string& def) const {
    const long h = FindSection(section);
    if (h < 0) return def;
    const long k = FindKey(h, key);
    if (k < 0) return def;
    std::string name;
    size_t valuePos = 0;
    ParseKey(lines_[static_cast<size_t>(k)], false, name, valuePos);
    return lines_[static_cast<size_t>(k)].substr(valuePos);
}

int TIniFile::ReadInteger(const std::string& section, const std::string& key, int def) const {
    int v;
    return ParseInt(ReadString(section, key, std::string()), v) ? v : def;
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

int TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    const std::string trimmedKey = Trim(key);
    if (trimmedKey.empty() || trimmedKey[0] == '[' || trimmedKey[0] == ';' || trimmedKey[0] == '#' ||
        key.find('=') != std::string::npos || HasLineBreak(key) || HasLineBreak(section) ||
        section.find(']') != std::string::npos || HasLineBreak(value))
        throw Exception(Fmt(_("Invalid setting \"%1\" in section \"%2\" of %3."), {key, section, fileName_}));

    const long h = FindSection(section);
    if (h < 0) {
        if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.emplace_back();
        lines_.push_back("[" + section + "]");
        lines_.push_back(key + "=" + value);
    } else if (const long k = FindKey(h, key); k >= 0) {
        // The key keeps the spelling the file has.
        std::string& line = lines_[static_cast<size_t>(k)];
        std::string name;
        size_t valuePos = 0;
        ParseKey(line, false, name, valuePos);
        line = line.substr(0, valuePos) + value;
    } else {
        size_t end = static_cast<size_t>(h) + 1;
        std::string name;
        while (end < lines_.size() && !ParseHeader(lines_[end], false, name)) ++end;
        while (end > static_cast<size_t>(h) + 1 && Trim(lines_[end - 1]).empty()) --end;
        lines_.insert(lines_.begin() + static_cast<long>(end), key + "=" + value);
    }
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
// Objects the settings own

void TDataFile::Clear() {
    SourceName.clear();
    FileName.clear();
}

// ---------------------------------------------------------------------------------
// TConfig

std::string TConfig::ProgramFileName() {
    char buffer[PATH_MAX + 1];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    if (n <= 0) return "quarmelle";
    return std::string(buffer, static_cast<size_t>(n));
}

std::string TConfig::HomeFolderFor(const std::string& programFile) {
    std::string home = Env("QUARMELLE_HOME");
    if (home.empty()) {
        const std::string folder = FolderOf(programFile);
        if (!folder.empty() && IsExistingFolder(folder) && !Fs().IsReadOnly(folder)) return folder;
        std::string data = Env("XDG_DATA_HOME");
        if (data.empty() || data[0] != '/') {
            const std::string user = Env("HOME");
            data = (user.empty() ? std::string("/tmp") : WithoutSlash(user)) + "/.local/share";
        }
        home = WithSlash(data) + "quarmelle";
    }
    home = WithSlash(home);
    MakeDirs(home);  // a failure shows at the first write of the ini file
    return home;
}

TConfig::TConfig(const std::string& programFile)
    : Emulator(std::make_unique<TEmulator>()),
      DataFile(std::make_unique<TDataFile>()),
      DatUtil(std::make_unique<TDatUtil>()) {
    baseHome_ = HomeFolderFor(programFile);
    IniFileName = baseHome_ + NameOf(programFile) + ".ini";
    iniFile_ = TIniFile::Open(IniFileName);
    try {
        Construct(programFile);
    } catch (const std::exception&) {
        // The settings object always exists; what could not be read keeps its default.
    }
}

void TConfig::Construct(const std::string&) {
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

    // The tool's name is always taken inside the home folder, even when it is stored
    // as an absolute name.
    if (!ValueExists(Section, "Datutil_exe")) WriteString(Section, "Datutil_exe", "datutil");
    DatUtil->DatutilExe = GetHomePath() + ReadString(Section, "Datutil_exe", "datutil");
}

TConfig::~TConfig() {
    try {
        DeleteWorkDataFile();
        if (!DataFile->SourceName.empty()) WriteString(Section, "LastDataFile", DataFile->SourceName);
    } catch (const std::exception&) {
    }
    logLine_.reset();
    for (const auto& folder : privateTemps_) RemovePrivateFolder(folder);
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
    const std::string base = GetTempPath();
    for (auto it = privateTemps_.rbegin(); it != privateTemps_.rend(); ++it)
        if (FolderOf(*it) == base && IsExistingFolder(*it)) return *it + "/";
    std::string pattern = base + "quarmelle-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        throw Exception(Fmt(_("Cannot create a temporary folder in %1: %2"), {base, SysErrorMessage(errno)}));
    privateTemps_.push_back(pattern);
    return pattern + "/";
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
    for (char& c : value) c = FoldCase(c);
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

void TConfig::CloseDataFile() {
    DataFileOpen = false;
    DataFile->Clear();
}

void TConfig::DeleteWorkDataFile() {
    const std::string& name = DataFile->FileName;
    if (name.empty()) return;
    TFileStat st;
    if (Fs().Stat(name, st) == 0 && st.exists && !st.isDir) Fs().Unlink(name);
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
