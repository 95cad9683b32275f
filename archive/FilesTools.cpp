#include "archive/FilesTools.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <QProcess>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <set>
#include <utility>

#include "archive/DiskInfo.h"
#include "archive/Trash.h"
#include "archive/stringsTools.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"

namespace qm {

namespace {

std::string ParentOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

bool LinkStat(const std::string& path, struct stat& st) { return ::lstat(path.c_str(), &st) == 0; }

// ---- The private temporary folder ----

std::mutex g_tempMutex;
std::string g_tempBase;
std::string g_tempDir;
bool g_exitHookSet = false;

// Removes a tree of our own without following links; used for the private folder only,
// also at exit when a test's file system may be gone.
void RemoveOwnTree(const std::string& path) {
    struct stat st;
    if (!LinkStat(path, st)) return;
    if (S_ISDIR(st.st_mode)) {
        if (DIR* dir = ::opendir(path.c_str())) {
            std::vector<std::string> names;
            while (dirent* e = ::readdir(dir)) {
                const std::string name = e->d_name;
                if (name != "." && name != "..") names.push_back(name);
            }
            ::closedir(dir);
            for (const auto& name : names) RemoveOwnTree(path + "/" + name);
        }
        ::rmdir(path.c_str());
    } else {
        ::unlink(path.c_str());
    }
}

void RemoveTempAtExit() { RemoveTempDirectory(); }

// ---- Copy and delete of trees, through the file-system seam ----

std::string TransferError(const std::string& reason) {
    return _("File Error during transfert") + "\n" + reason;
}

[[noreturn]] void ThrowTransfer(int err) { throw filestools::EFileError(TransferError(SysErrorMessage(err))); }

// Keeps the source's modification time on a copy, so that a copied or moved set does
// not look changed to the next scan (the seam's copy keeps the mode already).
void KeepTimes(const std::string& target, const struct stat& source) {
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    ::utimensat(AT_FDCWD, target.c_str(), times, 0);
}

struct TTreeCopy {
    std::set<std::pair<dev_t, ino_t>> chain;  // folders being copied, against link loops

