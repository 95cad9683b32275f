// The datutil wrapper against a stand-in program (tests/tools/fake_datutil.cpp) that
// records how it was called and acts out each outcome. These tests prove the wrapper's
// contract: the argument lists, the working folders, the checks, the clean-up and the
// safety of the destination. They convert nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "archive/FilesTools.h"
#include "catalogue/DatUtil.h"
#include "catalogue/DataFile.h"
#include "platform/FileSystem.h"
#include "platform/UiHooks.h"
#include "support/TestSupport.h"

using namespace qm;
using qm::test::FileExists;
using qm::test::ReadFile;
using qm::test::TTempDir;
using qm::test::WriteFile;

namespace {

namespace fs = std::filesystem;

const std::string kCanned = std::string(QM_TESTS_DIR) + "/catalogue/data/golden.dat";

struct TCall {
    std::string cwd;
    std::vector<std::string> args;
};

// The records the stand-in appended to the log: fields ended by NUL, a record by an
// empty field.
std::vector<TCall> ReadCalls(const std::string& log) {
    std::vector<TCall> calls;
    if (!FileExists(log)) return calls;
    const std::string bytes = ReadFile(log);
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\0') continue;
        std::string field = bytes.substr(start, i - start);
        start = i + 1;
        if (!field.empty()) {
            fields.push_back(field);
            continue;
        }
        TCall call;
        if (!fields.empty()) call.cwd = fields.front() + "/";
        call.args.assign(fields.begin() + (fields.empty() ? 0 : 1), fields.end());
        calls.push_back(call);
        fields.clear();
    }
    return calls;
}

std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    return names;
}

class DatUtilTest : public ::testing::Test {
protected:
    TTempDir root;
    std::string tempDir = root / "tmp/";
    std::string datutilExe = root / "tools/datutil";
    std::string mameExe = root / "mame dir/mame";
    std::string raineExe = root / "raine/raine";
    std::string log = root / "calls.log";
    std::string dest = root / "datas/new.dat";
    TDatUtil du;
    std::vector<std::string> infos;

    void SetUp() override {
        fs::create_directories(tempDir);
        fs::create_directories(root / "datas");
        for (const auto& exe : {datutilExe, mameExe, raineExe}) {
            fs::create_directories(fs::path(exe).parent_path());
            fs::copy_file(QM_FAKE_DATUTIL, exe);
        }
        ::setenv("QM_FAKE_LOG", log.c_str(), 1);
        ::setenv("QM_FAKE_CANNED", kCanned.c_str(), 1);
        du.TempDir = tempDir;
        du.SetDatutilExe(datutilExe);
        du.MameExe = mameExe;
        du.RaineExe = raineExe;
        du.Timeout = std::chrono::seconds(20);
        du.OnInfos = [this](const std::string& text) { infos.push_back(text); };
    }

    void TearDown() override {
        for (const char* name : {"QM_FAKE_LOG", "QM_FAKE_CANNED", "QM_FAKE_MODE", "QM_FAKE_EMU_MODE", "QM_FAKE_LIST",
                                 "QM_FAKE_INPUT"})
            ::unsetenv(name);
    }

    std::vector<TCall> Calls() const { return ReadCalls(log); }
    // Every job removes its work folder, whatever the outcome.
    void ExpectNoLeftovers() const { EXPECT_TRUE(Entries(tempDir).empty()) << Entries(tempDir).front(); }
};

void Mode(const char* datutilMode, const char* emulatorMode = "ok") {
    ::setenv("QM_FAKE_MODE", datutilMode, 1);
    ::setenv("QM_FAKE_EMU_MODE", emulatorMode, 1);
}

// ---- ClrMamePro conversion ----

