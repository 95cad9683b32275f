// The plug-in loader against the small plug-ins of tests/plugins (one source, several
// sets of exports) and the shipped arcade plug-in, whose CRCs are checked with
// Python's zlib.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <random>

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
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(gen());
    return s;
}

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
    // Sizes around the plug-in's read size and the zero/one-byte ends.
    for (size_t size : {size_t(0), size_t(1), size_t(7), size_t(4095), size_t(1 << 20), size_t((1 << 20) + 1),
                        size_t(3 * (1 << 20) + 12345)}) {
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
