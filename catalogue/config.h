#pragma once
// The program's settings: the ini file with write-through on every change, the one
// global settings object Config with its folders, the open datafile (its working copy
// and its header) with the profile of its emulator, and the small services it carries
// (window geometry, the proxy of web requests, the log line to the viewer window).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/DatUtil.h"
#include "catalogue/Emulator.h"
#include "catalogue/IniText.h"
#include "platform/Exception.h"

namespace qm {

class TArchiveManager;
class TLogLine;
class TRomsBd;

// ---------------------------------------------------------------------------------
// Ini file

// An ini text file held in memory line by line and written back whole, atomically, on
// every change, so that what a setter stored is on disk when it returns.
//
// It reads as the datafile header is read (TIniText): section and key names compare
// without regard to (ASCII) case, the first section and the first key of a name win,
// and a value is the rest of its line after the first "=", without the blanks around
// it. Values are never cut. Lines the file holds that are not ours (comments, keys of
// other writers, blank lines) stay where they are; a new key goes at the end of its
// section, a new section at the end of the file.
//
// There is one instance per file name, shared by every writer of that file (the
// settings, the tool bars, the list view's columns), so that no writer overwrites what
// another one stored.
class TIniFile {
public:
    // The shared instance for a file, loaded from disk on first use. A missing file is
    // an empty one, created by the first write.
    static std::shared_ptr<TIniFile> Open(const std::string& fileName);

    ~TIniFile();
    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;

    const std::string& FileName() const { return fileName_; }

    bool SectionExists(const std::string& section) const;
    bool ValueExists(const std::string& section, const std::string& key) const;
    std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
    // A value that is not a decimal 32-bit integer reads as def.
    int ReadInteger(const std::string& section, const std::string& key, int def) const;
    // Read as an integer: any value but 0 is true.
    bool ReadBool(const std::string& section, const std::string& key, bool def) const;

    // Each write changes the value in memory and then rewrites the file (unless inside
    // an update, see BeginUpdate). The result is 0, or the errno of the failed rewrite;
    // the value is kept in memory all the same and the next rewrite that succeeds
    // carries it to disk. A key that is empty, holds "=" or starts with "[", and a
    // section, key or value that holds a line break, are refused with qm::Exception:
    // written as they are they would make other keys of the file.
    int WriteString(const std::string& section, const std::string& key, const std::string& value);
    int WriteInteger(const std::string& section, const std::string& key, int value);
    int WriteBool(const std::string& section, const std::string& key, bool value);  // "1" / "0"

    // Writes made between BeginUpdate and the matching EndUpdate rewrite the file once,
    // at EndUpdate (which returns that rewrite's result).
    void BeginUpdate();
    int EndUpdate();

    // The file's text as it is written.
    std::string Text() const;

    // Why the file could not be read at load (empty when it was read or did not exist).
    // Such a file is never rewritten: a rewrite would replace settings we could not
    // read. Writes then fail with the load's errno and stay in memory only.
    const std::string& LoadError() const { return loadError_; }
    // The system's text of the last failed rewrite, empty when the last one succeeded.
    const std::string& WriteError() const { return writeError_; }

private:
    explicit TIniFile(std::string fileName);
    void Load();
    int Flush();
    const TIniText& View() const;
    // Index of the header line of the first section of that name, or -1.
    long FindSection(const std::string& section) const;
    // Index of the line of the first key of that name in the section whose header is
    // at header, or -1; end receives the index of the line after the section.
    long FindKey(long header, const std::string& key, size_t& end) const;