TEST(DatUtilArguments, TemplatesAreSplitBeforeTheyAreFilled) {
    TDatUtil du;
    struct {
        const char* templ;
        std::vector<std::string> expected;
        std::vector<bool> filled;
    } cases[] = {
        {"-o %qm %cm", {"-o", "OUT", "IN"}, {false, true, true}},
        {"%cm  -o\t%qm", {"IN", "-o", "OUT"}, {true, false, true}},
        {"-i%cm -o%qm", {"-iIN", "-oOUT"}, {true, true}},
        // Both in one word, either order.
        {"x=%cm,%qm", {"x=IN,OUT"}, {true}},
        {"x=%qm,%cm", {"x=OUT,IN"}, {true}},
        // A quoted group stays one argument.
        {"\"-o %qm\" %cm", {"-o OUT", "IN"}, {true, true}},
        // Only the first of each, and only in that spelling.
        {"%cm %cm %qm %qm", {"IN", "%cm", "OUT", "%qm"}, {true, false, true, false}},
        {"%CM %qm", {"%CM", "OUT"}, {false, true}},
        {"-o %cm", {"-o", "IN"}, {false, true}},
        {"", {}, {}},
    };
    for (const auto& c : cases) {
        du.CommandTemplate = c.templ;
        std::vector<bool> filled;
        EXPECT_EQ(du.ConvertArguments("IN", "OUT", &filled), c.expected) << c.templ;
        EXPECT_EQ(filled, c.filled) << c.templ;
    }
    // A name holding the other placeholder is never filled again.
    du.CommandTemplate = "-o %qm %cm";
    EXPECT_EQ(du.ConvertArguments("/d/my %qm file.dat", "/t/out.dat"),
              (std::vector<std::string>{"-o", "/t/out.dat", "/d/my %qm file.dat"}));
    du.CommandTemplate = "%cm %qm";
    EXPECT_EQ(du.ConvertArguments("/d/%qm.dat", "/t/%cm.dat"),
              (std::vector<std::string>{"/d/%qm.dat", "/t/%cm.dat"}));
}

TEST_F(DatUtilTest, ConversionRunsDatutilInAWorkFolderAndReplacesTheDestination) {
    Mode("ok");
    const std::string source = root / "in dir/my %qm.dat";
    WriteFile(source, "clrmamepro (\n)\n");
    WriteFile(dest, "old datafile");
    du.ConvertClrMame(source, dest);

    const auto calls = Calls();
    ASSERT_EQ(calls.size(), 1u);
    // datutil ran in a private folder inside TempDir and wrote there, under the
    // destination's name.
    EXPECT_EQ(calls[0].cwd.rfind(tempDir + "datutil-", 0), 0u) << calls[0].cwd;
    EXPECT_EQ(calls[0].args, (std::vector<std::string>{"-o", calls[0].cwd + "out/new.dat", source}));
    EXPECT_EQ(ReadFile(dest), ReadFile(kCanned));
    EXPECT_EQ(ReadFile(source), "clrmamepro (\n)\n");
    EXPECT_EQ(Entries(root / "datas"), (std::vector<std::string>{"new.dat"}));
    ExpectNoLeftovers();  // datutil.log went with the work folder
    EXPECT_TRUE(infos.empty());

    // A destination named like one of datutil's own files keeps clear of them.
    for (const char* name : {"datutil.log", "datutil.out"}) {
        du.ConvertClrMame(source, root / name);
        EXPECT_EQ(ReadFile(root / name), ReadFile(kCanned)) << name;
    }
    ExpectNoLeftovers();
}