    // Copies from (file or folder) to to; an existing file to is replaced, an existing
    // folder to receives the folder's entries.
    int Copy(const std::string& from, const std::string& to) {
        struct stat st;
        if (::stat(from.c_str(), &st) != 0) return errno;
        if (!S_ISDIR(st.st_mode)) {
            TFileStat target;
            Fs().Stat(to, target);
            if (target.exists && target.isDir) return EISDIR;
            if (int err = Fs().CopyFile(from, to, true)) return err;
            KeepTimes(to, st);
            return 0;
        }
        const auto key = std::make_pair(st.st_dev, st.st_ino);
        if (chain.count(key)) return ELOOP;
        TFileStat target;
        Fs().Stat(to, target);
        if (target.exists && !target.isDir) return ENOTDIR;
        if (!target.exists)
            if (int err = Fs().MakeDir(to)) return err;
        std::vector<TDirEntry> entries;
        if (int err = Fs().ListDir(from, entries)) return err;
        chain.insert(key);
        for (const auto& entry : entries) {
            if (int err = Copy(from + "/" + entry.name, to + "/" + entry.name)) {
                chain.erase(key);
                return err;
            }
        }
        chain.erase(key);
        ::chmod(to.c_str(), st.st_mode & 07777);
        KeepTimes(to, st);
        return 0;
    }
};

// Removes a tree of the user's (what a move across volumes leaves behind), never
// following links.
int RemoveTree(const std::string& path) {
    struct stat st;
    if (!LinkStat(path, st)) return errno;
    if (!S_ISDIR(st.st_mode)) return Fs().Unlink(path);
    std::vector<TDirEntry> entries;
    if (int err = Fs().ListDir(path, entries)) return err;
    for (const auto& entry : entries)
        if (int err = RemoveTree(path + "/" + entry.name)) return err;
    return Fs().RemoveDir(path);
}

// Copies the folder from to a new folder to: the copy is built under a hidden name
// beside to and renamed into place when complete, so that a failure leaves no half
// copy under the final name.
int CopyFolderNew(const std::string& from, const std::string& to) {
    std::string pattern = SiblingTempPattern(ParentOf(to), NameOf(to));
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!::mkdtemp(buffer.data())) return errno;
    const std::string staging = buffer.data();
    TTreeCopy copier;
    int err = copier.Copy(from, staging);
    if (err == 0) err = Fs().RenameNoReplace(staging, to);
    if (err != 0) RemoveOwnTree(staging);
    return err;
}

// Copies from to a target that does not exist yet (file or folder), never replacing.
int CopyNew(const std::string& from, const std::string& to) {
    struct stat st;
    if (::stat(from.c_str(), &st) != 0) return errno;
    if (S_ISDIR(st.st_mode)) return CopyFolderNew(from, to);
    if (int err = Fs().CopyFile(from, to, false)) return err;
    KeepTimes(to, st);
    return 0;
}

// True when path is folder or lies inside it.
bool Inside(const std::string& folder, const std::string& path) {
    if (folder == "/") return true;
    return path.compare(0, folder.size(), folder) == 0 && (path.size() == folder.size() || path[folder.size()] == '/');
}

// The target of a copy or move: into dest when dest is an existing folder.
std::string TargetFor(const std::string& source, const std::string& dest) {
    const std::string target = NoSlash(AbsolutePath(dest));
    TFileStat st;
    Fs().Stat(target, st);
    if (st.exists && st.isDir) return (target == "/" ? "" : target) + "/" + NameOf(source);
    return target;
}

// "name (2).ext": the free names a moved entry may take.
std::string CollisionName(const std::string& path, int n) {
    const std::string folder = ParentOf(path);
    const std::string name = NameOf(path);
    const auto dot = name.find_last_of('.');
    const std::string number = " (" + std::to_string(n) + ")";
    const std::string renamed =
        dot == std::string::npos || dot == 0 ? name + number : name.substr(0, dot) + number + name.substr(dot);
    return (folder == "/" ? "" : folder) + "/" + renamed;
}

// Moves from to to (which must not exist): a rename, else copy and delete.
int MoveEntry(const std::string& from, const std::string& to) {
    struct stat st;
    if (!LinkStat(from, st)) return errno;
    int err = Fs().RenameNoReplace(from, to);
    if (err == EXDEV) {
        if ((err = CopyNew(from, to)) != 0) return err;
        return RemoveTree(from);
    }
    if (err == 0 && !S_ISDIR(st.st_mode)) {
        struct stat now;
        // A rename keeps the date; a copy made by the seam across volumes may not.
        if (LinkStat(to, now) && (now.st_mtim.tv_sec != st.st_mtim.tv_sec || now.st_mtim.tv_nsec != st.st_mtim.tv_nsec))
            KeepTimes(to, st);
    }
    return err;
}

// "*" and "?" are the only wildcards: rom names are full of "[" and "]", which must
// match themselves.
bool WildMatch(const std::string& pattern, const std::string& name) {
    size_t p = 0, n = 0, star = std::string::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (star != std::string::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

// File systems on which one file may be found under several spellings.
bool MayFoldCase(const std::string& path) {
    struct statfs fs;
    if (::statfs(path.c_str(), &fs) != 0) return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x4d44UL:      // vfat, msdos
    case 0x2011BAB0UL:  // exfat
    case 0x5346544eUL:  // ntfs
    case 0x7366746eUL:  // ntfs3
    case 0xFF534D42UL:  // cifs
    case 0xFE534D42UL:  // smb2
    case 0x517BUL:      // smb
    case 0x9660UL:      // iso9660
    case 0x15013346UL:  // udf
    case 0x482bUL:      // hfs+
        return true;
    default:
        return false;
    }
}

bool EntryExistsCase(const std::string& given, bool exactCase, bool folder) {
    const std::string path = NoSlash(given);
    if (path.empty()) return false;
    TFileStat st;
    if (Fs().Stat(path, st) != 0 || !st.exists || st.isDir != folder) return false;
    if (!exactCase || path == "/" || !MayFoldCase(path)) return true;
    std::vector<TDirEntry> entries;
    if (Fs().ListDir(ParentOf(path), entries) != 0) return false;
    const std::string name = NameOf(path);
    for (const auto& entry : entries)
        if (entry.name == name) return entry.isDir == folder;
    return false;
}

// ---- Processes ----

std::function<void()> g_restoreHook;
std::function<bool(const std::string&)> g_shellOpenHook;

QString ToQt(const std::string& bytes) { return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size())); }