    std::string fileName_;
    std::vector<std::string> lines_;  // without line ends
    mutable std::unique_ptr<TIniText> view_;  // over lines_; dropped at every change
    mutable std::vector<std::string_view> views_;
    int loadErrno_ = 0;
    std::string loadError_;
    std::string writeError_;
    int updateDepth_ = 0;
    bool dirty_ = false;
};

// ---------------------------------------------------------------------------------
// The open datafile

// A datafile that cannot be opened: the file is missing, or a zip archive was given
// without the entry to open.
QM_DECLARE_EXCEPTION(EDataFileNotFound, Exception);
// A datafile that cannot be used (the main window's handlers name it; opening raises it
// for an archive entry whose name would land outside the temporary folder).
QM_DECLARE_EXCEPTION(EBadDataFile, Exception);

namespace config {
// A file-system step of opening a datafile failed; the message gives the system's text.
QM_DECLARE_EXCEPTION(EFileError, Exception);
}  // namespace config

// The header of the open datafile, read when it is opened (Config.OpenDataFile). Not the
// datafile reader (TDatafile), which reads the games later from the working copy.
class TDataFile {
public:
    std::string SourceName;      // the file that was opened (plain datafile or zip archive), as given
    std::string Date;            // [credits] Date
    std::string Author;          // [credits] Author
    std::string RefName;         // [emulator] refname; "no name" when the datafile leaves it empty
    std::string EmuVersion;      // [emulator] version
    std::string FileName;        // its working copy in the private temporary folder
    std::vector<std::string> Comment;  // the comment's lines, from [credits] to the [dat] line
    std::string PlugIn = "arcade.dll";  // [dat] plugin, ".dll" added when the name holds none
    std::string Url;             // [credits] Url
    std::string Version;         // [dat] version, the format version
    std::string CreditsVersion;  // [credits] Version
    std::string Email;           // [credits] Email
    bool Split = true;           // [dat] split
    bool Merge = false;          // [dat] merge
    std::string HomePage;        // [credits] HomePage

    // Empties every field but PlugIn, HomePage, Split and Merge.
    void Clear();
    // The working copy's name without folder and extension; shown as the datafile's name.
    std::string GetName() const;
};

// ---------------------------------------------------------------------------------
// Window geometry

// Where a window stands as the settings keep it: its normal (not maximised) geometry
// and its state, 0 normal, 1 minimised, 2 maximised.
struct TWindowPlacement {
    int WindowState = 0;
    int Width = 0;
    int Height = 0;
    int Top = 0;
    int Left = 0;
};

// What the settings need of a window to save and restore it. The user interface
// implements it over its widgets: Placement gives the normal geometry (also while the
// window is maximised or minimised), Restore moves and resizes the window and keeps it
// on a screen that exists.
class IWindowPlace {
public:
    virtual ~IWindowPlace() = default;
    virtual TWindowPlacement Placement() const = 0;
    // Geometry first, then the state; a WindowState outside 0..2 leaves the state alone.
    virtual void Restore(const TWindowPlacement& placement) = 0;
    // Nothing stored yet: centre the window on the main window.
    virtual void Centre() = 0;
};

// The splitter of the main window, by the width of its left pane.
class ISplitPlace {
public:
    virtual ~ISplitPlace() = default;
    virtual int Position() const = 0;
    virtual void SetPosition(int position) = 0;
};

// ---------------------------------------------------------------------------------
// Settings

// The system's temporary folder: $TMPDIR when it names a folder, else /tmp/.
std::string SystemTempFolder();

// The program's one settings object (the global Config). Every setter writes its key
// through to the ini file before it returns.
class TConfig {
public:
    // programFile: the executable's full name. The home folder and the ini file
    // "<home>/<executable name>.ini" follow from it (see HomeFolderFor). Construction
    // never fails: an error while reading the settings leaves the values reached so
    // far (every field has its default before).
    explicit TConfig(const std::string& programFile = ProgramFileName());
    // Deletes the datafile working copy and records the open datafile as "LastDataFile".
    ~TConfig();
    TConfig(const TConfig&) = delete;
    TConfig& operator=(const TConfig&) = delete;

    // The running executable's full name.
    static std::string ProgramFileName();
    // Where the ini file lives: $QUARMELLE_HOME when set, else the executable's folder
    // when "<executable name>.ini" already stands there (a portable install), else
    // $XDG_DATA_HOME/quarmelle/ (~/.local/share/quarmelle/). Ends with "/"; the folder
    // is created when missing, and error (when given) receives why it could not be.
    static std::string HomeFolderFor(const std::string& programFile, std::string* error = nullptr);
    // Why the home folder could not be created; empty when it exists. Start-up stops on it.
    std::string HomeError;
    // A folder of what the program ships (sub: "plugin/", "help/", "locale/"), found
    // beside the executable (a build's bin/) or in the install prefix that holds it
    // (<prefix>/lib/quarmelle/ for plug-ins, <prefix>/share/quarmelle/ for the rest).
    // Ends with "/"; empty when none exists. The home keeps only what is the user's.
    static std::string ShippedFolderOf(const std::string& programFile, const std::string& sub);
    std::string ShippedFolder(const std::string& sub) const { return ShippedFolderOf(programFile_, sub); }