TEST_F(DatUtilTest, EveryFailedConversionIsReportedWithItsCommandAndLosesNothing) {
    // Long enough for a loaded machine to start the fake, which only the hanging
    // cases outlive.
    du.Timeout = std::chrono::seconds(3);
    struct {
        const char* mode;
        const char* templ;
        const char* detail;
    } cases[] = {
        {"none", "-o %qm %cm", "wrote nothing"},
        {"empty", "-o %qm %cm", "wrote nothing"},
        {"exit3", "-o %qm %cm", "exited with code 3"},
        {"crash", "-o %qm %cm", "ended abnormally"},
        {"sleep", "-o %qm %cm", "stopped after"},
        {"log", "-o %qm %cm", "Error: the input is not a game list"},
        {"garbage", "-o %qm %cm", "exited with code 0 but wrote no datafile"},
        // Without "%qm" datutil is told no output; the result is missing.
        {"ok", "%cm", "exited with code 1"},
    };
    const std::string source = root / "in.dat";
    WriteFile(source, "clrmamepro (\n)\n");
    WriteFile(dest, "old datafile");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        Mode(c.mode);
        du.CommandTemplate = c.templ;
        fs::remove(log);
        const auto began = std::chrono::steady_clock::now();
        try {
            du.ConvertClrMame(source, dest);
            ADD_FAILURE() << "no error";
        } catch (const datutil::EFileNotFound& e) {
            const auto calls = Calls();
            ASSERT_EQ(calls.size(), 1u);
            std::string command = datutilExe;
            for (const auto& arg : calls[0].args) command += " \"" + arg + "\"";
            if (std::string(c.templ) == "-o %qm %cm")
                command = datutilExe + " -o \"" + calls[0].args[1] + "\" \"" + source + "\"";
            EXPECT_EQ(e.Message(), "Error during clrmame conversion on command [" + command + "]");
            EXPECT_NE(e.Detail().find(c.detail), std::string::npos) << e.Detail();
        }
        EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(10));
        EXPECT_EQ(ReadFile(dest), "old datafile");
        EXPECT_EQ(Entries(root / "datas"), (std::vector<std::string>{"new.dat"}));
        ExpectNoLeftovers();
    }
}

// A disk without room for the result stops the conversion before datutil runs; Cancel
// while datutil runs stops it, and the job ends as an abort. The old datafile stays.
TEST_F(DatUtilTest, AConversionWithoutRoomOrCancelledKeepsTheOldDatafile) {
    const std::string source = root / "in.dat";
    WriteFile(source, "clrmamepro (\n)\n");
    WriteFile(dest, "old datafile");
    Mode("ok");
    {
        TFaultyFileSystem faulty(Fs());
        faulty.forcedFreeSpace = kDiskSpaceReserve;
        TScopedFileSystem scope(faulty);
        EXPECT_THROW(du.ConvertClrMame(source, dest), EDiskFull);
    }
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(ReadFile(dest), "old datafile");

    Mode("sleep");
    TScriptedUiHooks hooks;
    hooks.onProcessMessages = [&] { du.Abort = true; };
    TScopedUiHooks scope(hooks);
    const auto began = std::chrono::steady_clock::now();
    EXPECT_THROW(du.ConvertClrMame(source, dest), EAbortOperation);
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(10));
    EXPECT_FALSE(du.Abort);
    EXPECT_EQ(ReadFile(dest), "old datafile");
    ExpectNoLeftovers();
}

TEST_F(DatUtilTest, AConversionWithoutDatutilFailsWithTheCommand) {
    const std::string source = root / "in.dat";
    WriteFile(source, "clrmamepro (\n)\n");
    for (const std::string& exe : {std::string(), root / "nowhere/dutil"}) {
        try {
            du.SetDatutilExe(exe);
        } catch (const datutil::EFileNotFound&) {
        }
        try {
            du.ConvertClrMame(source, dest);
            ADD_FAILURE() << "no error for " << exe;
        } catch (const datutil::EFileNotFound& e) {
            EXPECT_EQ(e.Message().rfind("Error during clrmame conversion on command [" + exe + " -o \"", 0), 0u)
                << e.Message();
            EXPECT_FALSE(e.Detail().empty());
            // The box says which program is missing and where to set it.
            if (!exe.empty()) {
                EXPECT_EQ(FailureText(e), e.Message() + "\n" + exe + " not found: set Datutil_exe in the [quarmelle] section");
            }
        }
        EXPECT_FALSE(FileExists(dest));
        EXPECT_TRUE(Calls().empty());
        ExpectNoLeftovers();
    }
}

// ---- Datafiles from an emulator's game list ----

