#pragma once
// The one seam through which the program changes files. Every file-system call of the
// repairs, the cache, the settings and the datafile writer goes through Fs(), so that
// tests can make any call fail (TFaultyFileSystem) and prove that nothing is lost.
//
// Calls return 0 on success or an errno value; SysErrorMessage turns that into the
// system's text, which the calling unit raises with its own exception class.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qm {

struct TFileStat {
    bool exists = false;
    bool isDir = false;
    int64_t size = -1;
    int64_t mtime = 0;  // seconds since the epoch
    unsigned mode = 0;
};

struct TDirEntry {
    std::string name;  // bytes as the system gives them, no folder
    bool isDir = false;
    int64_t size = -1;
    int64_t mtime = 0;
};

// A file written in pieces in place of another, for a file too large to hold whole: the
// pieces go to a temporary file beside the target, which Commit flushes and renames over
// it. Dropped uncommitted (or after a failure), it removes the temporary file and leaves
// the target as it was.
class IAtomicWriter {
public:
    virtual ~IAtomicWriter() = default;
    // 0 or errno; after a failure the writer takes nothing more.
    virtual int Write(std::string_view data) = 0;
    virtual int Commit() = 0;
};

class IFileSystem {
public:
    virtual ~IFileSystem() = default;

    virtual int Stat(const std::string& path, TFileStat& out) = 0;
    // Entries of a folder but "." and "..", sorted by name (byte order).
    virtual int ListDir(const std::string& path, std::vector<TDirEntry>& out) = 0;
    virtual int ReadFile(const std::string& path, std::string& out) = 0;

    // Renames without ever replacing an existing target (EEXIST when it exists):
    // renameat2(RENAME_NOREPLACE), else link + unlink, and across file systems a copy
    // opened with O_EXCL, flushed, then the unlink of the source.
    virtual int RenameNoReplace(const std::string& from, const std::string& to) = 0;
    // Renames over an existing target; only for putting a finished temporary file in
    // place of the file it rewrites (same folder).
    virtual int ReplaceWith(const std::string& temporary, const std::string& target) = 0;
    // Puts finished temporary files in place of their targets, in order, each as
    // ReplaceWith does, up to the first failure; results[i] is 0 or the errno of
    // moves[i], for the moves tried. The real file system flushes each folder once at
    // the end instead of once per file.
    virtual void ReplaceEach(const std::vector<std::pair<std::string, std::string>>& moves,
                             std::vector<int>& results);
    // Opens a file as open(2) does, O_CLOEXEC added: 0 with the descriptor in fd, or the
    // errno. The zip layer reads and writes archives through it.
    virtual int Open(const std::string& path, int flags, unsigned mode, int& fd);
    virtual int Unlink(const std::string& path) = 0;
    virtual int MakeDir(const std::string& path) = 0;
    virtual int RemoveDir(const std::string& path) = 0;
    // Writes data to a new temporary file beside path, flushes it, then renames it over
    // path. A failure leaves the old file as it was and no temporary file behind.
    virtual int WriteFileAtomic(const std::string& path, const std::string& data) = 0;
    // WriteFileAtomic in pieces: 0 with writer set, or errno. The default collects the
    // pieces and hands them to WriteFileAtomic at the commit.
    virtual int OpenAtomicWriter(const std::string& path, std::unique_ptr<IAtomicWriter>& writer);
    // Copies a file; the copy is written beside its target under a temporary name and
    // renamed into place, without replacing an existing target unless overwrite.
    virtual int CopyFile(const std::string& from, const std::string& to, bool overwrite) = 0;

    // Free bytes for an unprivileged user on the volume of path; -1 when unknown.
    virtual int64_t FreeSpace(const std::string& path) = 0;
    // True when files cannot be written in the folder (or on the volume) of path.
    virtual bool IsReadOnly(const std::string& path) = 0;
};

// The file system in force; never null.
IFileSystem& Fs();
// Installs a file system (not owned); nullptr restores the real one.
void SetFileSystem(IFileSystem* fs);

// The real file system.
class TRealFileSystem : public IFileSystem {
public:
    int Stat(const std::string& path, TFileStat& out) override;
    int ListDir(const std::string& path, std::vector<TDirEntry>& out) override;
    int ReadFile(const std::string& path, std::string& out) override;
    int RenameNoReplace(const std::string& from, const std::string& to) override;
    int ReplaceWith(const std::string& temporary, const std::string& target) override;
    void ReplaceEach(const std::vector<std::pair<std::string, std::string>>& moves,
                     std::vector<int>& results) override;
    int Unlink(const std::string& path) override;
    int MakeDir(const std::string& path) override;
    int RemoveDir(const std::string& path) override;
    int WriteFileAtomic(const std::string& path, const std::string& data) override;
    int OpenAtomicWriter(const std::string& path, std::unique_ptr<IAtomicWriter>& writer) override;
    int CopyFile(const std::string& from, const std::string& to, bool overwrite) override;
    int64_t FreeSpace(const std::string& path) override;
    bool IsReadOnly(const std::string& path) override;
};

