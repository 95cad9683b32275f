// The plug-in loader against the small plug-ins of tests/plugins (one source, several
// sets of exports) and the shipped arcade plug-in, whose CRCs are checked with
// Python's zlib.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <random>
#include <utility>

#include "filesdb/CrcPlugIn.h"
#include "platform/UiHooks.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

std::string PythonCrc(const std::string& path) {
    int rc = -1;
    std::string out = test::RunCommand(
        "python3 -c 'import sys,zlib; print(\"%08x\" % zlib.crc32(open(sys.argv[1],\"rb\").read()))' " +
            test::ShellQuote(path),
        &rc);
    EXPECT_EQ(rc, 0);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

std::string RandomBytes(size_t n, unsigned seed) {
    std::mt19937_64 gen(seed);
    std::string s(n, '\0');
    for (size_t i = 0; i < n; i += 8) {
        const uint64_t v = gen();
        std::memcpy(s.data() + i, &v, std::min<size_t>(8, n - i));
    }
    return s;
}

// What the test does to the reads of one file (by inode): the first read at or after
// from runs change first, every other read there waiting for it; reads of [from, to)
// then fail with error (EAGAIN: only the reads that may refuse to wait, preadv2's).
struct TReadHook {
    std::mutex mutex;
    std::atomic<ino_t> inode{0};
    int64_t from = 0, to = 0;
    int error = 0;
    std::function<void()> change;
} gReadHook;

// 0 to read, or the errno the read fails with.
int BeforeRead(int fd, int64_t offset, bool mayWait) {
    if (gReadHook.inode.load() == 0) return 0;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_ino != gReadHook.inode.load()) return 0;
    std::lock_guard<std::mutex> lock(gReadHook.mutex);
    if (offset < gReadHook.from) return 0;
    if (gReadHook.change) std::exchange(gReadHook.change, nullptr)();
    if (offset >= gReadHook.to || (gReadHook.error == EAGAIN && mayWait)) return 0;
    return gReadHook.error;
}

}  // namespace
}  // namespace qm

// The test program's own pread and preadv2 (exported to the plug-in it loads) stand in
// for the C library's, so that a file can change or fail at a chosen place of a read.
extern "C" ssize_t HookedPread(int fd, void* buf, size_t n, off_t offset) __asm__("pread");
extern "C" ssize_t HookedPreadv2(int fd, const iovec* iov, int count, off_t offset, int flags) __asm__("preadv2");

extern "C" ssize_t HookedPread(int fd, void* buf, size_t n, off_t offset) {
    static const auto real = reinterpret_cast<decltype(&HookedPread)>(::dlsym(RTLD_NEXT, "pread"));
    if (const int error = qm::BeforeRead(fd, offset, true)) return errno = error, -1;
    return real(fd, buf, n, offset);
}

extern "C" ssize_t HookedPreadv2(int fd, const iovec* iov, int count, off_t offset, int flags) {
    static const auto real = reinterpret_cast<decltype(&HookedPreadv2)>(::dlsym(RTLD_NEXT, "preadv2"));
    if (const int error = qm::BeforeRead(fd, offset, false)) return errno = error, -1;
    return real(fd, iov, count, offset, flags);
}