TEST_F(DatUtilTest, BuildFromMameCapturesTheListAndPassesTheCreditsThatAreSet) {
    Mode("ok");
    // A listing of some size, so that a partial capture would show.
    std::string listing = "<?xml version=\"1.0\"?>\n<mame build=\"0.251 (fake)\">\n";
    for (int i = 0; i < 20000; ++i) listing += "\t<machine name=\"game" + std::to_string(i) + "\"/>\n";
    listing += "</mame>\n";
    WriteFile(root / "listing.xml", listing);
    ::setenv("QM_FAKE_LIST", (root / "listing.xml").c_str(), 1);
    ::setenv("QM_FAKE_INPUT", (root / "seen-by-datutil.xml").c_str(), 1);
    du.Version = "20261209";
    du.Refname = "mame";
    du.EmuVersion = "MAME 0.251";
    WriteFile(dest, "old datafile");

    const fs::path cwd = fs::current_path();
    du.BuildDatafile(TDatSourceKind::Mame, dest);
    EXPECT_EQ(fs::current_path(), cwd);

    const auto calls = Calls();
    ASSERT_EQ(calls.size(), 2u);
    // MAME runs in its own folder; datutil in the work folder, where it also leaves its log.
    EXPECT_EQ(calls[0].cwd, root / "mame dir/");
    EXPECT_EQ(calls[0].args, (std::vector<std::string>{"-listxml"}));
    const std::string work = calls[1].cwd;
    EXPECT_EQ(work.rfind(tempDir + "datutil-", 0), 0u) << work;
    EXPECT_EQ(calls[1].args, (std::vector<std::string>{"-V", "20261209", "-R", "mame", "-F", "MAME 0.251", "-f",
                                                       "quarmelle2", "-o", "qmtmpdat.dat", work + "listinfo.dat"}));
    EXPECT_EQ(ReadFile(root / "seen-by-datutil.xml"), listing);
    EXPECT_EQ(infos, (std::vector<std::string>{"Extracting games list from mame...", "Converting datafile...", ""}));
    EXPECT_EQ(ReadFile(dest), ReadFile(kCanned));
    EXPECT_EQ(Entries(root / "datas"), (std::vector<std::string>{"new.dat"}));
    ExpectNoLeftovers();

    // What was put in place is the datafile datutil wrote, whole: the reader takes it.
    TDatafile df;
    df.SetDataFileName(dest);
    df.LoadFromFile();
    EXPECT_GT(df.GetGameCount(), 0u);
}

TEST_F(DatUtilTest, BuildFromRaineRunsInTheWorkFolderWithEveryCredit) {
    Mode("ok");
    du.Author = "Quarmelle 2.70 beta 5";
    du.Version = "20261209";
    du.Comment = "made \"here\"";
    du.Refname = "raine";
    du.EmuVersion = "0.64";
    du.BuildDatafile(TDatSourceKind::Raine, dest);

    const auto calls = Calls();
    ASSERT_EQ(calls.size(), 2u);
    const std::string work = calls[1].cwd;
    EXPECT_EQ(calls[0].cwd, work);
    EXPECT_EQ(calls[0].args, (std::vector<std::string>{"-listinfo"}));
    EXPECT_EQ(calls[1].args,
              (std::vector<std::string>{"-A", "Quarmelle 2.70 beta 5", "-V", "20261209", "-C", "made \"here\"", "-R",
                                        "raine", "-F", "0.64", "-f", "quarmelle2", "-o", "qmtmpdat.dat",
                                        work + "listinfo.dat"}));
    EXPECT_EQ(infos, (std::vector<std::string>{"Extracting games list from raine...", "Converting datafile...", ""}));
    EXPECT_EQ(ReadFile(dest), ReadFile(kCanned));
    ExpectNoLeftovers();
}

