// The default signature plug-in: the CRC-32 of the whole file (the signature arcade
// datafiles list), as 8 lower-case hexadecimal digits, with the file size. It suggests
// no extension and gives no comment.
#include <fcntl.h>
#include <linux/magic.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <isa-l/crc.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "SignaturePlugIn.h"
#include "ThreadState.h"

namespace {

// Reads big enough that system calls cost little, small enough to stay in the L2
// cache between the copy and the CRC. The CRC is ISA-L's vectorised one (zlib's value
// bit for bit), so that reading, not the sum, sets the pace.
constexpr size_t kChunk = 1 << 18;

// One core copies out of the page cache at well under the vectorised CRC's speed, and
// mapping the file instead costs far more wherever page-table updates trap (virtual
// machines). So a big file is cut into units that helper threads read and sum side by
// side with the caller, and the units' CRCs are joined in order. On a quiet machine a
// third reader doubled the plain read's rate; a fourth gained in some runs and lost in
// others, the copies then competing for memory bandwidth. A file of fewer than four
// units is read plainly: split among three readers it would leave them little each
// beside the cost of waking them.
constexpr int64_t kUnit = int64_t(1) << 20;
constexpr int64_t kSideBySideFrom = 4 * kUnit;
constexpr unsigned kHelpers = 2;

// What one thread's calls keep.
struct TThreadState {
    std::string signature;
    std::string error;
    std::vector<unsigned char> buffer = std::vector<unsigned char>(kChunk);
};

std::string HexCrc(uint32_t crc) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(crc));
    return text;
}

// One unit's outcome: the CRC of [its begin, reached).
struct TUnit {
    uint32_t crc = 0;
    int64_t reached = 0;
};

// A big file being summed unit by unit.
struct TJob {
    int fd = -1;
    int64_t size = 0;  // when the job began
    int flags = 0;     // RWF_NOWAIT where the file system can say "not in the cache"
    size_t units = 0;
    std::unique_ptr<TUnit[]> results;
    std::atomic<size_t> next{0};

    int64_t Begin(size_t unit) const { return static_cast<int64_t>(unit) * kUnit; }
    int64_t End(size_t unit) const { return std::min(size, Begin(unit) + kUnit); }

    // Takes units until none is left. A read never waits for the disk: a unit that is
    // not cached, meets the end of the file or fails stops short, and stops the handing
    // out too, since the caller reads on in order from the first such unit anyway.
    void Work(std::vector<unsigned char>& buffer) {
        for (size_t unit; (unit = next.fetch_add(1, std::memory_order_relaxed)) < units;) {
            int64_t at = Begin(unit);
            const int64_t end = End(unit);
            uint32_t crc = 0;
            while (at < end) {
                iovec part{buffer.data(), static_cast<size_t>(std::min<int64_t>(end - at, kChunk))};
                const ssize_t n = ::preadv2(fd, &part, 1, at, flags);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) break;
                crc = crc32_gzip_refl(crc, buffer.data(), static_cast<uint64_t>(n));
                at += n;
            }
            results[unit] = TUnit{crc, at};
            if (at < end) next.store(units, std::memory_order_relaxed);
        }
    }
};

// The helper threads: started with the first big file, asleep between files, stopped
// and joined when the plug-in is unloaded or the process ends.
class THelpers {
public:
    static THelpers& Get() {
        static THelpers helpers;
        return helpers;
    }

    THelpers(const THelpers&) = delete;
    THelpers& operator=(const THelpers&) = delete;

    ~THelpers() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        for (std::thread& thread : threads_) thread.join();
    }

    // Runs job on the helpers and on the calling thread, and returns once no thread is
    // inside it any more. False, with nothing done, when there are no helpers or
    // another caller has them: that caller's file then reads on its own.
    bool TryRun(TJob& job, std::vector<unsigned char>& buffer) {
        std::unique_lock<std::mutex> use(use_, std::try_to_lock);
        if (!use || threads_.empty()) return false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            job_ = &job;
            ++round_;
        }
        wake_.notify_all();
        job.Work(buffer);
        std::unique_lock<std::mutex> lock(mutex_);
        job_ = nullptr;
        left_.wait(lock, [this] { return inside_ == 0; });
        return true;
    }

