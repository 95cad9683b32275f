// Signature throughput of the shipped default plug-in, through the signature
// calculator, next to zlib's crc32 over the same bytes in memory.
//
//   bench_crc [--files N] [--mb N]   signs a generated collection of N files holding
//                                    N MiB in all (default 64 files, 512 MiB)
//   bench_crc FILE                   signs one existing file (read once first, so that
//                                    it is in the page cache)
//   --passes N                       times the plug-in and crc_ram N times each (default
//                                    3) and keeps the fastest: one pass takes some tens of
//                                    milliseconds, which a busy machine easily disturbs
//
// Prints one line: files=N mb=N ms=N mb_per_s=N bytes=N plugin_gb_per_s=X crc_gb_per_s=X
// crc_ram_gb_per_s=X zlib_gb_per_s=X (crc: the program's own CRC routine over each file's
// bytes just after reading them, still in the CPU caches; crc_ram: the same routine over
// every file's bytes again once all are read, so that a set larger than the caches comes
// from memory, as the plug-in's reads from the page cache do)
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "filesdb/CrcPlugIn.h"
#include "filesdb/SignatureCalculator.h"
#include "platform/Crc32.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

std::string ExeFolder() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : exe.parent_path().string();
}

std::string ReadAll(const std::string& path) {
    std::string bytes;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return bytes;
    const off_t size = ::lseek(fd, 0, SEEK_END);
    bytes.resize(size > 0 ? static_cast<size_t>(size) : 0);
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    bytes.resize(done);
    ::close(fd);
    return bytes;
}

bool WriteAll(const std::string& path, const std::string& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const bool ok = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    ::close(fd);
    return ok;
}

unsigned long ZlibCrc(const std::string& bytes) {
    uLong crc = crc32(0L, Z_NULL, 0);
    const auto* p = reinterpret_cast<const Bytef*>(bytes.data());
    size_t left = bytes.size();
    while (left > 0) {
        const uInt n = static_cast<uInt>(std::min<size_t>(left, 1u << 30));
        crc = crc32(crc, p, n);
        p += n;
        left -= n;
    }
    return crc;
}

}  // namespace

int main(int argc, char** argv) {
    long files = 64, mb = 512, passes = 3;
    std::string single;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--files" && i + 1 < argc) files = std::atol(argv[++i]);
        else if (arg == "--mb" && i + 1 < argc) mb = std::atol(argv[++i]);
        else if (arg == "--passes" && i + 1 < argc) passes = std::max(1L, std::atol(argv[++i]));
        else if (arg.rfind("--", 0) != 0) single = arg;
        else {
            std::fprintf(stderr, "usage: bench_crc [--files N] [--mb N] [--passes N] | bench_crc [--passes N] FILE\n");
            return 2;
        }
    }

    qm::TCrcPlugIn plugIn;
    try {
        plugIn.SetPath(ExeFolder() + "/plugin/");
        plugIn.SetFileName("arcade.dll");
    } catch (const qm::Exception& e) {
        std::fprintf(stderr, "bench_crc: %s\n", e.Message().c_str());
        return 1;
    }
    qm::TSignatureCalculator calc;
    calc.SetCrcPlugIn(&plugIn);

    std::vector<std::string> paths;
    std::string workDir;
    if (!single.empty()) {
        paths.push_back(single);
    } else {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/bench_crc-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            return 1;
        }
        workDir = pattern;
        // Sizes spread around the mean, as a rom collection's are.
        std::mt19937_64 gen(42);
        const double mean = static_cast<double>(mb) * 1048576.0 / static_cast<double>(std::max(files, 1L));
        std::uniform_real_distribution<double> spread(0.25, 1.75);
        for (long i = 0; i < files; ++i) {
            std::string bytes(static_cast<size_t>(mean * spread(gen)), '\0');
            for (size_t j = 0; j + 8 <= bytes.size(); j += 8) {
                const uint64_t v = gen();
                std::memcpy(bytes.data() + j, &v, 8);
            }
            const std::string path = workDir + "/rom" + std::to_string(i) + ".bin";
            if (!WriteAll(path, bytes)) {
                std::perror("write");
                return 1;
            }
            paths.push_back(path);
        }
    }

    // Every file once through both, outside the timed runs: the page cache holds them
    // and the plug-in's answers are checked against zlib.
    int64_t bytes = 0;
    double zlibSeconds = 0;
    double crcSeconds = 0;
    int wrongOwn = 0;
    std::vector<std::string> expected;
    std::vector<std::string> held;
    for (const std::string& path : paths) {
        std::string data = ReadAll(path);
        bytes += static_cast<int64_t>(data.size());
        const auto start = Clock::now();
        const unsigned long crc = ZlibCrc(data);
        zlibSeconds += Seconds(start);
        char text[9];
        std::snprintf(text, sizeof text, "%08lx", crc);
        expected.push_back(text);
        const auto ownStart = Clock::now();
        const uint32_t own = qm::Crc32(0, data.data(), data.size());
        crcSeconds += Seconds(ownStart);
        if (own != crc) ++wrongOwn;
        held.push_back(std::move(data));
    }
    double ramSeconds = 0;
    for (long pass = 0; pass < passes; ++pass) {
        const auto ramStart = Clock::now();
        for (size_t i = 0; i < held.size(); ++i) {
            char text[9];
            std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(qm::Crc32(0, held[i].data(), held[i].size())));
            if (expected[i] != text) ++wrongOwn;
        }
        const double seconds = Seconds(ramStart);
        ramSeconds = pass == 0 ? seconds : std::min(ramSeconds, seconds);
    }
    held.clear();
    held.shrink_to_fit();

    int wrong = wrongOwn;
    double pluginSeconds = 0;
    for (long pass = 0; pass < passes; ++pass) {
        const auto start = Clock::now();
        for (size_t i = 0; i < paths.size(); ++i) {
            calc.Calculate(paths[i]);
            if (calc.GetCount() != 1 || calc.GetItem(0).Signature != expected[i]) ++wrong;
        }
        const double seconds = Seconds(start);
        pluginSeconds = pass == 0 ? seconds : std::min(pluginSeconds, seconds);
    }

    if (!workDir.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(workDir, ec);
    }
    if (wrong > 0) {
        std::fprintf(stderr, "bench_crc: %d signatures differ from zlib's\n", wrong);
        return 1;
    }
    const double mib = static_cast<double>(bytes) / 1048576.0;
    std::printf("files=%zu mb=%.0f ms=%.0f mb_per_s=%.0f bytes=%lld plugin_gb_per_s=%.2f crc_gb_per_s=%.2f "
                "crc_ram_gb_per_s=%.2f zlib_gb_per_s=%.2f\n",
                paths.size(), mib, pluginSeconds * 1000.0, pluginSeconds > 0 ? mib / pluginSeconds : 0.0,
                static_cast<long long>(bytes), pluginSeconds > 0 ? static_cast<double>(bytes) / pluginSeconds / 1e9 : 0.0,
                crcSeconds > 0 ? static_cast<double>(bytes) / crcSeconds / 1e9 : 0.0,
                ramSeconds > 0 ? static_cast<double>(bytes) / ramSeconds / 1e9 : 0.0, zlibSeconds > 0 ? static_cast<double>(bytes) / zlibSeconds / 1e9 : 0.0);
    return 0;
}
