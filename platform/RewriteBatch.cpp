#include "platform/RewriteBatch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/Threads.h"

namespace qm {

namespace {

std::atomic<TRewriteBatch*> g_current{nullptr};

// Parallel fsyncs: the file system joins concurrent flushes into shared journal
// commits, so a group costs about what one file costs. (syncfs would flush the whole
// file system, other programs' writes included, and could not say which file failed.)
constexpr size_t kSyncThreads = 8;

std::string WithoutSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

bool IsOurTemporary(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return path.find(".qmtmp-", slash == std::string::npos ? 0 : slash) != std::string::npos;
}

// Flushes each file to disk: errs[i] is 0 or the errno of files[i].
std::vector<int> SyncAll(const std::vector<std::string>& files) {
    std::vector<int> errs(files.size(), 0);
    std::atomic<size_t> next{0};
    const auto work = [&] {
        for (size_t i; (i = next.fetch_add(1)) < files.size();) {
            const int fd = ::open(files[i].c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) {
                errs[i] = errno;
                continue;
            }
            if (SyncFd(fd) != 0) errs[i] = errno;
            ::close(fd);
        }
    };
    RunOnThreads(std::min(kSyncThreads, files.size()), work);
    return errs;
}

}  // namespace

TRewriteBatch::TSource TRewriteBatch::TSource::Of(const struct stat& st) {
    TSource source;
    source.exists = true;
    source.device = static_cast<uint64_t>(st.st_dev);
    source.inode = static_cast<uint64_t>(st.st_ino);
    source.size = static_cast<int64_t>(st.st_size);
    source.mtimeSec = static_cast<int64_t>(st.st_mtim.tv_sec);
    source.mtimeNsec = static_cast<int64_t>(st.st_mtim.tv_nsec);
    return source;
}

TRewriteBatch::TSource TRewriteBatch::TSource::OfPath(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? Of(st) : TSource();
}

TRewriteBatch::TRewriteBatch(size_t maxFiles, int64_t maxBytes)
    : inner_(&Fs()), maxFiles_(std::max<size_t>(maxFiles, 1)), maxBytes_(maxBytes) {
    joined_ = g_current.load();
    if (joined_ != nullptr) return;
    SetFileSystem(this);
    g_current.store(this);
}

TRewriteBatch::~TRewriteBatch() {
    if (joined_ != nullptr) return;
    {
        std::lock_guard lock(mutex_);
        FlushLocked();
    }
    g_current.store(nullptr);
    SetFileSystem(inner_);
}

TRewriteBatch* TRewriteBatch::Current() { return g_current.load(); }

int TRewriteBatch::Settle(const std::string& path) {
    TRewriteBatch* batch = g_current.load();
    if (batch == nullptr) return 0;
    std::lock_guard lock(batch->mutex_);
    return batch->SettleLocked(path);
}

void TRewriteBatch::AddScratchFolder(const std::string& folder) {
    if (joined_ != nullptr) return joined_->AddScratchFolder(folder);
    std::lock_guard lock(mutex_);
    if (!folder.empty()) scratch_.push_back(WithoutSlash(folder) + "/");
}

const TRewriteBatch::TPending* TRewriteBatch::Find(const std::string& path) const {
    const std::string name = WithoutSlash(path);
    // Every stat of a step comes here: the sorted names answer most of them.
    if (!std::binary_search(names_.begin(), names_.end(), name)) return nullptr;
    for (const TPending& p : pending_)
        if (p.target == name || p.alias == name || p.real == name) return &p;
    return nullptr;
}

bool TRewriteBatch::Covers(const std::string& path) const {
    if (names_.empty()) return false;
    const std::string name = WithoutSlash(path);
    auto it = std::lower_bound(names_.begin(), names_.end(), name);
    if (it != names_.end() && *it == name) return true;
    const std::string folder = name == "/" ? name : name + "/";
    it = std::lower_bound(names_.begin(), names_.end(), folder);
    return it != names_.end() && it->compare(0, folder.size(), folder) == 0;
}

int TRewriteBatch::SettleLocked(const std::string& path) {
    if (names_.empty()) return 0;
    std::string name = WithoutSlash(path);
    if (!Covers(name)) {
        // Reached through a link the batch was not told of (the trash goes by the real
        // folder, a copy may go through a link of the rom path's).
        name = RealName(name);
        if (name == WithoutSlash(path) || !Covers(name)) return 0;
    }
    const size_t before = failed_.size();
    FlushLocked();
    for (size_t i = before; i < failed_.size(); ++i)
        if (failed_[i].target == name || failed_[i].alias == name || failed_[i].real == name) return failed_[i].err;
    return 0;
}

std::string TRewriteBatch::RealName(const std::string& path) {
    const std::string name = WithoutSlash(path);
    const size_t slash = name.find_last_of('/');
    if (slash == std::string::npos) return name;
    // Every settle of a name the batch does not hold comes here: the folders are resolved
    // once for the batch's life, and only a last part that is itself a link costs more.
    const std::string folder = slash == 0 ? std::string("/") : name.substr(0, slash);
    auto it = realFolders_.find(folder);
    if (it == realFolders_.end()) {
        std::string real = folder;
        if (char* resolved = ::realpath(folder.c_str(), nullptr)) {
            real = resolved;
            ::free(resolved);
        }
        it = realFolders_.emplace(folder, real).first;
    }
    std::string real = (it->second == "/" ? std::string() : it->second) + name.substr(slash);
    struct stat st;
    if (::lstat(real.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
        if (char* resolved = ::realpath(real.c_str(), nullptr)) {
            real = resolved;
            ::free(resolved);
        }
    return real;
}

bool TRewriteBatch::IsScratch(const std::string& path) const {
    if (IsOurTemporary(path)) return true;
    for (const std::string& folder : scratch_)
        if (path.compare(0, folder.size(), folder) == 0) return true;
    return false;
}

void TRewriteBatch::SetOperation(const std::string& text) {
    if (joined_ != nullptr) return joined_->SetOperation(text);
    std::lock_guard lock(mutex_);
    operation_ = text;
}

int TRewriteBatch::Defer(const std::string& temporary, const std::string& target, const std::string& alias,
                         const TSource* source) {
    if (joined_ != nullptr) return joined_->Defer(temporary, target, alias, source);
    std::lock_guard lock(mutex_);
    // A second rewrite of a pending file (its reader settles first, so only a blind
    // write gets here) must not overtake the first.
    const std::string real = RealName(target);
    if (Covers(target) || (!alias.empty() && Covers(alias)) || Covers(real)) FlushLocked();
    if (!failed_.empty()) {
        ::unlink(temporary.c_str());
        return failed_.front().err;
    }
    TPending entry{temporary, WithoutSlash(target), alias.empty() ? std::string() : WithoutSlash(alias), operation_,
                   real, source != nullptr ? *source : TSource::OfPath(target)};
    if (entry.alias == entry.target) entry.alias.clear();
    if (entry.real == entry.target || entry.real == entry.alias) entry.real.clear();
    for (const std::string* name : {&entry.target, &entry.alias, &entry.real})
        if (!name->empty()) names_.insert(std::upper_bound(names_.begin(), names_.end(), *name), *name);
    struct stat st;
    if (::stat(temporary.c_str(), &st) == 0) pendingBytes_ += static_cast<int64_t>(st.st_size);
    pending_.push_back(std::move(entry));
    if (pending_.size() >= maxFiles_ || pendingBytes_ >= maxBytes_) FlushLocked();
    return 0;
}

std::string TRewriteBatch::FirstFailure() {
    if (joined_ != nullptr) return joined_->FirstFailure();
    std::lock_guard lock(mutex_);
    if (failed_.empty()) return {};
    return failed_.front().alias.empty() ? failed_.front().target : failed_.front().alias;
}

void TRewriteBatch::Flush() {
    if (joined_ != nullptr) return joined_->Flush();
    std::lock_guard lock(mutex_);
    FlushLocked();
}

void TRewriteBatch::FlushLocked() {
    if (pending_.empty()) return;
    std::vector<TPending> group;
    group.swap(pending_);
    names_.clear();
    pendingBytes_ = 0;

    std::vector<std::string> temporaries;
    temporaries.reserve(group.size());
    for (const TPending& p : group) temporaries.push_back(p.temporary);
    const std::vector<int> synced = SyncAll(temporaries);

    // Only what reached the disk takes an old file's place, in the order it was written,
    // and only up to the first failure: a later rewrite may rely on an earlier one (a rom
    // copied to its backup before it leaves its archive), so the files in place are
    // always what the rewrites up to some moment made them.
    // Nor does a rewrite take the place of a file it was not made from: someone put a
    // file of their own there meanwhile, and that one stays.
    size_t good = 0;
    while (good < group.size() && synced[good] == 0 && TSource::OfPath(group[good].target) == group[good].source)
        ++good;
    std::vector<std::pair<std::string, std::string>> moves;
    for (size_t i = 0; i < good; ++i) moves.emplace_back(group[i].temporary, group[i].target);
    std::vector<int> results;
    if (!moves.empty()) inner_->ReplaceEach(moves, results);
    int err = 0;
    for (size_t i = 0; i < group.size(); ++i) {
        bool changed = false;
        if (err == 0) {
            err = i < good ? (i < results.size() ? results[i] : EIO) : synced[i];
            if (i == good && err == 0) {
                err = ESTALE;
                changed = true;
            }
            if (err == 0) continue;
        }
        ::unlink(group[i].temporary.c_str());
        failed_.push_back({group[i].target, group[i].alias, group[i].real, err, group[i].operation, changed});
    }
}

std::vector<TRewriteBatch::TFailure> TRewriteBatch::Commit() {
    if (joined_ != nullptr) return {};
    std::lock_guard lock(mutex_);
    FlushLocked();
    std::vector<TFailure> out;
    for (const TFailed& f : failed_) {
        const std::string& name = f.alias.empty() ? f.target : f.alias;
        if (std::none_of(out.begin(), out.end(), [&](const TFailure& o) { return o.name == name; }))
            out.push_back({name, f.err, f.operation, f.changed});
    }
    failed_.clear();
    return out;
}

// ---- The seam, with pending files in view ----------------------------------------------

int TRewriteBatch::Stat(const std::string& path, TFileStat& out) {
    std::string temporary;
    {
        std::lock_guard lock(mutex_);
        if (const TPending* p = Find(path)) temporary = p->temporary;
    }
    // The temporary file becomes the file itself: same size, date and mode.
    return inner_->Stat(temporary.empty() ? path : temporary, out);
}

int TRewriteBatch::ListDir(const std::string& path, std::vector<TDirEntry>& out) {
    if (const int err = Settle(path)) return err;
    return inner_->ListDir(path, out);
}

int TRewriteBatch::ReadFile(const std::string& path, std::string& out) {
    if (const int err = Settle(path)) return err;
    return inner_->ReadFile(path, out);
}

int TRewriteBatch::RenameNoReplace(const std::string& from, const std::string& to) {
    if (const int err = Settle(from)) return err;
    if (const int err = Settle(to)) return err;
    return inner_->RenameNoReplace(from, to);
}

int TRewriteBatch::ReplaceWith(const std::string& temporary, const std::string& target) {
    if (const int err = Settle(target)) return err;
    return inner_->ReplaceWith(temporary, target);
}

int TRewriteBatch::Unlink(const std::string& path) {
    {
        std::lock_guard lock(mutex_);
        if (const int err = SettleLocked(path)) return err;
        // A removal may take away the last other copy of what a pending file holds: it
        // waits for them, and does not happen when they could not go in place.
        if (!IsScratch(path)) {
            FlushLocked();
            if (!failed_.empty()) return failed_.front().err;
        }
    }
    return inner_->Unlink(path);
}

int TRewriteBatch::MakeDir(const std::string& path) {
    if (const int err = Settle(path)) return err;
    return inner_->MakeDir(path);
}

int TRewriteBatch::RemoveDir(const std::string& path) {
    if (const int err = Settle(path)) return err;
    return inner_->RemoveDir(path);
}

int TRewriteBatch::WriteFileAtomic(const std::string& path, const std::string& data) {
    {
        // What is written now (a cache, the settings) may describe the pending files.
        std::lock_guard lock(mutex_);
        FlushLocked();
        // It may also stand for one (an archive emptied of its last entry).
        if (!failed_.empty()) return failed_.front().err;
    }
    return inner_->WriteFileAtomic(path, data);
}

int TRewriteBatch::OpenAtomicWriter(const std::string& path, std::unique_ptr<IAtomicWriter>& writer) {
    writer.reset();
    {
        std::lock_guard lock(mutex_);
        FlushLocked();
        if (!failed_.empty()) return failed_.front().err;
    }
    return inner_->OpenAtomicWriter(path, writer);
}

int TRewriteBatch::CopyFile(const std::string& from, const std::string& to, bool overwrite) {
    if (const int err = Settle(from)) return err;
    if (const int err = Settle(to)) return err;
    return inner_->CopyFile(from, to, overwrite);
}

}  // namespace qm
