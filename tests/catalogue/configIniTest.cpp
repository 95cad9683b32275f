#include <gtest/gtest.h>

#include <cerrno>

#include "catalogue/config.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "support/TestSupport.h"

using namespace qm;
using qm::test::FileExists;
using qm::test::ReadFile;
using qm::test::RunCommand;
using qm::test::ShellQuote;
using qm::test::TTempDir;
using qm::test::WriteFile;

namespace {

// Fails every read of the files it is given; everything else goes to the real system.
class TUnreadableFileSystem : public TRealFileSystem {
public:
    explicit TUnreadableFileSystem(std::string path) : path_(std::move(path)) {}
    int ReadFile(const std::string& path, std::string& out) override {
        return path == path_ ? EIO : TRealFileSystem::ReadFile(path, out);
    }

private:
    std::string path_;
};

}  // namespace

TEST(IniFile, NamesIgnoreCaseAndTheFirstMatchWins) {
    TTempDir dir;
    WriteFile(dir / "a.ini",
              "[Quarmelle]\nPlugInPath=/p1/\npluginpath=/p2/\n"
              "[quarmelle]\nOther=second section\n");
    auto ini = TIniFile::Open(dir / "a.ini");
    EXPECT_EQ(ini->ReadString("QUARMELLE", "PluginPath", "-"), "/p1/");
    // Only the first section of a name is read.
    EXPECT_EQ(ini->ReadString("quarmelle", "Other", "-"), "-");
    EXPECT_TRUE(ini->SectionExists("quarMELLE"));
    EXPECT_FALSE(ini->ValueExists("quarmelle", "Plugin"));

    // A write changes the first entry and keeps its spelling.
    ASSERT_EQ(ini->WriteString("quarmelle", "PLUGINPATH", "/p3/"), 0);
    EXPECT_EQ(ReadFile(dir / "a.ini"),
              "[Quarmelle]\nPlugInPath=/p3/\npluginpath=/p2/\n[quarmelle]\nOther=second section\n");
}

TEST(IniFile, WritesLandWhereReadsLook) {
    const struct {
        const char* label;
        const char* before;
        const char* after;
    } cases[] = {
        {"blanks around names", " [ S ]\n  k  =  old \n", " [ S ]\n  k  =new\n"},
        {"second section of the name", "[s]\na=1\n[S]\nk=other\n", "[s]\na=1\nk=new\n[S]\nk=other\n"},
        {"header-like line", "[s]\n[x\nk=old\n", "[s]\n[x\nk=new\n"},
        {"key twice", "[s]\nK=first\nk=second\n", "[s]\nK=new\nk=second\n"},
        {"blank lines before the next section", "[s]\na=1\n\n\n[t]\n", "[s]\na=1\nk=new\n\n\n[t]\n"},
        {"empty file", "", "[s]\nk=new\n"},
        {"no end of line", "; note", "; note\n\n[s]\nk=new\n"},
    };
    for (const auto& c : cases) {
        TTempDir dir;
        WriteFile(dir / "w.ini", c.before);
        auto ini = TIniFile::Open(dir / "w.ini");
        ASSERT_EQ(ini->WriteString("s", "k", "new"), 0) << c.label;
        EXPECT_EQ(ReadFile(dir / "w.ini"), c.after) << c.label;
        EXPECT_EQ(ini->ReadString("s", "K", "-"), "new") << c.label;
    }
}

TEST(IniFile, ValuesAreKeptWholeAndNeverCut) {
    TTempDir dir;
    auto ini = TIniFile::Open(dir / "v.ini");
    const std::string longValue = [] {
        std::string s;
        for (int i = 0; i < 200; ++i) s += "[vol" + std::to_string(i) + "][1234-abcd]/roms/some folder " + std::to_string(i) + "/|";
        return s;
    }();
    ASSERT_GT(longValue.size(), 2047u * 3);
    const struct {
        const char* key;
        std::string value;
        std::string read;
    } cases[] = {
        {"Equals", "a=b=c", "a=b=c"},
        {"Blanks", "  inner  blanks stay  ", "inner  blanks stay"},  // as the datafile header reads
        {"Empty", "", ""},
        {"Bytes", std::string("caf\xe9 \xac\xa4 \xc3\xa9", 10), std::string("caf\xe9 \xac\xa4 \xc3\xa9", 10)},
        {"Semicolon", "x;y ; z", "x;y ; z"},
        {"RomPaths", longValue, longValue},
    };
    for (const auto& c : cases) ASSERT_EQ(ini->WriteString("emu", c.key, c.value), 0) << c.key;
    for (const auto& c : cases) EXPECT_EQ(ini->ReadString("emu", c.key, "-"), c.read) << c.key;
    ini.reset();
    auto again = TIniFile::Open(dir / "v.ini");  // a fresh load from disk
    for (const auto& c : cases) EXPECT_EQ(again->ReadString("emu", c.key, "-"), c.read) << c.key;
}