TEST_F(DatUtilTest, EveryFailedStepOfABuildIsDatNotCreatedAndLosesNothing) {
    // Long enough for a loaded machine to start the fake, which only the hanging
    // cases outlive.
    du.Timeout = std::chrono::seconds(3);
    struct {
        const char* emulator;
        const char* datutil;
        size_t calls;
        const char* detail;
    } cases[] = {
        {"none", "ok", 1, "wrote nothing"},
        {"exit5", "ok", 1, "exited with code 5"},
        {"crash", "ok", 1, "ended abnormally"},
        {"sleep", "ok", 1, "stopped after"},
        {"ok", "none", 2, "wrote nothing"},
        {"ok", "empty", 2, "wrote nothing"},
        {"ok", "exit3", 2, "exited with code 3"},
        {"ok", "crash", 2, "ended abnormally"},
        {"ok", "sleep", 2, "stopped after"},
        {"ok", "log", 2, "Error: the input is not a game list"},
        {"ok", "garbage", 2, "It begins with:\nSegmentation in the listing\nnothing of a datafile here"},
    };
    WriteFile(dest, "old datafile");
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.emulator) + "/" + c.datutil);
        Mode(c.datutil, c.emulator);
        fs::remove(log);
        infos.clear();
        const auto began = std::chrono::steady_clock::now();
        try {
            du.BuildDatafile(TDatSourceKind::Mame, dest);
            ADD_FAILURE() << "no error";
        } catch (const datutil::EDatNotCreated& e) {
            EXPECT_EQ(e.Message(), "Dat file not created !");
            EXPECT_NE(e.Detail().find(c.detail), std::string::npos) << e.Detail();
            // Only the end of a long log is kept, from the start of a line.
            EXPECT_EQ(e.Detail().find("progress line 0\n"), std::string::npos);
            if (std::string(c.datutil) == "log") {
                EXPECT_EQ(e.Detail().find("\nprogress line "), e.Detail().find('\n')) << e.Detail();
            }
        }
        EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(10));
        EXPECT_EQ(Calls().size(), c.calls);
        EXPECT_EQ(infos.back(), "");
        EXPECT_EQ(ReadFile(dest), "old datafile");
        EXPECT_EQ(Entries(root / "datas"), (std::vector<std::string>{"new.dat"}));
        ExpectNoLeftovers();
    }
}

TEST_F(DatUtilTest, ABuildChecksItsProgramsBeforeAnythingRuns) {
    struct {
        const char* what;
        std::string datutil;
        std::string mame;
        TDatSourceKind kind;
        const char* message;
        std::string shown = "";  // what the box adds to the message
    } cases[] = {
        {"no datutil", "", mameExe, TDatSourceKind::Mame, "Datutil path not set !"},
        {"blank datutil", "  ", mameExe, TDatSourceKind::Mame, "Datutil path not set !"},
        {"missing datutil", root / "none/datutil", mameExe, TDatSourceKind::Mame, "File Not Found.",
         "datutil was looked for as " + (root / "none/datutil") +
             " and on the PATH, and found in neither. datutil is not part of Quarmelle: install it, or set "
             "Datutil_exe in the [quarmelle] section of the settings file to its full name."},
        {"datutil is a folder", root / "tools", mameExe, TDatSourceKind::Mame, "File Not Found.",
         root / "tools not found: set Datutil_exe in the [quarmelle] section"},
        {"missing mame", datutilExe, root / "none/mame", TDatSourceKind::Mame, "File Not Found.",
         root / "none/mame not found: set the emulator's program in the preferences"},
        {"no mame", datutilExe, "", TDatSourceKind::Mame, "File Not Found.",
         "mame not found: set the emulator's program in the preferences"},
        {"unknown kind", datutilExe, mameExe, static_cast<TDatSourceKind>(2), "Dat file not created !"},
    };
    WriteFile(dest, "old datafile");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        infos.clear();
        try {
            du.SetDatutilExe(c.datutil);
        } catch (const datutil::EFileNotFound&) {
        }
        du.MameExe = c.mame;
        try {
            du.BuildDatafile(c.kind, dest);
            ADD_FAILURE() << "no error";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), c.message);
            EXPECT_EQ(FailureText(e), c.shown.empty() ? e.Message() : e.Message() + "\n" + c.shown);
            const bool expectedClass = std::string(c.message) == "Dat file not created !"
                                           ? dynamic_cast<const datutil::EDatNotCreated*>(&e) != nullptr
                                           : dynamic_cast<const datutil::EFileNotFound*>(&e) != nullptr;
            EXPECT_TRUE(expectedClass);
        }
        EXPECT_TRUE(Calls().empty());
        EXPECT_EQ(infos, (std::vector<std::string>{""}));
        EXPECT_EQ(ReadFile(dest), "old datafile");
        ExpectNoLeftovers();
    }
    // The same check for Raine.
    du.SetDatutilExe(datutilExe);
    du.RaineExe = root / "none/raine";
    EXPECT_THROW(du.BuildDatafile(TDatSourceKind::Raine, dest), datutil::EFileNotFound);
    EXPECT_TRUE(Calls().empty());
}

