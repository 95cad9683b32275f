#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <ctime>
#include <string_view>
#include <atomic>
#include <cstdlib>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace qm {

namespace {

TRealFileSystem g_real;
IFileSystem* g_fs = &g_real;

std::string FolderOf(const std::string& path) {
    const auto p = path.find_last_of('/');
    if (p == std::string::npos) return ".";
    if (p == 0) return "/";
    return path.substr(0, p);
}

std::string NameOf(const std::string& path) {
    const auto p = path.find_last_of('/');
    return p == std::string::npos ? path : path.substr(p + 1);
}

int WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return 0;
}

int FsyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    SyncFd(fd);  // some file systems refuse fsync on folders; the data is safe anyway
    ::close(fd);
    return 0;
}

// Copies the bytes of from into the open file out and flushes it.
int CopyInto(const std::string& from, int out) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return errno;
    char buffer[1 << 16];
    int err = 0;
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            err = errno;
            break;
        }
        if (n == 0) break;
        if ((err = WriteAll(out, buffer, static_cast<size_t>(n))) != 0) break;
    }
    ::close(in);
    if (err == 0 && SyncFd(out) != 0) err = errno;
    return err;
}

}  // namespace

IFileSystem& Fs() { return *g_fs; }

void SetFileSystem(IFileSystem* fs) { g_fs = fs ? fs : &g_real; }

std::string SysErrorMessage(int err) {
    char buffer[256];
    // GNU strerror_r returns the text, which may or may not live in buffer.
    const char* text = strerror_r(err, buffer, sizeof buffer);
    return text ? text : "Unknown error";
}

std::string FileBehindLinks(const std::string& path) {
    struct stat link;
    if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return path;
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr) return path;
    std::string target = real;
    ::free(real);
    return target;
}

namespace {
constexpr std::string_view kTempMark = ".qmtmp-";
}  // namespace

std::string SiblingTempPattern(const std::string& folder, const std::string& name) {
    return folder + "/." + name + std::string(kTempMark) + std::to_string(::getpid()) + "-XXXXXX";
}

bool IsSiblingTemp(const std::string& name) {
    return !name.empty() && name[0] == '.' && name.find(kTempMark) != std::string::npos;
}

bool SiblingTempLeftOver(const std::string& path) {
    const std::string name = NameOf(path);
    if (!IsSiblingTemp(name)) return false;
    const size_t at = name.rfind(kTempMark) + kTempMark.size();
    const size_t dash = name.find('-', at);
    if (dash != std::string::npos && dash > at &&
        name.find_first_not_of("0123456789", at) == dash) {
        const long pid = std::strtol(name.c_str() + at, nullptr, 10);
        if (pid <= 0 || pid == ::getpid()) return false;
        return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
    }
    // Made before work files named their process: left over once nobody wrote it for a day.
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return false;
    return std::time(nullptr) - st.st_mtime > 24 * 60 * 60;
}

int CreateSiblingTemp(const std::string& path, std::string& tempName, unsigned mode) {
    std::string pattern = SiblingTempPattern(FolderOf(path), NameOf(path));
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    const int fd = ::mkstemp(buf.data());
    if (fd < 0) return errno;
    if (mode != 0600) ::fchmod(fd, static_cast<mode_t>(mode));
    ::close(fd);
    tempName.assign(buf.data());
    return 0;
}

int MakeDirs(const std::string& path) {
    if (path.empty()) return 0;
    std::string current;
    size_t pos = 0;
    while (pos != std::string::npos) {
        const size_t next = path.find('/', pos + 1);
        current = path.substr(0, next);
        pos = next;
        if (current.empty() || current == "/") continue;
        TFileStat st;
        Fs().Stat(current, st);
        if (st.exists) {
            if (!st.isDir) return ENOTDIR;
            continue;
        }
        const int err = Fs().MakeDir(current);
        if (err != 0 && err != EEXIST) return err;
    }
    return 0;
}

int TRealFileSystem::Stat(const std::string& path, TFileStat& out) {
    out = TFileStat{};
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return errno;
    out.exists = true;
    out.isDir = S_ISDIR(st.st_mode);
    out.size = static_cast<int64_t>(st.st_size);
    out.mtime = static_cast<int64_t>(st.st_mtime);
    out.mode = st.st_mode;
    return 0;
}