    std::unique_ptr<TEmulator> Emulator;
    std::unique_ptr<TDataFile> DataFile;
    std::unique_ptr<TDatUtil> DatUtil;

    std::string EmulatorSection;  // section of the open datafile's emulator, empty before
    const std::string Section = "quarmelle";
    std::string IniFileName;
    TArchiveManager* ArchiveManager = nullptr;  // the main window's, not owned
    TRomsBd* RomsBd = nullptr;  // the main window's, not owned; opening sets its CheckSize
    std::string ProgramVersion;
    bool FirstRun = false;
    bool VersionChanged = false;
    bool DataFileOpen = false;
    std::string SubListFileName;

    // The version this build stores under "Version".
    static const char* const CurrentVersion;

    TIniFile& IniFile() { return *iniFile_; }

    // Settings access for the units that keep keys of their own here (the emulator
    // profile, the rom paths): a failed rewrite of the file is reported once, through
    // the message box hook, and the value is kept in memory.
    bool ValueExists(const std::string& section, const std::string& key) const;
    std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
    int ReadInteger(const std::string& section, const std::string& key, int def) const;
    bool ReadBool(const std::string& section, const std::string& key, bool def) const;
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, int value);
    void WriteBool(const std::string& section, const std::string& key, bool value);
    // Writes between these two rewrite the file once, at the end.
    void BeginIniUpdate();
    void EndIniUpdate();

    // View filters.
    bool DBLevel() const { return dbLevel_; }
    bool DBPlayable() const { return dbPlayable_; }
    bool DBIncomplete() const { return dbIncomplete_; }
    bool DBMissing() const { return dbMissing_; }
    bool TVGood() const { return tvGood_; }
    bool TVUnknown() const { return tvUnknown_; }
    bool TVBadName() const { return tvBadName_; }
    bool TVMissing() const { return tvMissing_; }
    bool TVIncomplete() const { return tvIncomplete_; }
    void SetDBLevel(bool value);
    void SetDBPlayable(bool value);
    void SetDBIncomplete(bool value);
    void SetDBMissing(bool value);
    void SetTVGood(bool value);
    void SetTVUnknown(bool value);
    void SetTVBadName(bool value);
    void SetTVMissing(bool value);
    void SetTVIncomplete(bool value);

    // Zip compression level, 0 to 9 (a stored value outside is brought into range).
    int CompLevel() const { return compLevel_; }
    void SetCompLevel(int value);

    std::string GetLastDataFile() const;
    std::string GetLastZippedDataFile() const;
    // "GameUrl" of the emulator section; empty, and nothing written, while no datafile
    // names an emulator section.
    std::string GetGameUrl() const;
    void SetGameUrl(const std::string& value);

    // Folders, each ending with "/". A getter whose key is missing, or names no existing
    // folder (or a relative one), stores the default and creates it.
    std::string GetHomePath();
    std::string GetArchivePath();
    std::string GetCachePath();
    std::string GetPluginPath();
    std::string GetXmlPath();
    std::string GetSkinPath();
    std::string GetDatafilePath();
    std::string GetSubListPath();
    // The user's temporary folder: "TempPath" when it names an existing folder, else
    // $TMPDIR (or /tmp/), stored. Never created, never emptied.
    std::string GetTempPath();
    // This process's own folder (GetTempDirectory of the file routines), made inside
    // GetTempPath when it does not exist yet. Every fixed temporary name (working
    // copies, conversions, extractions) goes here, so that two processes never share
    // one; it goes, with its contents, when the process ends. Raises
    // filestools::EFileError when it cannot be made.
    std::string GetPrivateTempPath();
    // The temporary folders a rom path must stay off: the process's private folder, and
    // the user's TempPath only when it was set to other than the system's default
    // (every temporary file goes into the private folder, so a rom folder elsewhere
    // under /tmp is no risk).
    std::vector<std::string> TemporaryFolders();
    // Why folder cannot be a rom path (it lies on the archive path or on a temporary
    // folder), or "" when it can. A folder added in the window and one read from the
    // ini file pass the same test.
    std::string RomPathRefusal(const std::string& folder);