TEST(IniFile, NumbersAndBooleans) {
    TTempDir dir;
    WriteFile(dir / "n.ini",
              "[s]\none=1\nblank= 2 \nneg=-3\nplus=+4\nword=yes\nempty=\nhuge=99999999999\nmixed=12ab\n"
              "min=-2147483648\nzero=0\n");
    auto ini = TIniFile::Open(dir / "n.ini");
    const struct {
        const char* key;
        int expected;
    } ints[] = {{"one", 1},    {"blank", 2},  {"neg", -3},   {"plus", 77},         {"word", 77},
                {"empty", 77}, {"huge", 77},  {"mixed", 77}, {"min", -2147483647 - 1}, {"absent", 77}};
    for (const auto& c : ints) EXPECT_EQ(ini->ReadInteger("s", c.key, 77), c.expected) << c.key;
    EXPECT_TRUE(ini->ReadBool("s", "blank", false));  // any non-zero number
    EXPECT_FALSE(ini->ReadBool("s", "zero", true));
    EXPECT_TRUE(ini->ReadBool("s", "word", true));  // not a number: the default
    EXPECT_FALSE(ini->ReadBool("s", "word", false));
    ini->WriteBool("s", "flag", true);
    ini->WriteInteger("s", "level", -12);
    EXPECT_NE(ReadFile(dir / "n.ini").find("flag=1\nlevel=-12\n"), std::string::npos);
}

TEST(IniFile, LinesOfOthersStayWhereTheyAre) {
    TTempDir dir;
    WriteFile(dir / "l.ini",
              "; written by hand\r\n[quarmelle]\r\nVersion=1\r\n\r\n[Toolbar]\r\nnot a key line\r\nPos=3\r\n");
    auto ini = TIniFile::Open(dir / "l.ini");
    ini->WriteString("quarmelle", "DBLevel", "0");  // new key at the end of its section
    ini->WriteString("mame", "Exe", "/usr/games/mame");  // new section at the end
    EXPECT_EQ(ReadFile(dir / "l.ini"),
              "; written by hand\n[quarmelle]\nVersion=1\nDBLevel=0\n\n[Toolbar]\nnot a key line\nPos=3\n"
              "\n[mame]\nExe=/usr/games/mame\n");
}

TEST(IniFile, MalformedTextIsReadAsFarAsItGoes) {
    TTempDir dir;
    const std::string junk = std::string("\xEF\xBB\xBF[quarmelle]\n\x01\x02\xff\xfe garbage\n=no key\n[unclosed\n") +
                             std::string("Nul=a\0b", 7) + "\nKey = spaced \n[]\nk=in empty section\n[tail";
    WriteFile(dir / "m.ini", junk);
    auto ini = TIniFile::Open(dir / "m.ini");
    EXPECT_EQ(ini->ReadString("quarmelle", "Nul", "-"), std::string("a\0b", 3));
    EXPECT_EQ(ini->ReadString("quarmelle", "Key", "-"), "spaced");
    EXPECT_EQ(ini->ReadString("", "k", "-"), "in empty section");
    ASSERT_EQ(ini->WriteString("quarmelle", "Added", "1"), 0);
    // Everything the file held is still there, the new key inside the section.
    const std::string text = ReadFile(dir / "m.ini");
    EXPECT_NE(text.find("Key = spaced \nAdded=1\n[]\n"), std::string::npos);
    EXPECT_NE(text.find("\x01\x02\xff\xfe garbage"), std::string::npos);
    EXPECT_EQ(text.rfind("[tail\n"), text.size() - 6);
}

TEST(IniFile, OneSharedInstancePerFile) {
    TTempDir dir;
    auto settings = TIniFile::Open(dir / "s.ini");
    auto toolbars = TIniFile::Open(dir / "s.ini");
    EXPECT_EQ(settings.get(), toolbars.get());
    settings->WriteString("quarmelle", "A", "1");
    toolbars->WriteString("Toolbar", "B", "2");
    settings->WriteString("quarmelle", "C", "3");
    EXPECT_EQ(ReadFile(dir / "s.ini"), "[quarmelle]\nA=1\nC=3\n\n[Toolbar]\nB=2\n");
}