private:
    THelpers() {
        // The cores this process may run on, which a container or taskset may limit.
        cpu_set_t allowed;
        CPU_ZERO(&allowed);
        const unsigned cores = ::sched_getaffinity(0, sizeof allowed, &allowed) == 0
                                   ? static_cast<unsigned>(CPU_COUNT(&allowed))
                                   : std::thread::hardware_concurrency();
        const unsigned wanted = cores > 1 ? std::min(kHelpers, cores - 1) : 0;
        // Signals go to the program's own threads, never to these.
        sigset_t all, previous;
        ::sigfillset(&all);
        ::pthread_sigmask(SIG_SETMASK, &all, &previous);
        for (unsigned i = 0; i < wanted; ++i) {
            try {
                threads_.emplace_back([this] { Serve(); });
            } catch (const std::system_error&) {
                break;
            }
        }
        ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }

    void Serve() {
        std::vector<unsigned char> buffer(kChunk);
        uint64_t seen = 0;
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return stop_ || round_ != seen; });
            if (stop_) return;
            seen = round_;
            TJob* job = job_;
            if (!job) continue;
            ++inside_;
            lock.unlock();
            job->Work(buffer);
            lock.lock();
            if (--inside_ == 0) left_.notify_all();
        }
    }

    std::mutex use_;  // one caller's file at a time
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable left_;
    TJob* job_ = nullptr;
    uint64_t round_ = 0;
    int inside_ = 0;
    bool stop_ = false;
    std::vector<std::thread> threads_;
};

enum class TReadEnd { Reached, EndOfFile, Failed };

// Reads on from at up to end, waiting for the disk as needed; at is where it stopped.
TReadEnd ReadOn(int fd, std::vector<unsigned char>& buffer, uint32_t& crc, int64_t& at, int64_t end,
                std::string& error) {
    while (at < end) {
        const ssize_t n = ::pread(fd, buffer.data(), static_cast<size_t>(std::min<int64_t>(end - at, kChunk)), at);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = std::strerror(errno);
            return TReadEnd::Failed;
        }
        if (n == 0) return TReadEnd::EndOfFile;
        crc = crc32_gzip_refl(crc, buffer.data(), static_cast<uint64_t>(n));
        at += n;
    }
    return TReadEnd::Reached;
}

// Sums a big regular file unit by unit; ran is false, and nothing read, when the
// helpers were not free. The result is the one reading in order gives: the units are
// joined in order, and from the first one that stopped short the file is read on in
// order, so a file that shrank gives the CRC of what was there up to the end met first,
// and one that grew is read to its new end.
bool CrcSideBySide(int fd, int64_t size, std::vector<unsigned char>& buffer, uint32_t& crc, int64_t& bytes,
                   std::string& error, bool& ran) {
    TJob job;
    job.fd = fd;
    job.size = size;
    // tmpfs refuses RWF_NOWAIT, and memory file systems have nothing to wait for.
    struct statfs fs {};
    const bool inMemory = ::fstatfs(fd, &fs) == 0 && (fs.f_type == TMPFS_MAGIC || fs.f_type == RAMFS_MAGIC);
    job.flags = inMemory ? 0 : RWF_NOWAIT;
    job.units = static_cast<size_t>((size + kUnit - 1) / kUnit);
    job.results = std::make_unique<TUnit[]>(job.units);
    ran = THelpers::Get().TryRun(job, buffer);
    if (!ran) return false;

    static const uLong fullUnit = crc32_combine_gen(kUnit);
    crc = 0;
    int64_t at = 0;
    for (size_t unit = 0; unit < job.units; ++unit) {
        // A unit never handed out (the handing out stopped) reached nothing.
        const int64_t reached = std::max(job.results[unit].reached, job.Begin(unit));
        const int64_t length = reached - job.Begin(unit);
        const uint32_t part = job.results[unit].crc;
        crc = length == kUnit ? static_cast<uint32_t>(crc32_combine_op(crc, part, fullUnit))
                              : static_cast<uint32_t>(crc32_combine(crc, part, static_cast<z_off_t>(length)));
        at = reached;
        const int64_t end = job.End(unit);
        if (at == end) continue;
        const TReadEnd stop = ReadOn(fd, buffer, crc, at, end, error);
        if (stop == TReadEnd::Failed) return false;
        if (stop == TReadEnd::EndOfFile) {
            bytes = at;
            return true;
        }
    }
    const TReadEnd stop = ReadOn(fd, buffer, crc, at, std::numeric_limits<int64_t>::max(), error);
    bytes = at;
    return stop != TReadEnd::Failed;
}

