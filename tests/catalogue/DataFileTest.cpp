#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "catalogue/DataFile.h"
#include "platform/FileSystem.h"
#include "platform/UiHooks.h"
#include "support/TestSupport.h"

using namespace qm;
using qm::test::ReadFile;
using qm::test::TTempDir;
using qm::test::WriteFile;

namespace {

const std::string S = "\xAC";

std::string Rom(std::initializer_list<std::string> fields) {
    std::string line;
    for (const auto& f : fields) line += S + f;
    return line + S;
}

std::string Header(const std::string& version, const std::string& extra = "") {
    std::string h = "[CREDITS]\r\nAuthor=A\r\n[DAT]\r\n";
    if (!version.empty()) h += "version=" + version + "\r\n";
    return h + extra + "[EMULATOR]\r\nrefname=emu\r\n";
}

struct TLoad {
    TTempDir dir;
    TDatafile df;
    std::vector<std::string> infos;
    std::vector<int> progress;

    explicit TLoad(const std::string& bytes, const std::string& name = "test.dat") {
        WriteFile(dir / name, bytes);
        df.SetDataFileName(dir / name);
        df.OnInfos = [this](const std::string& t) { infos.push_back(t); };
        df.OnProgress = [this](int p) { progress.push_back(p); };
    }
};

void ExpectItem(const TDataFileItem& it, const std::vector<std::string>& texts, int64_t size) {
    ASSERT_EQ(texts.size(), 8u);
    EXPECT_EQ(it.ParentName, texts[0]);
    EXPECT_EQ(it.ParentDescription, texts[1]);
    EXPECT_EQ(it.GameName, texts[2]);
    EXPECT_EQ(it.GameDescription, texts[3]);
    EXPECT_EQ(it.RomName, texts[4]);
    EXPECT_EQ(it.Crc, texts[5]);
    EXPECT_EQ(it.RomOf, texts[6]);
    EXPECT_EQ(it.Merge, texts[7]);
    EXPECT_EQ(it.Size, size);
}

class FakePlugIn : public ICrcPlugInSource {
public:
    std::string name;
    std::string CrcPlugInFileName() const override { return name; }
};

// Shaped like the signature calculator and its plug-in.
struct FakeLoadedPlugIn {
    std::string name;
    const std::string& FileName() const { return name; }
};
struct FakeCalculator {
    FakeLoadedPlugIn* plugIn = nullptr;
    FakeLoadedPlugIn* CrcPlugIn() const { return plugIn; }
};

}  // namespace

TEST(Datafile, LoadsTheGoldenFileAndSavesItByteForByte) {
    const std::string golden = std::string(QM_TESTS_DIR) + "/catalogue/data/golden.dat";
    TDatafile df;
    df.SetDataFileName(golden);
    df.LoadFromFile();
    EXPECT_EQ(df.FormatVersion(), "2.00");
    EXPECT_EQ(df.Author, "Golden Author");
    EXPECT_EQ(df.Email, "a@b.c");
    EXPECT_EQ(df.Web, "www.example.org");
    EXPECT_EQ(df.Version, "20261209");
    EXPECT_EQ(df.Date, "9/12/2026");
    EXPECT_EQ(df.Comment, "Caf\xC3\xA4 and \xE9t\xE9");
    EXPECT_EQ(df.PlugIn, "arcade.dll");
    EXPECT_EQ(df.Refname, "Mame");
    EXPECT_EQ(df.EmuVersion, "0.123");
    EXPECT_TRUE(df.WorkFileName().empty());  // a plain file is read where it lies
    ASSERT_EQ(df.GetGameCount(), 6u);
    ASSERT_EQ(df.ResourceItems.Count(), 1u);
    ExpectItem(df.GetGameItem(2),
               {"pacman", "Pac-Man (Midway)", "puckman", "PuckMan (Japan set 1)", "pacman.6e", "c1e6ab10", "pacman",
                "pacman.6e"},
               4096);
    ExpectItem(df.GetGameItem(4),
               {"galaga", "Gal\xC3\xA4ga \xE9", "galaga", "Gal\xC3\xA4ga \xE9", "gg1_1b.3p", "        ", "", ""}, 2048);
    EXPECT_EQ(df.GetGameItem(5).Size, 4294967296LL);
    ExpectItem(df.ResourceItems.GetItem(0), {"neogeo", "Neo-Geo", "neogeo", "Neo-Geo", "sp-s2.sp1", "9036d879", "", ""},
               131072);

    TTempDir out;
    df.SaveToFile(out / "saved.dat");
    EXPECT_EQ(ReadFile(out / "saved.dat"), ReadFile(golden));
    int code = -1;
    qm::test::RunCommand("cmp -s " + qm::test::ShellQuote(out / "saved.dat") + " " + qm::test::ShellQuote(golden),
                         &code);
    EXPECT_EQ(code, 0);
}