int TRealFileSystem::ListDir(const std::string& path, std::vector<TDirEntry>& out) {
    out.clear();
    DIR* dir = ::opendir(path.c_str());
    if (!dir) return errno;
    const std::string base = path.empty() || path.back() == '/' ? path : path + "/";
    while (dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        TDirEntry entry;
        entry.name = e->d_name;
        struct stat st;
        if (::stat((base + entry.name).c_str(), &st) == 0) {
            entry.isDir = S_ISDIR(st.st_mode);
            entry.size = static_cast<int64_t>(st.st_size);
            entry.mtime = static_cast<int64_t>(st.st_mtime);
        }
        out.push_back(std::move(entry));
    }
    ::closedir(dir);
    std::sort(out.begin(), out.end(), [](const TDirEntry& a, const TDirEntry& b) { return a.name < b.name; });
    return 0;
}

int TRealFileSystem::ReadFile(const std::string& path, std::string& out) {
    out.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    struct stat st;
    if (::fstat(fd, &st) == 0 && st.st_size > 0) out.reserve(static_cast<size_t>(st.st_size));
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            return err;
        }
        if (n == 0) break;
        out.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return 0;
}

int TRealFileSystem::RenameNoReplace(const std::string& from, const std::string& to) {
    if (::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    int err = errno;
    if (err != EINVAL && err != ENOSYS && err != EXDEV) return err;
    struct stat st;
    if (::lstat(from.c_str(), &st) != 0) return errno;
    if (err != EXDEV) {
        if (!S_ISDIR(st.st_mode)) {
            // link() fails on an existing target, which is the guarantee we want.
            if (::link(from.c_str(), to.c_str()) == 0) {
                ::unlink(from.c_str());
                return 0;
            }
            err = errno;
            if (err == EEXIST) return err;
            if (err != EXDEV && err != EPERM && err != EOPNOTSUPP) return err;
        } else {
            struct stat target;
            if (::lstat(to.c_str(), &target) == 0) return EEXIST;
            if (::rename(from.c_str(), to.c_str()) == 0) return 0;
            err = errno;
            if (err != EXDEV) return err;
        }
    }
    if (S_ISDIR(st.st_mode)) return EXDEV;  // folders are not copied across volumes here
    // Across file systems: an exclusive copy, flushed, then the source goes.
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777);
    if (out < 0) return errno;
    err = CopyInto(from, out);
    if (err == 0) {
        // A moved file keeps its dates: scans compare them with the cache.
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        ::futimens(out, times);
    }
    if (::close(out) != 0 && err == 0) err = errno;
    if (err != 0) {
        ::unlink(to.c_str());
        return err;
    }
    if (::unlink(from.c_str()) != 0) return errno;
    return 0;
}

int TRealFileSystem::ReplaceWith(const std::string& temporary, const std::string& target) {
    if (::rename(temporary.c_str(), target.c_str()) != 0) return errno;
    FsyncFolder(FolderOf(target));
    return 0;
}

void IFileSystem::ReplaceEach(const std::vector<std::pair<std::string, std::string>>& moves,
                              std::vector<int>& results) {
    results.clear();
    for (const auto& [temporary, target] : moves) {
        results.push_back(ReplaceWith(temporary, target));
        if (results.back() != 0) break;
    }
}

void TRealFileSystem::ReplaceEach(const std::vector<std::pair<std::string, std::string>>& moves,
                                  std::vector<int>& results) {
    results.clear();
    std::vector<std::string> folders;
    for (const auto& [temporary, target] : moves) {
        results.push_back(::rename(temporary.c_str(), target.c_str()) == 0 ? 0 : errno);
        if (results.back() != 0) break;
        std::string folder = FolderOf(target);
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(std::move(folder));
    }
    for (const std::string& folder : folders) FsyncFolder(folder);
}

int TRealFileSystem::Unlink(const std::string& path) { return ::unlink(path.c_str()) == 0 ? 0 : errno; }

int TRealFileSystem::MakeDir(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0 ? 0 : errno; }

int TRealFileSystem::RemoveDir(const std::string& path) { return ::rmdir(path.c_str()) == 0 ? 0 : errno; }

namespace {

// The temporary file of a rewrite, beside its target, with the target's permissions.
class TRealAtomicWriter final : public IAtomicWriter {
public:
    explicit TRealAtomicWriter(std::string target) : target_(std::move(target)) {}
    ~TRealAtomicWriter() override { Drop(); }