// Closes the file on every way out, a failed allocation included.
struct TFd {
    int fd;
    ~TFd() {
        if (fd >= 0) ::close(fd);
    }
};

// Reads the whole file through buffer; false with the system's reason when it cannot.
bool CrcOfFile(const char* fileName, std::vector<unsigned char>& buffer, uint32_t& crc, int64_t& size,
               std::string& error) {
    crc = 0;
    size = 0;
    const TFd file{::open(fileName, O_RDONLY | O_CLOEXEC)};
    const int fd = file.fd;
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= kSideBySideFrom) {
        bool ran = false;
        const bool ok = CrcSideBySide(fd, st.st_size, buffer, crc, size, error, ran);
        if (ran) return ok;
    }
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            error = std::strerror(errno);
            return false;
        }
        if (n == 0) return true;
        crc = crc32_gzip_refl(crc, buffer.data(), static_cast<uint64_t>(n));
        size += n;
    }
}

}  // namespace

QM_PLUGIN_EXPORT const char* qm_GetDllType() { return QM_SIGNATURE_PLUGIN_TYPE; }
QM_PLUGIN_EXPORT const char* qm_GetDllInterfaceVersion() { return "2.62"; }
QM_PLUGIN_EXPORT const char* qm_GetPlugInName() { return "Arcade"; }
QM_PLUGIN_EXPORT const char* qm_GetAuthor() { return "Quarmelle"; }
QM_PLUGIN_EXPORT const char* qm_GetVersion() { return "1.0"; }
QM_PLUGIN_EXPORT const char* qm_GetDescription() { return "CRC32 of the whole file"; }
QM_PLUGIN_EXPORT const char* qm_GetWebPage() { return ""; }
QM_PLUGIN_EXPORT const char* qm_GetEmail() { return ""; }

QM_PLUGIN_EXPORT const char* qm_GetSignature(const char* fileName, const char* /*zipCrc*/, const char** extension,
                                             int32_t* size, const char** comment, const char** errorText) {
    uint32_t crc = 0;
    int64_t bytes = 0;
    TThreadState& state = qm_plugin::ThreadState<TThreadState>();
    std::string& signature = state.signature;
    std::string& error = state.error;
    error.clear();
    bool ok = false;
    // Nothing may leave through the C interface, not even a failed allocation.
    try {
        ok = fileName && CrcOfFile(fileName, state.buffer, crc, bytes, error);
    } catch (const std::exception& e) {
        error = e.what();
    }
    if (!ok) {
        if (error.empty()) error = "No file name";
        if (errorText) *errorText = error.c_str();
        signature = "00000000";
        return signature.c_str();
    }
    if (extension) *extension = "";
    if (comment) *comment = "";
    // The interface carries a 32-bit size: a larger file reports it as unknown.
    if (size) *size = bytes <= std::numeric_limits<int32_t>::max() ? static_cast<int32_t>(bytes) : -1;
    signature = HexCrc(crc);
    return signature.c_str();
}