TEST(IniFile, EveryWriteIsOnDiskAndReadableByAnotherParser) {
    TTempDir dir;
    auto ini = TIniFile::Open(dir / "p.ini");
    const std::pair<const char*, const char*> values[] = {
        {"TempPath", "/tmp/Mixed Case/"}, {"Datutil_cm_to_qm", "-o %qm %cm"}, {"Query", "a=b"}, {"DBLevel", "1"}};
    for (const auto& [key, value] : values) {
        ASSERT_EQ(ini->WriteString("quarmelle", key, value), 0);
        // Python's own ini reader sees the value as soon as the write returns.
        const std::string script = "import configparser,sys\n"
                                   "c=configparser.RawConfigParser(strict=False)\n"
                                   "c.read(sys.argv[1])\n"
                                   "sys.stdout.write(c.get('quarmelle',sys.argv[2]))\n";
        int code = -1;
        const std::string out = RunCommand("python3 -c " + ShellQuote(script) + " " + ShellQuote(dir / "p.ini") +
                                               " " + ShellQuote(key),
                                           &code);
        ASSERT_EQ(code, 0);
        EXPECT_EQ(out, value);
    }
}

TEST(IniFile, AFailedRewriteKeepsTheOldFileAndTheValue) {
    TTempDir dir;
    WriteFile(dir / "f.ini", "[s]\nOld=1\n");
    auto ini = TIniFile::Open(dir / "f.ini");
    TFaultyFileSystem faulty(Fs());
    faulty.failAt = 1;
    {
        TScopedFileSystem scope(faulty);
        EXPECT_EQ(ini->WriteString("s", "New", "2"), EIO);
        EXPECT_FALSE(ini->WriteError().empty());
    }
    EXPECT_EQ(ReadFile(dir / "f.ini"), "[s]\nOld=1\n");
    EXPECT_EQ(ini->ReadString("s", "New", "-"), "2");
    ASSERT_EQ(ini->WriteString("s", "Next", "3"), 0);
    EXPECT_TRUE(ini->WriteError().empty());
    EXPECT_EQ(ReadFile(dir / "f.ini"), "[s]\nOld=1\nNew=2\nNext=3\n");
}

TEST(IniFile, AFileThatCannotBeReadIsNeverReplaced) {
    TTempDir dir;
    WriteFile(dir / "u.ini", "[s]\nPrecious=1\n");
    TUnreadableFileSystem unreadable(dir / "u.ini");
    std::shared_ptr<TIniFile> ini;
    {
        TScopedFileSystem scope(unreadable);
        ini = TIniFile::Open(dir / "u.ini");
    }
    EXPECT_FALSE(ini->LoadError().empty());
    EXPECT_EQ(ini->WriteString("s", "Other", "2"), EIO);
    EXPECT_EQ(ini->ReadString("s", "Other", "-"), "2");
    EXPECT_EQ(ReadFile(dir / "u.ini"), "[s]\nPrecious=1\n");
}

TEST(IniFile, TextsThatWouldMakeOtherKeysAreRefused) {
    TTempDir dir;
    auto ini = TIniFile::Open(dir / "r.ini");
    ini->WriteString("s", "A", "1");
    const struct {
        const char* section;
        const char* key;
        const char* value;
    } bad[] = {{"s", "A", "x\n[quarmelle]\nVersion=0"}, {"s", "A=B", "1"}, {"s", "", "1"},
               {"s", "[x]", "1"}, {"s\n", "A", "1"},  {"a]b", "A", "1"}, {"s", "A", "x\ry"}};
    for (const auto& c : bad) EXPECT_THROW(ini->WriteString(c.section, c.key, c.value), Exception) << c.key;
    EXPECT_EQ(ReadFile(dir / "r.ini"), "[s]\nA=1\n");
}

TEST(IniFile, AnUpdateRewritesTheFileOnce) {
    TTempDir dir;
    auto ini = TIniFile::Open(dir / "b.ini");
    TFaultyFileSystem counting(Fs());
    TScopedFileSystem scope(counting);
    ini->BeginUpdate();
    for (int i = 0; i < 16; ++i) EXPECT_EQ(ini->WriteInteger("s", "K" + std::to_string(i), i), 0);
    EXPECT_EQ(counting.changingCalls, 0);
    EXPECT_FALSE(FileExists(dir / "b.ini"));
    EXPECT_EQ(ini->EndUpdate(), 0);
    EXPECT_EQ(counting.changingCalls, 1);
    EXPECT_NE(ReadFile(dir / "b.ini").find("K15=15\n"), std::string::npos);
}