    int Open() {
        if (int err = CreateSiblingTemp(target_, temp_)) return err;
        fd_ = ::open(temp_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd_ < 0) {
            const int err = errno;
            Drop();
            return err;
        }
        struct stat old;
        ::fchmod(fd_, ::stat(target_.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
        return 0;
    }

    int Write(std::string_view data) override {
        if (fd_ < 0) return EBADF;
        const int err = WriteAll(fd_, data.data(), data.size());
        if (err != 0) Drop();
        return err;
    }

    int Commit() override {
        if (fd_ < 0) return EBADF;
        int err = SyncFd(fd_) != 0 ? errno : 0;
        if (::close(fd_) != 0 && err == 0) err = errno;
        fd_ = -1;
        if (err == 0 && ::rename(temp_.c_str(), target_.c_str()) != 0) err = errno;
        if (err != 0) {
            Drop();
            return err;
        }
        temp_.clear();
        FsyncFolder(FolderOf(target_));
        return 0;
    }

private:
    void Drop() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        if (!temp_.empty()) ::unlink(temp_.c_str());
        temp_.clear();
    }

    std::string target_;
    std::string temp_;
    int fd_ = -1;
};

// For file systems that only know whole writes.
class TCollectingWriter final : public IAtomicWriter {
public:
    TCollectingWriter(IFileSystem& fs, std::string target) : fs_(fs), target_(std::move(target)) {}
    int Write(std::string_view data) override {
        data_ += data;
        return 0;
    }
    int Commit() override { return fs_.WriteFileAtomic(target_, data_); }

private:
    IFileSystem& fs_;
    std::string target_;
    std::string data_;
};

// Passes the pieces on until limit bytes went through, then fails them.
class TFaultyWriter final : public IAtomicWriter {
public:
    TFaultyWriter(std::unique_ptr<IAtomicWriter> inner, int64_t limit, int err)
        : inner_(std::move(inner)), limit_(limit), err_(err) {}
    int Write(std::string_view data) override {
        if (failed_ || (limit_ >= 0 && written_ + static_cast<int64_t>(data.size()) > limit_)) {
            failed_ = true;
            inner_.reset();  // what a full disk leaves: no temporary file, the target as it was
            return err_;
        }
        written_ += static_cast<int64_t>(data.size());
        return inner_->Write(data);
    }
    int Commit() override { return failed_ ? err_ : inner_->Commit(); }

private:
    std::unique_ptr<IAtomicWriter> inner_;
    int64_t limit_;
    int err_;
    int64_t written_ = 0;
    bool failed_ = false;
};

}  // namespace

int IFileSystem::OpenAtomicWriter(const std::string& path, std::unique_ptr<IAtomicWriter>& writer) {
    writer = std::make_unique<TCollectingWriter>(*this, path);
    return 0;
}

int TRealFileSystem::OpenAtomicWriter(const std::string& path, std::unique_ptr<IAtomicWriter>& writer) {
    writer.reset();
    auto opened = std::make_unique<TRealAtomicWriter>(path);
    if (int err = opened->Open()) return err;
    writer = std::move(opened);
    return 0;
}

int TRealFileSystem::WriteFileAtomic(const std::string& path, const std::string& data) {
    std::unique_ptr<IAtomicWriter> writer;
    if (int err = OpenAtomicWriter(path, writer)) return err;
    if (int err = writer->Write(data)) return err;
    return writer->Commit();
}

int TRealFileSystem::CopyFile(const std::string& from, const std::string& to, bool overwrite) {
    struct stat st;
    if (::stat(from.c_str(), &st) != 0) return errno;
    if (!overwrite && ::access(to.c_str(), F_OK) == 0) return EEXIST;
    std::string temp;
    if (int err = CreateSiblingTemp(to, temp)) return err;
    const int out = ::open(temp.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (out < 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        return err;
    }
    ::fchmod(out, st.st_mode & 07777);
    int err = CopyInto(from, out);
    if (::close(out) != 0 && err == 0) err = errno;
    if (err == 0) {
        if (overwrite) {
            if (::rename(temp.c_str(), to.c_str()) != 0) err = errno;
        } else {
            err = RenameNoReplace(temp, to);
        }
    }
    if (err != 0) {
        ::unlink(temp.c_str());
        return err;
    }
    return 0;
}

int64_t TRealFileSystem::FreeSpace(const std::string& path) {
    // The path may not exist yet: ask its nearest existing folder.
    std::string probe = path.empty() ? "." : path;
    struct statvfs vfs;
    while (::statvfs(probe.c_str(), &vfs) != 0) {
        if (probe == "/" || probe == ".") return -1;
        while (probe.size() > 1 && probe.back() == '/') probe.pop_back();
        probe = FolderOf(probe);
    }
    return static_cast<int64_t>(vfs.f_bavail) * static_cast<int64_t>(vfs.f_frsize);
}

bool TRealFileSystem::IsReadOnly(const std::string& path) {
    struct statvfs vfs;
    if (::statvfs(path.c_str(), &vfs) == 0 && (vfs.f_flag & ST_RDONLY)) return true;
    struct stat st;
    std::string folder = path;
    if (::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) folder = FolderOf(path);
    return ::access(folder.c_str(), W_OK) != 0;
}

int IFileSystem::Open(const std::string& path, int flags, unsigned mode, int& fd) {
    fd = ::open(path.c_str(), flags | O_CLOEXEC, static_cast<mode_t>(mode));
    return fd < 0 ? errno : 0;
}

int TFaultyFileSystem::Open(const std::string& path, int flags, unsigned mode, int& fd) {
    const auto under = [&path](const std::string& prefix) { return path.compare(0, prefix.size(), prefix) == 0; };
    for (const auto& [prefix, err] : failOpens)
        if (under(prefix)) return err;
    if ((flags & O_ACCMODE) != O_RDONLY)
        for (const std::string& prefix : fullPaths)
            if (under(prefix)) {
                // The file is made as asked; what is written to it goes to the full device.
                if (const int err = inner_.Open(path, flags, mode, fd); err != 0) return err;
                ::close(fd);
                return inner_.Open("/dev/full", O_RDWR, 0, fd);
            }
    return inner_.Open(path, flags, mode, fd);
}

bool TFaultyFileSystem::Fail() {
    ++changingCalls;
    if (failAt <= 0) return false;
    return sticky ? changingCalls >= failAt : changingCalls == failAt;
}

int TFaultyFileSystem::RenameNoReplace(const std::string& from, const std::string& to) {
    return Fail() ? failErrno : inner_.RenameNoReplace(from, to);
}
int TFaultyFileSystem::ReplaceWith(const std::string& temporary, const std::string& target) {
    return Fail() ? failErrno : inner_.ReplaceWith(temporary, target);
}
int TFaultyFileSystem::Unlink(const std::string& path) { return Fail() ? failErrno : inner_.Unlink(path); }
int TFaultyFileSystem::MakeDir(const std::string& path) { return Fail() ? failErrno : inner_.MakeDir(path); }
int TFaultyFileSystem::RemoveDir(const std::string& path) { return Fail() ? failErrno : inner_.RemoveDir(path); }
int TFaultyFileSystem::WriteFileAtomic(const std::string& path, const std::string& data) {
    return Fail() ? failErrno : inner_.WriteFileAtomic(path, data);
}
int TFaultyFileSystem::OpenAtomicWriter(const std::string& path, std::unique_ptr<IAtomicWriter>& writer) {
    writer.reset();
    if (Fail()) return failErrno;
    std::unique_ptr<IAtomicWriter> inner;
    if (int err = inner_.OpenAtomicWriter(path, inner)) return err;
    writer = std::make_unique<TFaultyWriter>(std::move(inner), failWritesAfter, failErrno);
    return 0;
}
int TFaultyFileSystem::CopyFile(const std::string& from, const std::string& to, bool overwrite) {
    return Fail() ? failErrno : inner_.CopyFile(from, to, overwrite);
}
int64_t TFaultyFileSystem::FreeSpace(const std::string& path) {
    return forcedFreeSpace != -2 ? forcedFreeSpace : inner_.FreeSpace(path);
}
bool TFaultyFileSystem::IsReadOnly(const std::string& path) {
    for (const auto& prefix : readOnlyPaths)
        if (path.compare(0, prefix.size(), prefix) == 0) return true;
    return inner_.IsReadOnly(path);
}

TScopedFileSystem::TScopedFileSystem(IFileSystem& fs) : previous_(&Fs()) { SetFileSystem(&fs); }
TScopedFileSystem::~TScopedFileSystem() { SetFileSystem(previous_); }

namespace {
std::atomic<int64_t> syncCount{0};
}  // namespace

int SyncFd(int fd) {
    syncCount.fetch_add(1, std::memory_order_relaxed);
    return ::fsync(fd);
}

int64_t SyncCount() { return syncCount.load(std::memory_order_relaxed); }

}  // namespace qm