void SetUpProcess(QProcess& process, const std::string& program, const std::vector<std::string>& arguments,
                  const std::string& workingDir) {
    QStringList args;
    for (const auto& argument : arguments) args << ToQt(argument);
    process.setProgram(ToQt(program));
    process.setArguments(args);
    if (!workingDir.empty()) process.setWorkingDirectory(ToQt(workingDir));
    // The child never waits for input from us; what it prints goes where ours goes.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::ForwardedChannels);
}

// Starts a child; with wait, keeps processing pending messages until it ends and gives
// its exit code. kRunFailed without wait, on a failed start or an abnormal end.
int RunChild(const std::string& program, const std::vector<std::string>& arguments, bool wait,
             const std::string& workingDir, bool& started) {
    started = false;
    if (program.empty()) return kRunFailed;
    QProcess process;
    SetUpProcess(process, program, arguments, workingDir);
    int result = kRunFailed;
    if (!wait) {
        started = process.startDetached();
    } else {
        process.start();
        started = process.waitForStarted(-1);
        if (started) {
            // The window keeps repainting while the child runs.
            while (process.state() != QProcess::NotRunning && !process.waitForFinished(30)) ProcessPendingMessages();
            if (process.exitStatus() == QProcess::NormalExit) result = process.exitCode();
        }
    }
    if (started && g_restoreHook) g_restoreHook();
    return result;
}

bool DefaultShellOpen(const std::string& target) {
    QProcess process;
    SetUpProcess(process, "xdg-open", {target}, {});
    return process.startDetached();
}

}  // namespace

int MoveToNewName(const std::string& from, const std::string& to) { return MoveEntry(from, to); }

// Words of a command line: blanks and tabs separate, double quotes group, and two double
// quotes inside a quoted part stand for one.
std::vector<std::string> SplitCommandLine(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') {
            if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
                word += '"';
                ++i;
            } else {
                quoted = !quoted;
            }
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

// ---- Temporary folder ----

std::string GetTempDirectoryBase() {
    std::lock_guard<std::mutex> lock(g_tempMutex);
    if (!g_tempBase.empty()) return g_tempBase;
    const char* env = std::getenv("TMPDIR");
    return WithSlash(env && *env ? env : "/tmp");
}

bool SetTempDirectoryBase(const std::string& folder) {
    std::lock_guard<std::mutex> lock(g_tempMutex);
    if (!g_tempDir.empty()) return false;
    g_tempBase = folder.empty() ? std::string() : WithSlash(folder);
    return true;
}

std::string GetTempDirectory() {
    const std::string base = GetTempDirectoryBase();
    std::lock_guard<std::mutex> lock(g_tempMutex);
    if (!g_tempDir.empty()) return g_tempDir;
    std::string pattern = base + "quarmelle-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!::mkdtemp(buffer.data()))
        throw filestools::EFileError(Fmt(_("Cannot create a temporary folder in %1: %2"), {base, SysErrorMessage(errno)}));
    g_tempDir = WithSlash(buffer.data());
    if (!g_exitHookSet) {
        std::atexit(RemoveTempAtExit);
        g_exitHookSet = true;
    }
    return g_tempDir;
}

void RemoveTempDirectory() {
    std::lock_guard<std::mutex> lock(g_tempMutex);
    if (g_tempDir.empty()) return;
    RemoveOwnTree(NoSlash(g_tempDir));
    g_tempDir.clear();
}

// ---- Sizes, dates, statistics ----

