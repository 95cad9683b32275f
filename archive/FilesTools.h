#pragma once
// The routines through which the program touches files, folders, the desktop and other
// processes: the private temporary folder, sizes and time stamps, folder statistics,
// copy, move and delete of files and folders (delete = the desktop's trash), a move that
// falls back to copy and delete, read-only handling, child processes, and the
// free-space check that every writing repair makes first.
//
// Every change to a user's file goes through Fs() (platform/FileSystem.h), so that
// tests can make any step fail; free space and read-only answers come from the same
// seam, volumes from Volumes() (archive/DiskInfo.h).
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/Exception.h"

namespace qm {

namespace filestools {
// A failed copy, move or delete. The archive manager and the files database raise a
// class of the same name of their own.
QM_DECLARE_EXCEPTION(EFileError, Exception);
}  // namespace filestools

QM_DECLARE_EXCEPTION(EFCantMove, Exception);
QM_DECLARE_EXCEPTION(EDiskFull, Exception);

// Bytes a write must leave free on its volume.
constexpr int64_t kDiskSpaceReserve = 5242880;

// ---- Temporary folder ----

// The folder in which the private temporary folder is made ($TMPDIR, else /tmp, or
// what SetTempDirectoryBase gave). Ends with "/".
std::string GetTempDirectoryBase();
// Chooses the folder in which the private temporary folder is made. Only has effect
// before the private folder exists (the first GetTempDirectory call); false otherwise.
bool SetTempDirectoryBase(const std::string& folder);
// This process's own temporary folder (mode 0700, made on first use inside the base,
// removed with its contents when the process ends; the base itself is never touched).
// Ends with "/". Throws filestools::EFileError when it cannot be made.
std::string GetTempDirectory();
// Removes the private temporary folder now (also done at exit); the next
// GetTempDirectory makes a new one.
void RemoveTempDirectory();

// ---- Sizes, dates, statistics ----

// DOS date and time of a moment (local time): date in the high 16 bits, time in the low
// 16 bits, seconds in 2-second steps. Moments before 1980 give 1980-01-01 00:00:00;
// after 2107, -1.
int32_t DosDateTimeFromUnix(int64_t seconds);

// Size of the first entry (byte order) matching Name, which may hold "*" and "?" in its
// last part; 0 for a folder, -1 when nothing matches.
int64_t GetFileSizeByName(const std::string& name);
// Entries of a folder; 0 when it cannot be read.
int CountDirEntries(const std::string& dir);
// Newest DOS date/time of the folder's entries (signed comparison); 0 when none.
int32_t GetLatestFileTime(const std::string& dir);

struct TDirStatistics {
    int64_t files = 0;
    int64_t folders = 0;
    int64_t bytes = 0;  // sizes of files only
};
// Counts files, folders and file bytes of dir (recursing into sub-folders when asked).
// Folders whose names begin with "." are neither counted nor entered; symbolic links
// count as files of size 0 and are never followed.
void GetDirStatistics(const std::string& dir, bool recurse, TDirStatistics& counters);

// DOS date/time of the last write; -1 when the entry is absent.
int32_t GetFileDosDateTime(const std::string& name);

// Attribute bits of FileHasAttr.
enum : uint16_t {
    faReadOnly = 0x01,   // owner may not write
    faHidden = 0x02,     // name begins with "."
    faSysFile = 0x04,    // never set
    faVolumeID = 0x08,   // never set
    faDirectory = 0x10,
    faArchive = 0x20,    // regular files
};
// True when every bit of attr is set on the entry; for a missing entry, true only for 0.
bool FileHasAttr(const std::string& name, uint16_t attr);
// Gives the owner write permission on an existing file or folder; false when the entry
// is absent or the permission cannot be set.
bool ClearReadOnly(const std::string& name);
// True when files cannot be written in the existing folder dir (read-only volume or no
// write permission); false for a folder that does not exist. Changes nothing.
bool IsReadOnlyPath(const std::string& dir);
// A file (not a folder) of that name exists; with exactCase the name must also be
// spelled exactly so in its folder (case-insensitive volumes such as vfat find other
// spellings).
bool FileExistsCase(const std::string& name, bool exactCase);
// The same for a folder.
bool DirExistsCase(const std::string& dir, bool exactCase);
// A file or a folder of that name exists (closing slashes ignored); a folder of that name.
bool PathExists(const std::string& name);
// Moves a file or folder to a name that must not exist yet: a rename, or across volumes
// a copy (never replacing) and then the removal of the source. 0 or errno.
int MoveToNewName(const std::string& from, const std::string& to);
bool FolderExists(const std::string& name);
// The folder part of the full path, relative to the mount point that holds it, with "/"
// at both ends: "/media/usb/roms/a.zip" on a volume mounted at "/media/usb" gives
// "/roms/".
std::string PathWithoutDrive(const std::string& path);
// Writes value at 1-based position of the file, creating it when missing (the bytes
// before position are zeros; position 0 creates an empty file). Throws
// filestools::EFileError with the system's text on failure. Returns true.
bool WriteByteAt(const std::string& fileName, int64_t position, uint8_t value);

// ---- Copy, move, delete ----

// Copies the file or folder source. When dest is an existing folder the copy goes into
// it under source's name; else the copy is named dest. Existing files of the target are
// replaced (each by a finished copy, never truncated first); dates and modes are kept.
// Throws filestools::EFileError "File Error during transfert" with the reason.
void ShellCopyFile(const std::string& source, const std::string& dest);
// Moves the file or folder source, with the target rule of ShellCopyFile. An existing
// target is never replaced: with renameOnCollision the moved entry gets a free name
// ("name (2).ext"), else the call fails. Across volumes it copies and then deletes the
// source. Throws filestools::EFileError as ShellCopyFile.
void ShellMoveFile(const std::string& source, const std::string& dest, bool renameOnCollision);
// Sends a file or folder to the trash; when the trash cannot take it, throws
// filestools::EFileError with the reason and deletes nothing.
void ShellDeleteFile(const std::string& name);
// Moves source to dest: a rename, else (other volume) a copy then the deletion of the
// source. An existing dest is never replaced. Throws EFCantMove.
void MoveFileSafe(const std::string& source, const std::string& dest);
// Puts the finished file work in place of dest, replacing it: the file first goes
// beside dest under a temporary name (a rename, or a copy across volumes), which is then
// renamed over dest in one step. A failure leaves dest as it was. Throws EFCantMove
// "Can't copy file." with the reason.
void PutFileInPlace(const std::string& work, const std::string& dest);
// Throws EDiskFull "Disk %1 is full" (the volume's mount point) unless bytes plus 5 MiB
// are free on the volume of path.
void CheckDiskSpace(const std::string& path, int64_t bytes);

// ---- Processes ----

constexpr int kRunFailed = -10000;

// Words of a command line: blanks and tabs separate, double quotes group, and two double
// quotes inside a quoted part stand for one. Bytes pass unchanged.
std::vector<std::string> SplitCommandLine(const std::string& line);

// Starts program with its arguments (no shell) in workingDir (empty: the current
// folder). With wait, keeps processing pending messages until it ends and returns its
// exit code; kRunFailed when it could not start, when it did not end normally, and
// always without wait. Minimized is accepted for the callers' sake and ignored.
int RunProgramWithArgs(const std::string& program, const std::vector<std::string>& arguments, bool wait,
               bool minimized = false, const std::string& workingDir = {});
// The same with a command line, split into arguments first as a shell would split
// words (double quotes group, blanks separate); nothing is expanded.
int RunProgram(const std::string& commandLine, bool wait, bool minimized = false, const std::string& workingDir = {});

// Called after a started program (the user interface restores its main window).
void SetRestoreMainWindowHook(std::function<void()> hook);
// Opens a document or URL with the desktop (the user interface installs
// QDesktopServices::openUrl; the default starts xdg-open). True when accepted.
void SetShellOpenHook(std::function<bool(const std::string&)> hook);

// Without params, asks the desktop to open fileName (a URL or a document): 1 when
// accepted; wait is not honoured then, since the desktop gives no process to wait for.
// With params, runs fileName as a program with those arguments (split as RunProgram
// splits a command line) in dir: 1 once started, or with wait its exit code. A failure
// raises Exception with the text for its cause ("The specified file was not found.",
// "There is no application associated with the given filename extension.").
int ShellExecuteAndWait(const std::string& fileName, const std::string& params, const std::string& dir,
                        int showCmd, bool wait);

}  // namespace qm