namespace qm {
namespace {

struct LoadCase {
    const char* fileName;
    const char* version;  // expected InterfaceVersion when the load succeeds
    const char* name;     // expected PlugInName
    const char* error;    // expected exception message, nullptr when the load succeeds
    enum Kind { kNone, kNotFound, kNotCrc, kFunction } kind;
};

class CrcPlugInLoad : public ::testing::TestWithParam<LoadCase> {};

TEST_P(CrcPlugInLoad, BindsOrRefuses) {
    const LoadCase& c = GetParam();
    TCrcPlugIn plugIn;
    plugIn.SetPath(QM_TEST_PLUGIN_DIR);
    std::string caught;
    LoadCase::Kind kind = LoadCase::kNone;
    try {
        plugIn.SetFileName(c.fileName);
    } catch (const EDllNotFound& e) {
        kind = LoadCase::kNotFound, caught = e.Message();
    } catch (const ENotACrcDll& e) {
        kind = LoadCase::kNotCrc, caught = e.Message();
    } catch (const EFunctionNotFound& e) {
        kind = LoadCase::kFunction, caught = e.Message();
    }
    EXPECT_EQ(kind, c.kind);
    EXPECT_EQ(plugIn.FileName(), c.fileName);
    if (c.error) {
        EXPECT_EQ(caught, c.error);
        EXPECT_FALSE(plugIn.IsLoaded());
        EXPECT_EQ(plugIn.InterfaceVersion(), "");
        EXPECT_EQ(plugIn.PlugInName(), "");
        EXPECT_THROW(plugIn.GetSignature("/dev/null", nullptr), EDllNotFound);
        return;
    }
    ASSERT_TRUE(plugIn.IsLoaded());
    EXPECT_EQ(plugIn.InterfaceVersion(), c.version);
    EXPECT_EQ(plugIn.PlugInName(), c.name);
    const std::string v = c.version;
    EXPECT_EQ(plugIn.Author(), "Author " + v);
    EXPECT_EQ(plugIn.Version(), "1." + v.substr(0, 1) + v.substr(2));
    EXPECT_EQ(plugIn.Description(), "Description " + v);
    EXPECT_EQ(plugIn.WebPage(), "http://web/" + v.substr(0, 1) + v.substr(2));
    EXPECT_EQ(plugIn.Email(), "mail@" + v.substr(0, 1) + v.substr(2));
}

INSTANTIATE_TEST_SUITE_P(
    Variants, CrcPlugInLoad,
    ::testing::Values(
        LoadCase{"tp250.dll", "2.50", "Test 2.50", nullptr, LoadCase::kNone},
        LoadCase{"tp262.dll", "2.62", "Test 2.62", nullptr, LoadCase::kNone},
        // Both generations present: the older names are bound.
        LoadCase{"tpboth.dll", "2.50", "Test 2.50", nullptr, LoadCase::kNone},
        // The ".so" name itself loads as well.
        LoadCase{"tp262.so", "2.62", "Test 2.62", nullptr, LoadCase::kNone},
        LoadCase{"tpcase.dll", "", "", "Not a quarmelle crc dll", LoadCase::kNotCrc},
        LoadCase{"tpnotype.dll", "", "", "Not a quarmelle crc dll", LoadCase::kNotCrc},
        LoadCase{"notaplugin.dll", "", "", "Not a quarmelle crc dll", LoadCase::kNotCrc},
        // Exports reachable only through a library it depends on are not its own.
        LoadCase{"tpdepends.dll", "", "", "Not a quarmelle crc dll", LoadCase::kNotCrc},
        LoadCase{"tpnoauthor.dll", "", "", "Function qm_GetAuthor not found in tpnoauthor.dll", LoadCase::kFunction},
        LoadCase{"tpnoversion.dll", "", "", "Function qm_GetDllInterfaceVersion not found in tpnoversion.dll",
                 LoadCase::kFunction},
        LoadCase{"missing.dll", "", "", "Plug in missing.dll not found.", LoadCase::kNotFound},
        // The logical name is read without regard to case: a datafile may spell it so.
        LoadCase{"TP262.DLL", "2.62", "Test 2.62", nullptr, LoadCase::kNone},
        LoadCase{"Missing.DLL", "", "", "Plug in Missing.DLL not found.", LoadCase::kNotFound}));

TEST(CrcPlugIn, FailedLoadLeavesNothingOfTheEarlierPlugIn) {
    TCrcPlugIn plugIn;
    plugIn.SetPath(QM_TEST_PLUGIN_DIR);
    plugIn.SetFileName("tp262.dll");
    ASSERT_TRUE(plugIn.IsLoaded());
    for (const char* bad : {"tpnoauthor.dll", "notaplugin.dll", "missing.dll"}) {
        plugIn.SetFileName("tp262.dll");
        EXPECT_ANY_THROW(plugIn.SetFileName(bad)) << bad;
        EXPECT_FALSE(plugIn.IsLoaded()) << bad;
        EXPECT_EQ(plugIn.InterfaceVersion(), "") << bad;
        EXPECT_EQ(plugIn.PlugInName(), "") << bad;
        EXPECT_EQ(plugIn.Email(), "") << bad;
        EXPECT_THROW(plugIn.GetSignature("/dev/null", nullptr), EDllNotFound) << bad;
    }
}

TEST(CrcPlugIn, FileNameDropsAnyFolderAndEveryAssignmentLoads) {
    TCrcPlugIn plugIn;
    plugIn.SetPath(QM_TEST_PLUGIN_DIR);
    plugIn.SetFileName("C:\\elsewhere\\tp250.dll");
    EXPECT_EQ(plugIn.FileName(), "tp250.dll");
    EXPECT_EQ(plugIn.InterfaceVersion(), "2.50");
    plugIn.SetFileName("/some/where/tp262.dll");
    EXPECT_EQ(plugIn.FileName(), "tp262.dll");
    EXPECT_EQ(plugIn.InterfaceVersion(), "2.62");
    // Same name again: loaded again, not skipped (the plug-in folder may have changed).
    plugIn.SetPath(QM_PLUGIN_DIR);
    EXPECT_THROW(plugIn.SetFileName("tp262.dll"), EDllNotFound);
}

TEST(CrcPlugIn, NoPlugInFolderNeverSearchesTheSystem) {
    // libz is on every system's library path; without a folder it must not be found.
    TCrcPlugIn plugIn;
    EXPECT_THROW(plugIn.SetFileName("libz.so.1"), EDllNotFound);
    EXPECT_FALSE(plugIn.IsLoaded());
}

TEST(CrcPlugIn, PathSetterKeepsTheFolderOnAMissingOne) {
    TScriptedUiHooks hooks;
    TScopedUiHooks scoped(hooks);
    test::TTempDir dir;
    TCrcPlugIn plugIn;
    std::string noSlash = dir.Path();
    noSlash.pop_back();
    plugIn.SetPath(noSlash);
    EXPECT_EQ(plugIn.Path(), dir.Path());
    plugIn.SetPath(dir / "missing");
    EXPECT_EQ(plugIn.Path(), dir.Path());
    ASSERT_EQ(hooks.shown.size(), 1u);
    EXPECT_EQ(hooks.shown[0].text, "Plug in path [" + dir / "missing" + "] not found.");
    EXPECT_EQ(hooks.shown[0].type, TMsgDlgType::mtError);
    EXPECT_EQ(hooks.shown[0].buttons, unsigned(mbOK));
    plugIn.SetPath("");
    EXPECT_EQ(plugIn.Path(), "");
    EXPECT_EQ(hooks.shown.size(), 1u);
}

TEST(CrcPlugIn, OutParametersStartEmptyForEveryCall) {
    test::TTempDir dir;
    test::WriteFile(dir / "a.bin", "abc");
    test::WriteFile(dir / "nullsig.bin", "abc");
    test::WriteFile(dir / "err.bin", "abc");
    TCrcPlugIn plugIn;
    plugIn.SetPath(QM_TEST_PLUGIN_DIR);
    plugIn.SetFileName("tp262.dll");

    TSignatureResult r = plugIn.GetSignature(dir / "a.bin", "0badf00d");
    EXPECT_EQ(r.Signature, "352441C2");  // the test plug-in answers in upper case
    EXPECT_EQ(r.Extension, ".tst");
    EXPECT_EQ(r.Size, 3);
    EXPECT_EQ(r.Comment, "file=" + dir / "a.bin" + " zipcrc=0badf00d");
    EXPECT_EQ(r.ErrorText, "");

    // A plug-in that sets nothing leaves nothing of the call before.
    r = plugIn.GetSignature(dir / "nullsig.bin", nullptr);
    EXPECT_EQ(r.Signature, "");
    EXPECT_EQ(r.Extension, "");
    EXPECT_EQ(r.Size, 0);
    EXPECT_EQ(r.Comment, "");
    EXPECT_EQ(r.ErrorText, "");

    r = plugIn.GetSignature(dir / "err.bin", nullptr);
    EXPECT_EQ(r.ErrorText, "cannot read this rom");
    EXPECT_EQ(r.Comment, "file=" + dir / "err.bin" + " zipcrc=null");
}

TEST(CrcPlugIn, ArcadeAgreesWithPythonZlib) {
    test::TTempDir dir;
    TCrcPlugIn plugIn;
    plugIn.SetPath(QM_PLUGIN_DIR);
    plugIn.SetFileName("arcade.dll");
    ASSERT_TRUE(plugIn.IsLoaded());
    EXPECT_EQ(plugIn.InterfaceVersion(), "2.62");
    EXPECT_EQ(plugIn.PlugInName(), "Arcade");
    // Sizes around the plug-in's read size and the zero/one-byte ends; a big file is
    // summed in parts side by side, whose CRCs must join to the whole one's.
    for (size_t size : {size_t(0), size_t(1), size_t(7), size_t(4095), size_t(1 << 20), size_t((1 << 20) + 1),
                        size_t(3 * (1 << 20) + 12345), size_t(11 * (1 << 20) + 4321)}) {
        const std::string path = dir / ("f" + std::to_string(size));
        test::WriteFile(path, RandomBytes(size, static_cast<unsigned>(size)));
        const TSignatureResult r = plugIn.GetSignature(path, nullptr);
        EXPECT_EQ(r.Signature, PythonCrc(path)) << size;
        EXPECT_EQ(r.Size, static_cast<int32_t>(size));
        EXPECT_EQ(r.Extension, "");
        EXPECT_EQ(r.Comment, "");
        EXPECT_EQ(r.ErrorText, "");
    }
    const TSignatureResult missing = plugIn.GetSignature(dir / "none.bin", nullptr);
    EXPECT_EQ(missing.Signature, "00000000");
    EXPECT_NE(missing.ErrorText, "");
    const TSignatureResult folder = plugIn.GetSignature(dir.Path(), nullptr);
    EXPECT_NE(folder.ErrorText, "");
}

// A big file summed in parts side by side gives what reading it in order would, even
// when it changes or fails under the reads: the CRC and size of the file as it now is,
// or the read's error.
TEST(CrcPlugIn, ArcadeSumsAChangingFileAsReadingInOrderWould) {
    cpu_set_t cores;
    if (::sched_getaffinity(0, sizeof cores, &cores) == 0 && CPU_COUNT(&cores) < 2)
        GTEST_SKIP() << "one core: no helper reads side by side";
    constexpr int64_t kMiB = 1 << 20;
    const int64_t size = 10 * kMiB + 777;
    struct TCase {
        const char* what;
        int64_t from, to;
        int error;
        int64_t newSize;  // the file cut or grown (with zeros) to this size first; -1: unchanged
    };
    for (const TCase& c : {TCase{"cut between parts", 5 * kMiB, 0, 0, 5 * kMiB},
                           TCase{"cut inside a part", 5 * kMiB, 0, 0, 5 * kMiB + 333},
                           TCase{"grows", 10 * kMiB, 0, 0, size + 4321},
                           TCase{"not in the cache from inside a part", 2 * kMiB + (1 << 18), 3 * kMiB, EAGAIN, -1},
                           TCase{"read error", 3 * kMiB, size, EIO, -1}}) {
        test::TTempDir dir;
        const std::string path = dir / "big.bin";
        test::WriteFile(path, RandomBytes(static_cast<size_t>(size), 7));
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        {
            std::lock_guard<std::mutex> lock(gReadHook.mutex);
            gReadHook.from = c.from;
            gReadHook.to = c.to;
            gReadHook.error = c.error;
            gReadHook.change = nullptr;
            if (c.newSize >= 0) gReadHook.change = [&] { ASSERT_EQ(::truncate(path.c_str(), c.newSize), 0); };
        }
        gReadHook.inode = st.st_ino;
        TCrcPlugIn plugIn;
        plugIn.SetPath(QM_PLUGIN_DIR);
        plugIn.SetFileName("arcade.dll");
        const TSignatureResult r = plugIn.GetSignature(path, nullptr);
        gReadHook.inode = 0;
        if (c.error == EIO) {
            EXPECT_EQ(r.Signature, "00000000") << c.what;
            EXPECT_EQ(r.ErrorText, std::strerror(EIO)) << c.what;
            continue;
        }
        EXPECT_EQ(r.ErrorText, "") << c.what;
        EXPECT_EQ(r.Signature, PythonCrc(path)) << c.what;
        EXPECT_EQ(r.Size, c.newSize >= 0 ? c.newSize : size) << c.what;
    }
}

TEST(CrcPlugIn, ArcadeExportsExactlyTheInterface) {
    int rc = -1;
    const std::string out =
        test::RunCommand("nm -D --defined-only " + test::ShellQuote(std::string(QM_PLUGIN_DIR) + "arcade.so") +
                             " | awk '$2 == \"T\" {print $3}' | grep '^qm_' | sort",
                         &rc);
    EXPECT_EQ(out,
              "qm_GetAuthor\nqm_GetDescription\nqm_GetDllInterfaceVersion\nqm_GetDllType\nqm_GetEmail\n"
              "qm_GetPlugInName\nqm_GetSignature\nqm_GetVersion\nqm_GetWebPage\n");
}

}  // namespace
}  // namespace qm