TEST_F(DatUtilTest, AResultThatCannotBePutInPlaceLeavesTheOldDatafile) {
    Mode("ok");
    WriteFile(dest, "old datafile");
    // The changing calls of putting the result in place: reserve the name beside the
    // destination (unlink), move the result there, then replace the destination.
    for (int failAt = 1; failAt <= 3; ++failAt) {
        SCOPED_TRACE(failAt);
        TFaultyFileSystem faulty(Fs());
        faulty.failAt = failAt;
        {
            TScopedFileSystem scope(faulty);
            EXPECT_THROW(du.BuildDatafile(TDatSourceKind::Mame, dest), EFCantMove);
        }
        EXPECT_EQ(ReadFile(dest), "old datafile");
        EXPECT_EQ(Entries(root / "datas"), (std::vector<std::string>{"new.dat"}));
        ExpectNoLeftovers();
    }
    // A destination folder that does not exist is refused the same way.
    EXPECT_THROW(du.BuildDatafile(TDatSourceKind::Mame, root / "no such folder/new.dat"), EFCantMove);
    ExpectNoLeftovers();
}

// ---- Settings ----

TEST_F(DatUtilTest, DatutilNameIsStoredEvenWhenItIsMissing) {
    EXPECT_THROW(du.SetDatutilExe(root / "none/datutil"), datutil::EFileNotFound);
    EXPECT_EQ(du.DatutilExe(), root / "none/datutil");
    try {
        du.SetDatutilExe(root / "tools");
        ADD_FAILURE();
    } catch (const datutil::EFileNotFound& e) {
        EXPECT_EQ(e.Message(), "File Not Found.");
    }
    EXPECT_NO_THROW(du.SetDatutilExe(datutilExe));
    EXPECT_EQ(du.DatutilExe(), datutilExe);
}

TEST_F(DatUtilTest, DatutilIsLookedForInTheHomeFolderThenOnThePath) {
    const std::string home = root / "home/";
    fs::create_directories(home + "bin");
    fs::copy_file(QM_FAKE_DATUTIL, home + "bin/datutil");
    const std::string path = root / "onpath";
    fs::create_directories(path);
    fs::copy_file(QM_FAKE_DATUTIL, path + "/datutil");
    const char* oldPath = std::getenv("PATH");
    const std::string savedPath = oldPath ? oldPath : "";
    ::setenv("PATH", path.c_str(), 1);

    EXPECT_EQ(ResolveDatutilExe(home, "/opt/tools/datutil"), "/opt/tools/datutil");
    EXPECT_EQ(ResolveDatutilExe(home, "bin/datutil"), home + "bin/datutil");
    EXPECT_EQ(ResolveDatutilExe(home, "tools/datutil"), home + "tools/datutil");  // not searched elsewhere
    EXPECT_EQ(ResolveDatutilExe(home, "datutil"), path + "/datutil");
    EXPECT_EQ(ResolveDatutilExe(home, ""), path + "/datutil");
    fs::copy_file(QM_FAKE_DATUTIL, home + "datutil");
    EXPECT_EQ(ResolveDatutilExe(home, "datutil"), home + "datutil");  // the home folder comes first
    EXPECT_EQ(ResolveDatutilExe(home, "other"), home + "other");       // found nowhere: named where expected

    ::setenv("PATH", savedPath.c_str(), 1);
}

}  // namespace