// Passes every call to another file system, but makes the failAt-th changing call
// (1-based; 0 never) fail with failErrno, or every changing call from then on when
// sticky. Free space and read-only answers can be forced.
class TFaultyFileSystem : public IFileSystem {
public:
    explicit TFaultyFileSystem(IFileSystem& inner) : inner_(inner) {}
    // A copy would silently drop the layer it wraps; nest by reference instead.
    TFaultyFileSystem(const TFaultyFileSystem&) = delete;
    TFaultyFileSystem& operator=(const TFaultyFileSystem&) = delete;

    int failAt = 0;
    int failErrno = 5;  // EIO
    bool sticky = false;
    int64_t forcedFreeSpace = -2;  // -2: ask the inner file system
    std::vector<std::string> readOnlyPaths;  // prefixes reported read-only
    int changingCalls = 0;                   // counted so far
    // Opens of a path that starts with the prefix fail with the errno.
    std::vector<std::pair<std::string, int>> failOpens;
    // A path that starts with one of these opens for writing onto a full disk: every
    // write to it fails with ENOSPC.
    std::vector<std::string> fullPaths;
    // A writer opened by OpenAtomicWriter (one changing call) fails its writes with
    // failErrno once this many bytes went through it, as on a disk that fills up; -1 never.
    int64_t failWritesAfter = -1;

    int Stat(const std::string& path, TFileStat& out) override { return inner_.Stat(path, out); }
    int ListDir(const std::string& path, std::vector<TDirEntry>& out) override { return inner_.ListDir(path, out); }
    int ReadFile(const std::string& path, std::string& out) override { return inner_.ReadFile(path, out); }
    int RenameNoReplace(const std::string& from, const std::string& to) override;
    int ReplaceWith(const std::string& temporary, const std::string& target) override;
    int Unlink(const std::string& path) override;
    int MakeDir(const std::string& path) override;
    int RemoveDir(const std::string& path) override;
    int WriteFileAtomic(const std::string& path, const std::string& data) override;
    int OpenAtomicWriter(const std::string& path, std::unique_ptr<IAtomicWriter>& writer) override;
    int CopyFile(const std::string& from, const std::string& to, bool overwrite) override;
    int Open(const std::string& path, int flags, unsigned mode, int& fd) override;
    int64_t FreeSpace(const std::string& path) override;
    bool IsReadOnly(const std::string& path) override;

    // True when the next changing call is to fail (and counts it).
    bool Fail();

private:
    IFileSystem& inner_;
};

// Installs a file system for the lifetime of the object.
class TScopedFileSystem {
public:
    explicit TScopedFileSystem(IFileSystem& fs);
    ~TScopedFileSystem();
    TScopedFileSystem(const TScopedFileSystem&) = delete;
    TScopedFileSystem& operator=(const TScopedFileSystem&) = delete;

private:
    IFileSystem* previous_;
};

// The system's text for an errno value.
std::string SysErrorMessage(int err);

// The file a rewrite must replace: for a symbolic link the file it points to (so that
// the link stays a link to the rewritten file), else path itself. A link that leads
// nowhere comes back as it is.
std::string FileBehindLinks(const std::string& path);

// Creates every missing folder of path (like mkdir -p); 0 or errno.
int MakeDirs(const std::string& path);

// The name of a fresh temporary file beside path (same folder, hidden, unique); the
// file is created empty with O_EXCL and mode so that nobody else takes the name. The
// caller writes it and renames it, or unlinks it.
int CreateSiblingTemp(const std::string& path, std::string& tempName, unsigned mode = 0600);

// The mkstemp/mkdtemp pattern of a work file or folder beside folder/name: hidden, and
// naming the process that makes it, so that another one can tell a leftover.
std::string SiblingTempPattern(const std::string& folder, const std::string& name);
// Whether a folder entry is such a work file (of any process, this one included).
bool IsSiblingTemp(const std::string& name);
// Whether the work file at path is a leftover: its process is gone (for a name without
// a process, one not written for a day).
bool SiblingTempLeftOver(const std::string& path);

// fsync through one door, so that a benchmark can count the flushes a command costs:
// 0, or -1 with errno set, as fsync. SyncCount: the calls made so far in this process.
int SyncFd(int fd);
int64_t SyncCount();

}  // namespace qm