    // Folder setters add the trailing "/". An empty text stores an empty value, so that
    // the getter falls back to the default rather than to the root folder.
    void SetHomePath(const std::string& value);
    void SetArchivePath(const std::string& value);
    void SetTempPath(const std::string& value);
    void SetCachePath(const std::string& value);
    void SetPluginPath(const std::string& value);
    void SetXmlPath(const std::string& value);
    void SetSkinPath(const std::string& value);
    void SetDatafilePath(const std::string& value);
    void SetSubListPath(const std::string& value);

    // Window geometry. A null window is one that does not exist; every step of the two
    // loads is guarded on its own, so that a failing one does not stop the next.
    void LoadFormPositions(IWindowPlace* mainForm, ISplitPlace* mainSplit, IWindowPlace* datForm);
    void LoadScanFormPosition(IWindowPlace* scanForm);
    // One rewrite of the ini file for all keys.
    void SaveFormPositions(IWindowPlace* mainForm, ISplitPlace* mainSplit, IWindowPlace* datForm,
                           IWindowPlace* scanForm);

    // The proxy for web requests as "host:port", from $http_proxy (or $HTTP_PROXY);
    // empty when none is set.
    std::string GetProxyServer() const;

    // One line to the log viewer window when one listens; dropped otherwise. Never
    // waits for the viewer.
    void SendToLogWindow(const std::string& text);
    // The local socket name the log viewer of this ini file listens on.
    std::string LogSocketName() const;

    // Opens a datafile: fileName is a plain datafile, or a zip archive and entryName the
    // entry to open (with its inner path). The working copy goes into the private
    // temporary folder (the user's file is never written, moved or deleted); a
    // ClrMamePro datafile is converted through DatUtil; the choice is stored as
    // "LastDataFile" / "LastZippedDataFile" before the header is read, so that a
    // datafile whose header fails is still the one reopened at the next start. Then
    // DataFile holds the header, EmulatorSection names the emulator's section, Emulator
    // holds its profile (the caller clears Emulator's rom paths first), RomsBd's
    // CheckSize is set and DataFileOpen becomes true. Failures are raised:
    // EDataFileNotFound, EBadDataFile, config::EFileError, the archive and datutil
    // errors unchanged, and EAbortOperation after the warning on an old-format datafile.
    void OpenDataFile(const std::string& fileName, const std::string& entryName);
    void CloseDataFile();
    // Deletes the working copy, when it lies in the private temporary folder.
    void DeleteWorkDataFile();

private:
    void Construct();
    void SetFlag(bool& field, const char* key, bool value);
    std::string GetFolder(const char* key, const char* subFolder, void (TConfig::*set)(const std::string&));
    void SetFolder(const char* key, const std::string& value);
    void LoadPlacement(IWindowPlace* window, const std::string& prefix, const std::string& presenceKey);
    void SavePlacement(IWindowPlace* window, const std::string& prefix);
    void ReportWriteFailure(int err);
    void ReadHeader();

    std::shared_ptr<TIniFile> iniFile_;
    std::string baseHome_;  // where the ini file lives; the default of "HomePath"
    std::string programFile_;
    std::unique_ptr<TLogLine> logLine_;
    bool writeFailureReported_ = false;

    bool dbLevel_ = false;
    bool dbPlayable_ = true;
    bool dbIncomplete_ = true;
    bool dbMissing_ = true;
    bool tvGood_ = true;
    bool tvUnknown_ = true;
    bool tvBadName_ = true;
    bool tvMissing_ = true;
    bool tvIncomplete_ = true;
    int compLevel_ = 9;
};

// The program's settings; null outside the life of a TGlobalConfig.
extern TConfig* Config;

// Creates the global Config for its lifetime (main() makes one after the application
// object and before any window; tests make their own in a temporary home).
class TGlobalConfig {
public:
    explicit TGlobalConfig(const std::string& programFile = TConfig::ProgramFileName());
    ~TGlobalConfig();
    TGlobalConfig(const TGlobalConfig&) = delete;
    TGlobalConfig& operator=(const TGlobalConfig&) = delete;

private:
    std::unique_ptr<TConfig> config_;
    TConfig* previous_;
};

}  // namespace qm