int32_t DosDateTimeFromUnix(int64_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (!::localtime_r(&t, &local)) return -1;
    const int year = local.tm_year + 1900;
    if (year < 1980) return static_cast<int32_t>((1u << 5 | 1u) << 16);  // 1980-01-01 00:00:00
    if (year > 2107) return -1;
    const uint32_t date = static_cast<uint32_t>(((year - 1980) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
    const uint32_t time = static_cast<uint32_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
    return static_cast<int32_t>(date << 16 | time);
}

int64_t GetFileSizeByName(const std::string& name) {
    const std::string path = NoSlash(name);
    const std::string folder = ParentOf(path);
    const std::string pattern = NameOf(path);
    if (pattern.find_first_of("*?") == std::string::npos) {
        TFileStat st;
        if (Fs().Stat(path, st) != 0 || !st.exists) return -1;
        return st.isDir ? 0 : st.size;
    }
    std::vector<TDirEntry> entries;
    if (Fs().ListDir(folder, entries) != 0) return -1;
    for (const auto& entry : entries)
        if (WildMatch(pattern, entry.name)) return entry.isDir ? 0 : entry.size;
    return -1;
}

int CountDirEntries(const std::string& dir) {
    // Only names are counted: a listing would stat every entry, and the cache of a
    // rom path recounts its folder at every save.
    DIR* folder = ::opendir(NoSlash(dir).c_str());
    if (folder == nullptr) return 0;
    int count = 0;
    while (const dirent* entry = ::readdir(folder)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        ++count;
        ProcessPendingMessages();
    }
    ::closedir(folder);
    return count;
}

int32_t GetLatestFileTime(const std::string& dir) {
    std::vector<TDirEntry> entries;
    int32_t latest = 0;
    if (Fs().ListDir(NoSlash(dir), entries) != 0) return 0;
    for (const auto& entry : entries) {
        const int32_t stamp = DosDateTimeFromUnix(entry.mtime);
        if (stamp >= latest) latest = stamp;
        ProcessPendingMessages();
    }
    return latest;
}

void GetDirStatistics(const std::string& dir, bool recurse, TDirStatistics& counters) {
    counters = TDirStatistics{};
    const std::string folder = NoSlash(dir);
    std::vector<TDirEntry> entries;
    if (Fs().ListDir(folder, entries) != 0) return;
    for (const auto& entry : entries) {
        const std::string path = (folder == "/" ? "" : folder) + "/" + entry.name;
        struct stat st;
        if (!LinkStat(path, st)) continue;
        if (!S_ISDIR(st.st_mode)) {
            ++counters.files;
            if (S_ISREG(st.st_mode)) counters.bytes += static_cast<int64_t>(st.st_size);
            continue;
        }
        if (entry.name[0] == '.') continue;
        ++counters.folders;
        if (recurse) {
            TDirStatistics inner;
            GetDirStatistics(path, true, inner);
            counters.files += inner.files;
            counters.folders += inner.folders;
            counters.bytes += inner.bytes;
        }
    }
}

int32_t GetFileDosDateTime(const std::string& name) {
    TFileStat st;
    if (Fs().Stat(NoSlash(name), st) != 0 || !st.exists) return -1;
    return DosDateTimeFromUnix(st.mtime);
}

bool FileHasAttr(const std::string& name, uint16_t attr) {
    const std::string path = NoSlash(name);
    TFileStat st;
    if (Fs().Stat(path, st) != 0 || !st.exists) return attr == 0;
    uint16_t have = 0;
    if (!(st.mode & S_IWUSR)) have |= faReadOnly;
    if (!NameOf(path).empty() && NameOf(path)[0] == '.') have |= faHidden;
    if (st.isDir) have |= faDirectory;
    if (S_ISREG(st.mode)) have |= faArchive;
    return (have & attr) == attr;
}

bool ClearReadOnly(const std::string& name) {
    const std::string path = NoSlash(name);
    TFileStat st;
    if (Fs().Stat(path, st) != 0 || !st.exists) return false;
    if (st.mode & S_IWUSR) return true;
    return ::chmod(path.c_str(), (st.mode & 07777) | S_IWUSR) == 0;
}

bool IsReadOnlyPath(const std::string& dir) {
    const std::string path = NoSlash(dir);
    TFileStat st;
    if (Fs().Stat(path, st) != 0 || !st.exists || !st.isDir) return false;
    return Fs().IsReadOnly(path);
}

bool FileExistsCase(const std::string& name, bool exactCase) { return EntryExistsCase(name, exactCase, false); }

bool DirExistsCase(const std::string& dir, bool exactCase) { return EntryExistsCase(dir, exactCase, true); }

bool PathExists(const std::string& name) {
    TFileStat st;
    return Fs().Stat(NoSlash(name), st) == 0 && st.exists;
}

bool FolderExists(const std::string& name) { return DirExistsCase(name, false); }

std::string PathWithoutDrive(const std::string& path) {
    std::string full = AbsolutePath(path);
    if (!path.empty() && path.back() == '/' && full != "/") full += "/";
    const std::string folder = full == "/" ? "/" : full.substr(0, full.find_last_of('/'));
    const std::string lookup = folder.empty() ? "/" : folder;
    TVolumeFacts facts;
    std::string rest = folder;
    if (Volumes().Query(lookup, facts)) {
        const std::string root = NoSlash(facts.root);
        if (root != "/" && Inside(root, lookup)) rest = lookup.substr(root.size());
    }
    if (rest.empty() || rest[0] != '/') rest = "/" + rest;
    return WithSlash(rest);
}

bool WriteByteAt(const std::string& fileName, int64_t position, uint8_t value) {
    const auto fail = [&](int err) {
        throw filestools::EFileError(Fmt(_("Cannot write %1: %2"), {fileName, SysErrorMessage(err)}));
    };
    TFileStat st;
    Fs().Stat(fileName, st);
    if (st.exists && st.isDir) fail(EISDIR);
    const auto writeInto = [&](int fd) -> int {
        if (position >= 1) {
            const char byte = static_cast<char>(value);
            if (::pwrite(fd, &byte, 1, static_cast<off_t>(position - 1)) != 1) return errno;
        }
        return SyncFd(fd) == 0 ? 0 : errno;
    };
    if (st.exists) {
        const int fd = ::open(fileName.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) fail(errno);
        int err = writeInto(fd);
        if (::close(fd) != 0 && err == 0) err = errno;
        if (err) fail(err);
        return true;
    }
    // A new file is written under a hidden name beside it and then put in place, so that
    // a half-written file never carries the name.
    std::string temp;
    if (int err = CreateSiblingTemp(fileName, temp)) fail(err);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    int err = fd < 0 ? errno : writeInto(fd);
    if (fd >= 0) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
        if (::close(fd) != 0 && err == 0) err = errno;
    }
    if (err == 0) err = Fs().RenameNoReplace(temp, fileName);
    if (err != 0) {
        ::unlink(temp.c_str());
        fail(err);
    }
    return true;
}

// ---- Copy, move, delete ----

void ShellCopyFile(const std::string& source, const std::string& dest) {
    const std::string from = NoSlash(AbsolutePath(source));
    struct stat st;
    if (::stat(from.c_str(), &st) != 0) ThrowTransfer(errno);
    const std::string to = TargetFor(from, dest);
    if (S_ISDIR(st.st_mode) && Inside(from, to)) ThrowTransfer(EINVAL);
    if (to == from) ThrowTransfer(EEXIST);
    TFileStat target;
    Fs().Stat(to, target);
    int err;
    if (S_ISDIR(st.st_mode) && !target.exists) {
        err = CopyFolderNew(from, to);
    } else {
        TTreeCopy copier;
        err = copier.Copy(from, to);
    }
    if (err) ThrowTransfer(err);
}

void ShellMoveFile(const std::string& source, const std::string& dest, bool renameOnCollision) {
    const std::string from = NoSlash(AbsolutePath(source));
    struct stat st;
    if (!LinkStat(from, st)) ThrowTransfer(errno);
    std::string to = TargetFor(from, dest);
    if (to == from) return;
    if (S_ISDIR(st.st_mode) && Inside(from, to)) ThrowTransfer(EINVAL);
    for (int n = 2;; ++n) {
        struct stat existing;
        if (!LinkStat(to, existing)) {
            const int err = MoveEntry(from, to);
            if (err == 0) return;
            if (err != EEXIST || !renameOnCollision) ThrowTransfer(err);
        } else if (!renameOnCollision) {
            ThrowTransfer(EEXIST);
        }
        if (n > 10000) ThrowTransfer(EEXIST);
        to = CollisionName(TargetFor(from, dest), n);
    }
}

void ShellDeleteFile(const std::string& name) {
    std::string reason;
    if (!MoveToTrash(name, reason)) throw filestools::EFileError(TransferError(reason));
}

void MoveFileSafe(const std::string& source, const std::string& dest) {
    const std::string from = NoSlash(AbsolutePath(source));
    const std::string to = NoSlash(AbsolutePath(dest));
    struct stat st;
    const bool exists = LinkStat(from, st);
    int err = Fs().RenameNoReplace(from, to);
    if (err == 0) {
        struct stat now;
        if (exists && !S_ISDIR(st.st_mode) && LinkStat(to, now) && now.st_mtim.tv_sec != st.st_mtim.tv_sec)
            KeepTimes(to, st);
        return;
    }
    if (FileHasAttr(from, faReadOnly)) throw EFCantMove(_("Can't move file. (readonly)"));
    // An existing Dest is never replaced: the clash is reported, not overwritten.
    if (err != EEXIST && exists) err = CopyNew(from, to);
    if (err != 0) throw EFCantMove(_("Can't copy file.") + "\n" + SysErrorMessage(err));
    if ((err = RemoveTree(from)) != 0) throw EFCantMove(_("Can't delete original.") + "\n" + SysErrorMessage(err));
}

void PutFileInPlace(const std::string& work, const std::string& dest) {
    std::string temporary;
    int err = CreateSiblingTemp(dest, temporary);
    if (err == 0) {
        // The empty placeholder only reserved the name; the rename never replaces.
        err = Fs().Unlink(temporary);
        if (err == 0) err = Fs().RenameNoReplace(work, temporary);
        if (err == 0) err = Fs().ReplaceWith(temporary, dest);
        if (err != 0) Fs().Unlink(temporary);
    }
    if (err != 0) throw EFCantMove(_("Can't copy file.") + "\n" + SysErrorMessage(err));
}

void CheckDiskSpace(const std::string& path, int64_t bytes) {
    // The free space is read on every call, as TDiskInfo reads it; the volume's identity
    // (mount table, device links), which a fix would otherwise read thousands of times,
    // is only read to name a full disk. Unknown free space is no free space.
    const int64_t free = std::max<int64_t>(0, Fs().FreeSpace(AbsolutePath(path)));
    // Written so that a huge request cannot overflow: free is never negative.
    if (bytes > free - kDiskSpaceReserve) throw EDiskFull(Fmt(_("Disk %1 is full"), {TDiskInfo(path).Disk()}));
}

// ---- Processes ----

int RunProgramWithArgs(const std::string& program, const std::vector<std::string>& arguments, bool wait, bool minimized,
               const std::string& workingDir) {
    (void)minimized;
    bool started = false;
    return RunChild(program, arguments, wait, workingDir, started);
}

int RunProgram(const std::string& commandLine, bool wait, bool minimized, const std::string& workingDir) {
    std::vector<std::string> words = SplitCommandLine(commandLine);
    if (words.empty()) return kRunFailed;
    const std::string program = words.front();
    words.erase(words.begin());
    return RunProgramWithArgs(program, words, wait, minimized, workingDir);
}

void SetRestoreMainWindowHook(std::function<void()> hook) { g_restoreHook = std::move(hook); }

void SetShellOpenHook(std::function<bool(const std::string&)> hook) { g_shellOpenHook = std::move(hook); }

int ShellExecuteAndWait(const std::string& fileName, const std::string& params, const std::string& dir, int showCmd,
                        bool wait) {
    (void)showCmd;
    if (fileName.empty()) throw Exception(_("The specified file was not found."));
    const bool isUrl = fileName.find("://") != std::string::npos || fileName.compare(0, 7, "mailto:") == 0;
    if (!isUrl && fileName.find('/') != std::string::npos) {
        TFileStat st;
        if (Fs().Stat(fileName, st) != 0 || !st.exists) throw Exception(_("The specified file was not found."));
    }
    if (params.empty()) {
        const bool accepted = g_shellOpenHook ? g_shellOpenHook(fileName) : DefaultShellOpen(fileName);
        if (!accepted) throw Exception(_("There is no application associated with the given filename extension."));
        return 1;
    }
    bool started = false;
    const int code = RunChild(fileName, SplitCommandLine(params), wait, dir, started);
    if (!started) throw Exception(_("The specified file was not found."));
    return wait ? code : 1;
}

}  // namespace qm