TEST(Datafile, VersionsAndLayouts) {
    struct {
        const char* what;
        std::string version;
        std::vector<std::string> gameLines;
        std::vector<std::string> first;  // parent, rom, crc, romof, merge
        int64_t size;
    } cases[] = {
        {"2.00 plain", "2.00", {Rom({"p", "pd", "g", "gd", "r", "ABCDEF01", "12", "x", "y"})},
         {"p", "r", "abcdef01", "x", "y"}, 12},
        {"2.00 switched by O", "2.00",
         {Rom({"p", "pd", "g", "gd", "r", "00000001", "77", "O", "34"}),
          Rom({"p", "pd", "g", "gd", "r2", "00000002", "77", "N", "56"})},
         {"p", "r", "00000001", "", ""}, 34},
        {"2.00 switched by N", "2.00", {Rom({"p", "pd", "g", "gd", "r", "1", "77", "N", "9"})}, {"p", "r", "1", "p", "r"}, 9},
        {"2.00 not switched by n", "2.00", {Rom({"p", "pd", "g", "gd", "r", "1", "77", "n", "9"})}, {"p", "r", "1", "n", "9"}, 77},
        {"2.00 not switched after a blank line", "2.00",
         {"  ", Rom({"p", "pd", "g", "gd", "r", "1", "77", "N", "9"})}, {"p", "r", "1", "N", "9"}, 77},
        {"2.00 not switched after a comment", "2.00",
         {"# c", Rom({"p", "pd", "g", "gd", "r", "1", "77", "O", "9"})}, {"p", "r", "1", "O", "9"}, 77},
        {"2.50 never switched", "2.50", {Rom({"p", "pd", "g", "gd", "r", "1", "77", "N", "9"})}, {"p", "r", "1", "N", "9"}, 77},
        {"1.90 merged", "1.90", {Rom({"p", "pd", "g", "gd", "r", "1", "77", "N", "9"})}, {"p", "r", "1", "p", "r"}, 9},
        {"1.90 other flag", "1.90", {Rom({"p", "pd", "g", "gd", "r", "1", "77", "O", "9"})}, {"p", "r", "1", "", ""}, 9},
        {"1.90 size not a number", "1.90", {Rom({"p", "pd", "g", "gd", "r", "1", "77", "", "9x"})}, {"p", "r", "1", "", ""}, -1},
        {"trimmed version value", " 2.00 ", {Rom({"p", "pd", "g", "gd", "r", "1", "5", "", ""})}, {"p", "r", "1", "", ""}, 5},
        // Names longer than the header before them: a text taken from another field must
        // not be read where the line's own bytes were already moved.
        {"1.90 merged, long names", "1.90",
         {Rom({std::string(300, 'p'), "pd", "g", "gd", std::string(200, 'r'), "1", "77", "N", "9"})},
         {std::string(300, 'p'), std::string(200, 'r'), "1", std::string(300, 'p'), std::string(200, 'r')}, 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string text = Header(c.version) + "[GAMES]\r\n";
        for (const auto& l : c.gameLines) text += l + "\r\n";
        // Resource lines keep the 2.00 layout whatever the game lines use.
        text += "[RESOURCES]\r\n" + Rom({"b", "bd", "b", "bd", "br", "2", "64", "N", "128"}) + "\r\n";
        TLoad t(text);
        t.df.LoadFromFile();
        ASSERT_GE(t.df.GetGameCount(), 1u);
        const auto& it = t.df.GetGameItem(0);
        EXPECT_EQ(it.ParentName, c.first[0]);
        EXPECT_EQ(it.RomName, c.first[1]);
        EXPECT_EQ(it.Crc, c.first[2]);
        EXPECT_EQ(it.RomOf, c.first[3]);
        EXPECT_EQ(it.Merge, c.first[4]);
        EXPECT_EQ(it.Size, c.size);
        ASSERT_EQ(t.df.ResourceItems.Count(), 1u);
        EXPECT_EQ(t.df.ResourceItems.GetItem(0).Size, 64);
        EXPECT_EQ(t.df.ResourceItems.GetItem(0).RomOf, "N");
        EXPECT_EQ(t.df.ResourceItems.GetItem(0).Merge, "128");
    }
}

TEST(Datafile, SwitchHoldsForEveryLaterLine) {
    TLoad t(Header("2.00") + "[GAMES]\r\n" + Rom({"p", "", "g", "", "a", "1", "7", "O", "10"}) + "\r\n" +
            Rom({"p", "", "g", "", "b", "2", "7", "N", "20"}) + "\r\n" + Rom({"p", "", "g", "", "c", "3", "7", "x", "30"}) +
            "\r\n");
    t.df.LoadFromFile();
    ASSERT_EQ(t.df.GetGameCount(), 3u);
    EXPECT_EQ(t.df.GetGameItem(1).RomOf, "p");
    EXPECT_EQ(t.df.GetGameItem(1).Merge, "b");
    EXPECT_EQ(t.df.GetGameItem(1).Size, 20);
    EXPECT_EQ(t.df.GetGameItem(2).RomOf, "");
    EXPECT_EQ(t.df.GetGameItem(2).Size, 30);
}

TEST(Datafile, SectionQuirksSkipRulesAndLineEnds) {
    // "[GAMES]" is found trimmed and in any case; "[RESOURCES] " with a trailing blank
    // is not a section header, so it and the lines after it are game lines.
    std::string text = Header("2.00") + "  [Games] \t\n" + Rom({"p", "", "g", "", "a", "1", "1", "", ""}) + "\r" +
                       "\r\n" + "   # a comment\n" + "\t\r\n" + Rom({"p", "", "g", "", "b", "2", "12abc", "", ""}) +
                       "\n" + "[RESOURCES] \r\n" + Rom({"q", "", "q", "", "c", "3", "", "", ""}) + "\r\n" +
                       "no separator at all\r\n" + "junk" + Rom({"p", "", "g"}) + "\r\n" +
                       Rom({"r", "", "r", "", "d", "4", "99999999999999999999", "", ""});
    TLoad t(text);
    t.df.LoadFromFile();
    EXPECT_EQ(t.df.ResourceItems.Count(), 0u);
    ASSERT_EQ(t.df.GetGameCount(), 7u);
    EXPECT_EQ(t.df.GetGameItem(0).RomName, "a");
    EXPECT_EQ(t.df.GetGameItem(1).Size, -1);  // "12abc" is no size
    ExpectItem(t.df.GetGameItem(2), {"", "", "", "", "", "", "", ""}, -1);  // the "[RESOURCES] " line itself
    EXPECT_EQ(t.df.GetGameItem(3).ParentName, "q");
    EXPECT_EQ(t.df.GetGameItem(3).Size, -1);  // empty size
    ExpectItem(t.df.GetGameItem(4), {"", "", "", "", "", "", "", ""}, -1);
    ExpectItem(t.df.GetGameItem(5), {"p", "", "g", "", "", "", "", ""}, -1);  // text before the first separator is ignored
    EXPECT_EQ(t.df.GetGameItem(6).Size, -1);  // out of range
}

TEST(Datafile, ResourcesAndFieldsAreUntrimmed) {
    TLoad t(Header("2.00") + "[GAMES]\r\n" + Rom({" p ", "d d", "g", "", "r ", "AbCd", " 5", "", ""}) +
            "\r\n[resources]\r\n\r\n" + Rom({"bios", "", "bios", "", "b", "FFFF0000", "16", "", ""}) + "\r\n");
    t.df.LoadFromFile();
    ASSERT_EQ(t.df.GetGameCount(), 1u);
    ExpectItem(t.df.GetGameItem(0), {" p ", "d d", "g", "", "r ", "abcd", "", ""}, -1);
    ASSERT_EQ(t.df.ResourceItems.Count(), 1u);
    ExpectItem(t.df.ResourceItems.GetItem(0), {"bios", "", "bios", "", "b", "ffff0000", "", ""}, 16);
}

TEST(Datafile, TextsRepeatedAcrossLinesAndFieldsReadBackExactly) {
    // Lines repeat their set and game texts, and fields repeat each other; texts that
    // differ only in case, or only once lower-cased, stay apart.
    TLoad t(Header("2.00") + "[GAMES]\r\n" + Rom({"p", "D", "p", "D", "abcd", "ABCD", "1", "", "abcd"}) + "\r\n" +
            Rom({"p", "D", "G", "d", "ABCD", "abcd", "2", "p", "ABCD"}) + "\r\n" +
            Rom({"P", "D", "g", "d", "x", "AbCd", "3", "P", "x"}) + "\r\n");
    t.df.LoadFromFile();
    t.df.AddItem("p", "D", "G", "d", "ABCD", "ABCD", 4, "p", "abcd", false);
    ASSERT_EQ(t.df.GetGameCount(), 4u);
    ExpectItem(t.df.GetGameItem(0), {"p", "D", "p", "D", "abcd", "abcd", "", "abcd"}, 1);
    ExpectItem(t.df.GetGameItem(1), {"p", "D", "G", "d", "ABCD", "abcd", "p", "ABCD"}, 2);
    ExpectItem(t.df.GetGameItem(2), {"P", "D", "g", "d", "x", "abcd", "P", "x"}, 3);
    ExpectItem(t.df.GetGameItem(3), {"p", "D", "G", "d", "ABCD", "ABCD", "p", "abcd"}, 4);  // added as given
}

TEST(Datafile, HeaderFields) {
    TLoad t("[credits]\r\nAUTHOR = x y \r\ncomment=first\r\nsecond line\r\n[dat]\r\nVersion=2.50\r\nPlugIn=My.DLL\r\n"
            "[emulator]\r\nRefName=raine\r\nversion= 1.2 \r\n[games]\r\n");
    t.df.LoadFromFile();
    EXPECT_EQ(t.df.Author, "x y");
    EXPECT_EQ(t.df.Comment, "first");
    EXPECT_EQ(t.df.PlugIn, "my.dll");
    EXPECT_EQ(t.df.Refname, "raine");
    EXPECT_EQ(t.df.EmuVersion, "1.2");
    EXPECT_EQ(t.df.FormatVersion(), "2.50");
    EXPECT_EQ(t.df.GetGameCount(), 0u);
    EXPECT_EQ(t.infos, (std::vector<std::string>{"Preparing datafile...", "Loading datafile test.dat", "Datafile loaded"}));

    TLoad d(Header("2.00") + "[GAMES]\r\n");
    d.df.LoadFromFile();
    EXPECT_EQ(d.df.PlugIn, "arcade.dll");

    // A header section that only comes after the games still counts; its lines are
    // game lines as well.
    TLoad late("[CREDITS]\r\n[DAT]\r\nversion=2.00\r\n[GAMES]\r\n[EMULATOR]\r\nrefname=late\r\n");
    late.df.LoadFromFile();
    EXPECT_EQ(late.df.Refname, "late");
    EXPECT_EQ(late.df.GetGameCount(), 2u);
}

TEST(Datafile, Failures) {
    {
        TDatafile df;
        TTempDir dir;
        df.SetDataFileName(dir / "missing.dat");
        try {
            df.LoadFromFile();
            FAIL();
        } catch (const datafile::EFileNotFound& e) {
            EXPECT_EQ(e.Message(), "File " + dir.Path() + "missing.dat not found.");
        }
        df.SetDataFileName(dir.Path());  // a folder is no datafile
        EXPECT_THROW(df.LoadFromFile(), datafile::EFileNotFound);
    }
    for (std::string version : {"3.00", "", "2.0", "2.00a"}) {
        SCOPED_TRACE(version);
        TLoad t(Header(version) + "[GAMES]\r\n" + Rom({"p", "", "g", "", "r", "1", "1", "", ""}) + "\r\n", "old.dat");
        bool checked = false;
        t.df.OnPlugInCheck = [&](const std::string&, bool&) { checked = true; };
        try {
            t.df.LoadFromFile();
            FAIL();
        } catch (const datafile::EBadDatafileVersion& e) {
            EXPECT_EQ(e.Message(),
                      "This version of the datafile old.dat is not supported.\n"
                      "Please use another datafile, or download a new version of Quarmelle.");
        }
        EXPECT_FALSE(checked);
        EXPECT_EQ(t.df.GetGameCount(), 0u);
        EXPECT_EQ(t.infos, std::vector<std::string>{"Preparing datafile..."});
    }
    {
        TLoad t(Header("2.00") + "[GAME]\r\n" + Rom({"p", "", "g", "", "r", "1", "1", "", ""}) + "\r\n");
        try {
            t.df.LoadFromFile();
            FAIL();
        } catch (const datafile::EBadFormat& e) {
            EXPECT_EQ(e.Message(), "File " + t.df.DataFileName() + " has bad format.");
        }
        EXPECT_EQ(t.infos.back(), "Datafile loaded");
    }
}

TEST(Datafile, EmptyNameClearsAndSaysNothing) {
    TDatafile df;
    std::vector<std::string> infos;
    df.OnInfos = [&](const std::string& t) { infos.push_back(t); };
    df.AddItem("p", "", "g", "", "r", "1", 1, "", "", false);
    df.AddItem("b", "", "b", "", "r", "1", 1, "", "", true);
    df.SetDataFileName("");
    EXPECT_EQ(df.DataFileName(), "");
    df.LoadFromFile();
    EXPECT_EQ(df.GetGameCount(), 0u);
    EXPECT_EQ(df.ResourceItems.Count(), 0u);
    EXPECT_TRUE(infos.empty());
    df.SetDataFileName("rel/../x.dat");
    EXPECT_EQ(df.DataFileName().front(), '/');
    EXPECT_EQ(df.DataFileName().substr(df.DataFileName().size() - 6), "/x.dat");
    EXPECT_EQ(df.DataFileName().find(".."), std::string::npos);
}

TEST(Datafile, RefusedPlugInAbortsWithoutTouchingTheFile) {
    const std::string text = Header("2.00", "plugin=Other.dll\r\n") + "[GAMES]\r\n" +
                             Rom({"p", "", "g", "", "r", "1", "1", "", ""}) + "\r\n";
    TLoad t(text);
    std::string asked;
    t.df.OnPlugInCheck = [&](const std::string& name, bool& abort) {
        asked = name;
        abort = true;
    };
    EXPECT_THROW(t.df.LoadFromFile(), datafile::EAbortDataFileLoading);
    EXPECT_EQ(asked, "other.dll");
    EXPECT_FALSE(t.df.Abort);
    EXPECT_EQ(t.df.GetGameCount(), 0u);
    EXPECT_EQ(ReadFile(t.df.DataFileName()), text);
    EXPECT_EQ(std::find(t.infos.begin(), t.infos.end(), "Datafile loaded"), t.infos.end());
    // The abort is one of the program's aborts, with the shared message.
    try {
        t.df.LoadFromFile();
    } catch (const EAbortOperation& e) {
        EXPECT_EQ(e.Message(), "Operation aborted.");
    }
}

TEST(Datafile, AbortFromProgressStopsTheLoopAndClears) {
    std::string text = Header("2.00") + "[GAMES]\r\n";
    for (int i = 0; i < 100; ++i) text += Rom({"p" + std::to_string(i), "", "g", "", "r", "1", "1", "", ""}) + "\r\n";
    for (bool inResources : {false, true}) {
        SCOPED_TRACE(inResources);
        std::string body = inResources ? Header("2.00") + "[GAMES]\r\n[RESOURCES]\r\n" + text.substr(text.find("\xAC"))
                                       : text;
        TLoad t(body);
        int calls = 0;
        t.df.OnProgress = [&](int) {
            if (++calls == 5) t.df.Abort = true;
        };
        EXPECT_THROW(t.df.LoadFromFile(), datafile::EAbortDataFileLoading);
        EXPECT_FALSE(t.df.Abort);
        EXPECT_EQ(calls, 5);
        EXPECT_EQ(t.df.GetGameCount(), 0u);
        EXPECT_EQ(t.df.ResourceItems.Count(), 0u);
        EXPECT_EQ(t.infos.back(), "Datafile loaded");
        EXPECT_EQ(ReadFile(t.df.DataFileName()), body);
        // The flag was reset, so the next load runs to the end.
        t.df.OnProgress = nullptr;
        t.df.LoadFromFile();
        EXPECT_EQ(t.df.GetGameCount() + t.df.ResourceItems.Count(), 100u);
    }
}

TEST(Datafile, ProgressCountsResourceLinesInTheGameMaximum) {
    // [GAMES] at index 4, 4 game lines, [RESOURCES], 3 resource lines: 9 lines after
    // [GAMES], so the game lines run from 1 to 4 of 8 and the resources 1 to 3 of 3.
    std::string text = "[DAT]\r\nversion=2.00\r\n[x]\r\n\r\n[GAMES]\r\n";
    for (int i = 0; i < 4; ++i) text += Rom({"p", "", "g", "", "r", "1", "1", "", ""}) + "\r\n";
    text += "[RESOURCES]\r\n";
    for (int i = 0; i < 3; ++i) text += Rom({"b", "", "b", "", "r", "1", "1", "", ""}) + "\r\n";
    TLoad t(text);
    t.df.LoadFromFile();
    EXPECT_EQ(t.progress, (std::vector<int>{12, 25, 37, 50, 33, 66, 100}));
    // The last percentage is remembered: an unchanged one is not reported again.
    t.progress.clear();
    t.df.LoadFromFile();
    EXPECT_EQ(t.progress, (std::vector<int>{12, 25, 37, 50, 33, 66, 100}));

    // Without a listener every step only lets the window system run.
    TScriptedUiHooks hooks;
    TScopedUiHooks scope(hooks);
    t.df.OnProgress = nullptr;
    std::this_thread::sleep_for(std::chrono::milliseconds(40));  // past the pump's throttle
    t.df.LoadFromFile();
    EXPECT_GE(hooks.processMessagesCalls, 1);
}

TEST(Datafile, SaveThenLoadRoundTrip) {
    TTempDir dir;
    FakePlugIn plugIn;
    plugIn.name = "Plugins/Arcade.SO";
    TDatafile out;
    out.SignatureCalculator = &plugIn;
    out.Author = "me";
    out.Email = "e@x";
    out.Web = "w";
    out.Version = "1";
    out.Date = "2/3/2026";
    out.Comment = "c";
    out.Refname = "mame";
    out.EmuVersion = "0.1";
    out.AddItem("p", "P d", "c", "C d", "r.bin", "ABCDEF00", 10, "p", "r.bin", false);
    out.AddItem("p", "P d", "p", "P d", "nod.bin", "00000000", -1, "", "", false);
    out.AddItem("bios", "B", "bios", "B", "b.rom", "        ", 0, "", "", true);
    std::vector<int> progress;
    out.OnProgress = [&](int p) { progress.push_back(p); };
    out.SaveToFile(dir / "rt.dat");
    // Game items 0 and 1 of a maximum of 1, then the one resource item (maximum 0: 100).
    EXPECT_EQ(progress, (std::vector<int>{100}));

    const std::string bytes = ReadFile(dir / "rt.dat");
    EXPECT_NE(bytes.find("[CREDITS]\r\nAuthor=me\r\nEmail=e@x\r\nWeb=w\r\nVersion=1\r\nDate=2/3/2026\r\nComment=c\r\n"
                         "[DAT]\r\nversion=2.00\r\nplugin=arcade.dll\r\n[EMULATOR]\r\nrefname=mame\r\nversion=0.1\r\n"
                         "[GAMES]\r\n"),
              std::string::npos);
    EXPECT_NE(bytes.find(S + "nod.bin" + S + "00000000" + S + "-1" + S + S + S + "\r\n[RESOURCES]\r\n"),
              std::string::npos);

    TDatafile in;
    in.SetDataFileName(dir / "rt.dat");
    in.LoadFromFile();
    EXPECT_EQ(in.Author, "me");
    EXPECT_EQ(in.Comment, "c");
    EXPECT_EQ(in.Refname, "mame");
    EXPECT_EQ(in.EmuVersion, "0.1");
    EXPECT_EQ(in.FormatVersion(), "2.00");
    EXPECT_EQ(in.PlugIn, "arcade.dll");
    ASSERT_EQ(in.GetGameCount(), 2u);
    ExpectItem(in.GetGameItem(0), {"p", "P d", "c", "C d", "r.bin", "abcdef00", "p", "r.bin"}, 10);
    ExpectItem(in.GetGameItem(1), {"p", "P d", "p", "P d", "nod.bin", "00000000", "", ""}, -1);
    ASSERT_EQ(in.ResourceItems.Count(), 1u);
    ExpectItem(in.ResourceItems.GetItem(0), {"bios", "B", "bios", "B", "b.rom", "        ", "", ""}, 0);

    // An empty list still writes both section headers.
    TDatafile empty;
    empty.SaveToFile(dir / "empty.dat");
    EXPECT_NE(ReadFile(dir / "empty.dat").find("[GAMES]\r\n[RESOURCES]\r\n"), std::string::npos);
}

TEST(Datafile, PlugInNameFallsBack) {
    TTempDir dir;
    struct {
        const char* calculator;  // nullptr: no calculator at all
        std::string plugIn;
        std::string written;
    } cases[] = {
        {"C:\\plugins\\Console.DLL", "x.dll", "console.dll"},
        {"/usr/lib/quarmelle/nes.so", "", "nes.dll"},
        {"", "snes.dll", "snes.dll"},
        {nullptr, "gb.dll", "gb.dll"},
        {nullptr, "", "arcade.dll"},
    };
    for (const auto& c : cases) {
        FakePlugIn plugIn;
        TDatafile df;
        if (c.calculator) {
            plugIn.name = c.calculator;
            df.SignatureCalculator = &plugIn;
        }
        df.PlugIn = c.plugIn;
        df.SaveToFile(dir / "p.dat");
        EXPECT_NE(ReadFile(dir / "p.dat").find("\r\nplugin=" + c.written + "\r\n"), std::string::npos) << c.written;
        EXPECT_EQ(df.GetCrcPlugIn(), c.calculator ? c.calculator : "");
    }
}

TEST(Datafile, PlugInNameFromACalculator) {
    TTempDir dir;
    FakeCalculator calculator;
    TCalculatorPlugInSource<FakeCalculator> source(calculator);
    TDatafile df;
    df.SignatureCalculator = &source;
    df.PlugIn = "fallback.dll";
    EXPECT_EQ(df.GetCrcPlugIn(), "");
    df.SaveToFile(dir / "a.dat");
    EXPECT_NE(ReadFile(dir / "a.dat").find("\r\nplugin=fallback.dll\r\n"), std::string::npos);
    FakeLoadedPlugIn plugIn{"Neogeo.dll"};
    calculator.plugIn = &plugIn;
    EXPECT_EQ(df.GetCrcPlugIn(), "Neogeo.dll");
    df.SaveToFile(dir / "a.dat");
    EXPECT_NE(ReadFile(dir / "a.dat").find("\r\nplugin=neogeo.dll\r\n"), std::string::npos);
}

TEST(Datafile, SavedFieldsCannotBreakTheirLine) {
    TTempDir dir;
    TDatafile out;
    out.Author = "a\r\n[DAT]\r\nversion=9.99";
    out.Comment = "line one\nsecond\r\n  [DAT]\r[games]";
    out.Refname = "r\nx";
    out.AddItem("p" + S + "q", "d\r\ne", "g", "", "r\rr", "1", 5, "", "m\n", false);
    out.AddItem("p2", "", "g2", "", "r2", "2", 6, "", "", false);
    out.SaveToFile(dir / "esc.dat");

    TDatafile in;
    in.SetDataFileName(dir / "esc.dat");
    in.LoadFromFile();
    EXPECT_EQ(in.FormatVersion(), "2.00");
    EXPECT_EQ(in.Author, "a  [DAT]  version=9.99");
    EXPECT_EQ(in.Comment, "line one");  // the reader keeps the comment's first line only
    EXPECT_EQ(in.Refname, "r x");
    ASSERT_EQ(in.GetGameCount(), 2u);
    ExpectItem(in.GetGameItem(0), {"p q", "d  e", "g", "", "r r", "1", "", "m "}, 5);
    ExpectItem(in.GetGameItem(1), {"p2", "", "g2", "", "r2", "2", "", ""}, 6);
    // The comment's later lines are kept, none of them as a section header.
    const std::string bytes = ReadFile(dir / "esc.dat");
    EXPECT_NE(bytes.find("Comment=line one\r\nsecond\r\n  (DAT]\r\n(games]\r\n[DAT]\r\n"), std::string::npos);
}

TEST(Datafile, FailedSaveKeepsTheOldFile) {
    TTempDir dir;
    WriteFile(dir / "old.dat", "old contents");
    TDatafile df;
    df.AddItem("p", "", "g", "", "r", "1", 1, "", "", false);
    TFaultyFileSystem faulty(Fs());
    faulty.failAt = 1;
    faulty.failErrno = ENOSPC;
    {
        TScopedFileSystem scope(faulty);
        EXPECT_THROW(df.SaveToFile(dir / "old.dat"), datafile::EFileError);
    }
    EXPECT_EQ(ReadFile(dir / "old.dat"), "old contents");
    std::vector<TDirEntry> entries;
    ASSERT_EQ(Fs().ListDir(dir.Path(), entries), 0);
    EXPECT_EQ(entries.size(), 1u);
}

TEST(Datafile, SourceInTheTemporaryFolderStaysUntouched) {
    const std::string text = Header("2.00") + "[GAMES]\r\n" + Rom({"p", "", "g", "", "r", "1", "1", "", ""}) + "\r\n";
    TTempDir dir;
    WriteFile(dir / "mame.dat", text);
    {
        TDatafile df;
        df.TempDir = dir.Path();
        df.SetDataFileName(dir / "mame.dat");
        df.LoadFromFile();
        df.LoadFromFile();
        EXPECT_EQ(df.GetGameCount(), 1u);
        EXPECT_TRUE(df.WorkFileName().empty());
    }
    EXPECT_EQ(ReadFile(dir / "mame.dat"), text);
    std::vector<TDirEntry> entries;
    ASSERT_EQ(Fs().ListDir(dir.Path(), entries), 0);
    EXPECT_EQ(entries.size(), 1u);
}

TEST(Datafile, OldLayoutIsSavedInTheCurrentOne) {
    TLoad t(Header("1.90") + "[GAMES]\r\n" + Rom({"p", "pd", "c", "cd", "a.bin", "0000AAAA", "?", "N", "64"}) + "\r\n" +
            Rom({"p", "pd", "c", "cd", "b.bin", "0000BBBB", "?", "", "128"}) + "\r\n[RESOURCES]\r\n" +
            Rom({"r", "", "r", "", "x", "1", "2", "", ""}) + "\r\n");
    t.df.LoadFromFile();
    t.df.SaveToFile(t.dir / "new.dat");
    TDatafile again;
    again.SetDataFileName(t.dir / "new.dat");
    again.LoadFromFile();
    EXPECT_EQ(again.FormatVersion(), "2.00");
    ASSERT_EQ(again.GetGameCount(), 2u);
    ExpectItem(again.GetGameItem(0), {"p", "pd", "c", "cd", "a.bin", "0000aaaa", "p", "a.bin"}, 64);
    ExpectItem(again.GetGameItem(1), {"p", "pd", "c", "cd", "b.bin", "0000bbbb", "", ""}, 128);
    ASSERT_EQ(again.ResourceItems.Count(), 1u);
    EXPECT_EQ(again.ResourceItems.GetItem(0).Size, 2);
}
