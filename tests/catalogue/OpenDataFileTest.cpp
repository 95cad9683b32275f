#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <vector>

#include "archive/DiskInfo.h"
#include "archive/archivemanager.h"
#include "catalogue/DataFile.h"
#include "catalogue/DatUtil.h"
#include "catalogue/RomsBd.h"
#include "catalogue/config.h"
#include "platform/FileSystem.h"
#include "platform/UiHooks.h"
#include "ProfileTestSupport.h"

using namespace qm;
using namespace qm::test;

namespace {

const char kSep = '\xAC';

std::string GameLine(const std::string& game) {
    return std::string(1, kSep) + game + kSep + game + kSep + game + kSep + game + kSep + game + ".rom" + kSep +
           "12345678" + kSep + "1024" + kSep + kSep + kSep;
}

// A datafile of our own format with the header given; lines end with CR LF.
std::string Datafile(const std::string& header, const std::string& game = "pacman") {
    std::string text;
    size_t start = 0;
    for (;;) {
        const size_t end = header.find('\n', start);
        if (end == std::string::npos) break;
        text += header.substr(start, end - start) + "\r\n";
        start = end + 1;
    }
    return text + "[GAMES]\r\n" + GameLine(game) + "\r\n" + "comment=not a comment\r\n";
}

const std::string kHeader =
    "[CREDITS]\nAuthor=Someone\nEmail=a@b.example\nHomePage=http://home.example\nUrl=http://url.example\n"
    "Version=0.104\nDate=2006-01-01\nComment=first line\nsecond line\nthird line\n"
    "[DAT]\nversion=2.00\nplugin=arcade\nsplit=0\nmerge=1\n"
    "[EMULATOR]\nrefname=Mame\nversion=0.104u5\n";

struct TFileSnapshot {
    std::string bytes;
    int64_t mtime = 0;
    bool operator==(const TFileSnapshot&) const = default;
};

TFileSnapshot Snapshot(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return {ReadFile(path), static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

class OpenDataFileTest : public ProfileTest {
protected:
    OpenDataFileTest() : hooksScope_(hooks_) {
        manager_.SetTempDir(Cfg().GetPrivateTempPath());
        Cfg().ArchiveManager = &manager_;
        Cfg().RomsBd = &romsBd_;
    }
    std::string Private() { return Cfg().GetPrivateTempPath(); }
    TDataFile& Dat() { return *Cfg().DataFile; }
    void Open(const std::string& file, const std::string& entry = "") {
        Cfg().Emulator->RomPaths().Clear();
        Cfg().OpenDataFile(file, entry);
    }
    // A zip archive made by Info-ZIP holding the files given, named relative to folder.
    std::string Zip(const std::string& folder, const std::string& names) {
        const std::string archive = data_.Path() + "dats.zip";
        int code = -1;
        RunCommand("cd " + ShellQuote(folder) + " && zip -q -X " + ShellQuote(archive) + " " + names, &code);
        EXPECT_EQ(code, 0);
        return archive;
    }
    template <class E>
    std::string Failure(const std::string& file, const std::string& entry = "") {
        try {
            Open(file, entry);
        } catch (const E& e) {
            return e.Message();
        }
        return "(no error)";
    }

    TScriptedUiHooks hooks_;
    TScopedUiHooks hooksScope_;
    TArchiveManager manager_;
    TRomsBd romsBd_;
};

}  // namespace

TEST_F(OpenDataFileTest, APlainDatafile) {
    const std::string source = data_.Path() + "Dat/Mame.DAT";
    WriteFile(source, Datafile(kHeader));
    const TFileSnapshot before = Snapshot(source);
    Cfg().SubListFileName = "old.lst";
    romsBd_.CheckSize = false;
    Open(source);

    EXPECT_TRUE(Cfg().DataFileOpen);
    EXPECT_EQ(Dat().FileName, Private() + "Mame.DAT");
    EXPECT_EQ(ReadFile(Dat().FileName), before.bytes);
    EXPECT_EQ(Dat().SourceName, source);  // its letter case kept
    EXPECT_EQ(Dat().GetName(), "Mame");
    EXPECT_EQ(Cfg().SubListFileName, "");
    EXPECT_EQ(Dat().Author, "Someone");
    EXPECT_EQ(Dat().Email, "a@b.example");
    EXPECT_EQ(Dat().HomePage, "http://home.example");
    EXPECT_EQ(Dat().Url, "http://url.example");
    EXPECT_EQ(Dat().CreditsVersion, "0.104");
    EXPECT_EQ(Dat().Date, "2006-01-01");
    EXPECT_EQ(Dat().Version, "2.00");
    EXPECT_EQ(Dat().PlugIn, "arcade.dll");
    EXPECT_TRUE(romsBd_.CheckSize);
    EXPECT_FALSE(Dat().Split);
    EXPECT_TRUE(Dat().Merge);
    EXPECT_EQ(Dat().RefName, "Mame");
    EXPECT_EQ(Dat().EmuVersion, "0.104u5");
    EXPECT_EQ(Dat().Comment, (std::vector<std::string>{"first line", "second line", "third line"}));
    EXPECT_EQ(Cfg().EmulatorSection, "Mame");
    EXPECT_EQ(Cfg().GetLastDataFile(), source);
    EXPECT_EQ(Cfg().GetLastZippedDataFile(), "");
    EXPECT_TRUE(hooks_.shown.empty());

    // The profile: the datafile's split and merge are the defaults of a new emulator.
    EXPECT_TRUE(Has(Ini(),
                    "[Mame]\nExe=\nRunParam=\nSplit=0\nMerge=1\nSetsCase=4\nRomsCase=4\nFixExtension=1\n"
                    "DoRenameFiles=1\nDoRenameRoms=1\nDoRemoveFiles=0\nDoRemoveRoms=1\nDoFindRoms=1\n"
                    "DoCreateDummy=0\nDoReZip=0\n"))
        << Ini();
    EXPECT_FALSE(Cfg().Emulator->Split());
    EXPECT_TRUE(Cfg().Emulator->Merge());

    // Opening again, closing, and the end of the program never touch the user's file.
    const std::string copy = Dat().FileName;
    Open(source);
    Cfg().CloseDataFile();
    EXPECT_FALSE(Cfg().DataFileOpen);
    EXPECT_EQ(Dat().PlugIn, "arcade.dll");  // kept by a close
    EXPECT_EQ(Dat().RefName, "");
    Open(source);
    Restart();
    EXPECT_FALSE(FileExists(copy));
    EXPECT_TRUE(Snapshot(source) == before);
}

TEST_F(OpenDataFileTest, ADatafileInTheUsersTemporaryFolderIsNeverItsOwnCopy) {
    const std::string source = tmp_.Path() + "mame.dat";
    WriteFile(source, Datafile(kHeader));
    const TFileSnapshot before = Snapshot(source);
    Open(source);
    EXPECT_NE(Dat().FileName, source);
    Open(source);
    // Opening the working copy itself neither deletes nor overwrites it.
    const std::string copy = Dat().FileName;
    Open(copy);
    EXPECT_TRUE(FileExists(copy));
    EXPECT_EQ(Dat().RefName, "Mame");
    Restart();
    EXPECT_TRUE(Snapshot(source) == before);
}

TEST_F(OpenDataFileTest, ZippedDatafiles) {
    WriteFile(data_.Path() + "src/sub/dir/Mame.dat", Datafile(kHeader));
    WriteFile(data_.Path() + "src/snes.dat", Datafile("[DAT]\nplugin=snes.dll\n[EMULATOR]\nrefname=snes\n"));
    const std::string archive = Zip(data_.Path() + "src", "sub/dir/Mame.dat snes.dat");
    const TFileSnapshot before = Snapshot(archive);

    Open(archive, "sub/dir/Mame.dat");
    EXPECT_EQ(Dat().FileName, Private() + "sub/dir/Mame.dat");
    EXPECT_EQ(ReadFile(Dat().FileName), Datafile(kHeader));
    EXPECT_EQ(Dat().SourceName, archive);
    EXPECT_EQ(Dat().GetName(), "Mame");
    EXPECT_EQ(Dat().RefName, "Mame");
    EXPECT_EQ(Cfg().GetLastDataFile(), archive);
    EXPECT_EQ(Cfg().GetLastZippedDataFile(), "sub/dir/Mame.dat");

    // A name with the other separator is the same entry.
    Open(archive, "sub\\dir\\Mame.dat");
    EXPECT_EQ(Dat().FileName, Private() + "sub/dir/Mame.dat");

    Open(archive, "snes.dat");
    EXPECT_EQ(Dat().PlugIn, "snes.dll");
    EXPECT_FALSE(romsBd_.CheckSize);
    EXPECT_FALSE(FileExists(Private() + "sub/dir/Mame.dat"));  // the previous copy went

    // Without an entry: refused, and the previous copy is already gone.
    const std::string previous = Dat().FileName;
    EXPECT_EQ(Failure<EDataFileNotFound>(archive), "Datafile not specified.");
    EXPECT_FALSE(FileExists(previous));

    // An entry the archive does not hold is an error, whatever copy was there before.
    WriteFile(Private() + "missing.dat", Datafile(kHeader));
    EXPECT_THROW(Open(archive, "missing.dat"), Exception);
    EXPECT_FALSE(FileExists(Private() + "missing.dat"));

    // The settings find an archive without the main window's manager too.
    Cfg().ArchiveManager = nullptr;
    Open(archive, "snes.dat");
    EXPECT_EQ(Dat().RefName, "snes");
    Restart();
    EXPECT_TRUE(Snapshot(archive) == before);
}

TEST_F(OpenDataFileTest, AnEntryThatWouldLandOutsideIsRefused) {
    const std::string archive = data_.Path() + "evil.zip";
    int code = -1;
    RunCommand("python3 -c " +
                   ShellQuote("import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1],'w')\n"
                              "z.writestr('../evil.dat','[EMULATOR]\\nrefname=x\\n')\n"
                              "z.writestr('/abs.dat','x')\nz.writestr('sub/../../up.dat','x')\nz.close()") +
                   " " + ShellQuote(archive),
               &code);
    ASSERT_EQ(code, 0);
    for (const char* entry : {"../evil.dat", "/abs.dat", "sub/../../up.dat", "C:\\evil.dat", "sub/"}) {
        const std::string message = Failure<EBadDataFile>(archive, entry);
        EXPECT_TRUE(Has(message, entry)) << message;
    }
    EXPECT_FALSE(FileExists(tmp_.Path() + "evil.dat"));
    EXPECT_FALSE(FileExists(tmp_.Path() + "up.dat"));
    EXPECT_FALSE(Cfg().DataFileOpen);
}

TEST_F(OpenDataFileTest, AMissingFile) {
    Dat().SourceName = "/before.dat";
    Cfg().SubListFileName = "a.lst";
    EXPECT_EQ(Failure<EDataFileNotFound>(data_.Path() + "none.dat"), "File Not Found.");
    EXPECT_EQ(Dat().SourceName, "");
    EXPECT_EQ(Cfg().SubListFileName, "");
    EXPECT_EQ(Failure<EDataFileNotFound>(data_.Path()), "File Not Found.");  // a folder
    EXPECT_FALSE(Has(Ini(), "LastDataFile"));
}

TEST_F(OpenDataFileTest, PlugInNames) {
    const struct {
        const char* lines;
        const char* plugIn;
        bool checkSize;
    } cases[] = {
        {"plugin=arcade\n", "arcade.dll", true},
        {"plugin=ARCADE.DLL\n", "ARCADE.DLL", true},
        {"plugin=snes.dll\n", "snes.dll", false},
        {"plugin=nes\n", "nes.dll", false},
        {"", "arcade.dll", true},
        {"plugin=\n", "arcade.dll", true},
    };
    const std::string source = data_.Path() + "p.dat";
    for (const auto& c : cases) {
        WriteFile(source, Datafile(std::string("[DAT]\nversion=2.00\n") + c.lines + "[EMULATOR]\nrefname=p\n"));
        romsBd_.CheckSize = !c.checkSize;
        Open(source);
        EXPECT_EQ(Dat().PlugIn, c.plugIn) << c.lines;
        EXPECT_EQ(romsBd_.CheckSize, c.checkSize) << c.lines;
    }
    EXPECT_TRUE(hooks_.shown.empty());
}

TEST_F(OpenDataFileTest, AnOldFormatDatafileIsRefusedButRemembered) {
    const std::string source = data_.Path() + "old snes.dat";
    WriteFile(source, Datafile("[DAT]\nversion=1.00\n[EMULATOR]\nrefname=snes\ncrcformat=SNES\n"));
    EXPECT_EQ(Failure<EAbortOperation>(source), "Operation aborted.");
    ASSERT_EQ(hooks_.shown.size(), 1u);
    EXPECT_EQ(hooks_.shown[0].text,
              "Old snes and nes datafiles are no more compatible with this \r\nversion of Quarmelle.\r\n"
              "Please use new datafiles.");
    EXPECT_EQ(hooks_.shown[0].type, TMsgDlgType::mtWarning);
    EXPECT_EQ(hooks_.shown[0].buttons, static_cast<unsigned>(mbOK));
    EXPECT_FALSE(Cfg().DataFileOpen);
    EXPECT_EQ(Cfg().GetLastDataFile(), source);  // reopened at the next start all the same
    EXPECT_FALSE(Has(Ini(), "[snes]"));
}

TEST_F(OpenDataFileTest, TheEmulatorSection) {
    const std::string source = data_.Path() + "Odd.dat";
    WriteFile(source, Datafile("[DAT]\nversion=2.00\n[EMULATOR]\nrefname=\n"));
    Open(source);
    EXPECT_EQ(Dat().RefName, "no name");
    EXPECT_EQ(Cfg().EmulatorSection, "no name");
    ASSERT_EQ(hooks_.shown.size(), 1u);
    EXPECT_EQ(hooks_.shown[0].text,
              "Field 'refname' is empty in the datafile Odd.\r\nIt is recommended to set a correct value in this "
              "field.");
    EXPECT_EQ(hooks_.shown[0].type, TMsgDlgType::mtWarning);
    EXPECT_TRUE(Cfg().DataFileOpen);
    EXPECT_TRUE(Dat().Split);   // the defaults of a header that says nothing
    EXPECT_FALSE(Dat().Merge);

    WriteFile(source, Datafile("[EMULATOR]\nrefname=Mame [beta] ]x[\n"));
    Open(source);
    EXPECT_EQ(Cfg().EmulatorSection, "Mame {{beta}} }}x{{");
    EXPECT_TRUE(Has(Ini(), "[Mame {{beta}} }}x{{]\nExe=\n"));
}

TEST_F(OpenDataFileTest, TheProfileAndItsRomPathsComeBack) {
    TStaticVolumeProvider volumes;
    TVolumeFacts usb;
    usb.root = "/media/usb";
    usb.source = "/dev/sdb1";
    usb.fsType = "vfat";
    usb.uuid = "28E6-ADE1";
    usb.label = "ROMS";
    volumes.volumes = {usb};
    TScopedVolumeProvider volumeScope(volumes);

    const std::string source = data_.Path() + "mame.dat";
    WriteFile(source, Datafile(kHeader));
    Open(source);
    TEmulator& emu = *Cfg().Emulator;
    emu.SetExe("/opt/mame/mame");
    emu.SetRunParam("%1");
    emu.SetRomsCase(coLowercase);
    emu.SetDoReZip(true);
    ASSERT_NE(emu.RomPaths().AddPath("/media/usb/roms", "", ""), nullptr);
    ASSERT_NE(emu.RomPaths().AddPath("/media/usb/bios/", "", ""), nullptr);
    ASSERT_NE(emu.RomPaths().AddPath("/media/dvd/roms/", "mame disc 2", "0badf00d"), nullptr);
    emu.RomPaths().SaveToIni();

    // At the next start the disc and the usb disk are gone.
    volumes.volumes.clear();
    Restart();
    Cfg().ArchiveManager = &manager_;
    Open(source);
    const TEmulator& again = *Cfg().Emulator;
    EXPECT_EQ(again.Exe(), "/opt/mame/mame");
    EXPECT_EQ(again.RunParam(), "%1");
    EXPECT_EQ(again.RomsCase(), coLowercase);
    EXPECT_EQ(again.SetsCase(), coDontCare);
    EXPECT_TRUE(again.DoReZip());
    EXPECT_FALSE(again.Split());  // written from the datafile's header at the first open
    ASSERT_EQ(again.RomPaths().Count(), 3u);
    const TRomPath& a = again.RomPaths().Items(0);
    EXPECT_EQ(a.Path, "/media/usb/roms/");
    EXPECT_EQ(a.VolumeName, "roms");
    EXPECT_EQ(a.Serial, "28e6-ade1");
    EXPECT_EQ(again.RomPaths().Items(1).Path, "/media/usb/bios/");
    const TRomPath& c = again.RomPaths().Items(2);
    EXPECT_EQ(c.VolumeName, "mame disc 2");
    EXPECT_EQ(c.Serial, "0badf00d");
    EXPECT_TRUE(hooks_.shown.empty());
}

TEST_F(OpenDataFileTest, Comments) {
    const struct {
        const char* name;
        std::string header;
        std::vector<std::string> comment;
    } cases[] = {
        {"key alone", "[CREDITS]\nAuthor=x\ncomment=\nline one\n  line two\n[DAT]\nversion=2.00\n",
         {"line one", "  line two"}},
        {"any case", "[CREDITS]\nCOMMENT=Hello Comment=again\nnext\n[dat]\n", {"Hello Comment=again", "next"}},
        {"every line loses its first key", "[CREDITS]\nComment=a\nb comment=c\n[DAT]\n", {"a", "b c"}},
        // Without a "[dat]" line the run goes on to the games, never into them.
        {"ends at the games", "[CREDITS]\nComment=a\nb\n", {"a", "b", "[EMULATOR]", "refname=c"}},
        // A game line that holds "comment=" is never taken for the comment.
        {"none", "[CREDITS]\nAuthor=x\n[DAT]\nversion=2.00\n", {}},
    };
    const std::string source = data_.Path() + "c.dat";
    for (const auto& c : cases) {
        WriteFile(source, Datafile(c.header + "[EMULATOR]\nrefname=c\n"));
        Open(source);
        EXPECT_EQ(Dat().Comment, c.comment) << c.name;
    }
}

TEST_F(OpenDataFileTest, ADatafileOfOurOwnWriter) {
    TDatafile writer;
    writer.Author = "me";
    writer.Web = "http://web.example";
    writer.Comment = "made here\nsecond";
    writer.Refname = "mame";
    writer.EmuVersion = "0.99";
    writer.GameItems.Add("", "", "pacman", "Pac-Man", "pacman.6e", "c1e6ab10", 4096, "", "");
    const std::string source = data_.Path() + "written.dat";
    writer.SaveToFile(source);
    Open(source);
    EXPECT_EQ(Dat().Author, "me");
    EXPECT_EQ(Dat().HomePage, "");  // the writer names its address Web
    EXPECT_EQ(Dat().Url, "");
    EXPECT_EQ(Dat().Comment, (std::vector<std::string>{"made here", "second"}));
    EXPECT_EQ(Dat().RefName, "mame");
    EXPECT_EQ(Dat().EmuVersion, "0.99");
}

TEST_F(OpenDataFileTest, AnEmptyFile) {
    const std::string source = data_.Path() + "empty.dat";
    WriteFile(source, "");
    Open(source);
    EXPECT_EQ(Dat().RefName, "no name");
    EXPECT_EQ(Dat().PlugIn, "arcade.dll");
}

// ---- ClrMamePro datafiles go through datutil

namespace {

class ClrMameTest : public OpenDataFileTest {
protected:
    ClrMameTest()
        : mode_("QM_FAKE_MODE", "ok"),
          canned_("QM_FAKE_CANNED", (data_.Path() + "converted.dat").c_str()),
          input_("QM_FAKE_INPUT", (data_.Path() + "seen.dat").c_str()),
          log_("QM_FAKE_LOG", nullptr) {
        WriteFile(data_.Path() + "converted.dat", Datafile(kHeader));
        Cfg().DatUtil->SetDatutilExe(QM_FAKE_DATUTIL);
        WriteFile(source_, kClrMame);
    }
    const std::string kClrMame = "\r\n\nClrMamePro (\n\tname \"MAME\"\n)\ngame ( name pacman )\n";
    const std::string source_ = data_.Path() + "cm/mame.dat";
    TProfileEnv mode_, canned_, input_, log_;
};

}  // namespace

TEST_F(ClrMameTest, IsConvertedIntoTheWorkingCopy) {
    const TFileSnapshot before = Snapshot(source_);
    Open(source_);
    EXPECT_EQ(ReadFile(data_.Path() + "seen.dat"), kClrMame);  // datutil read the copy
    EXPECT_EQ(ReadFile(Dat().FileName), Datafile(kHeader));
    EXPECT_FALSE(FileExists(Dat().FileName + "_tmp"));
    EXPECT_EQ(Dat().RefName, "Mame");
    EXPECT_TRUE(Cfg().DataFileOpen);
    EXPECT_TRUE(Snapshot(source_) == before);
}

// A datutil that fails, or that writes what is no datafile and exits 0, is told as
// datutil's failure, not as a datafile of a version the program does not read.
TEST_F(ClrMameTest, AFailedConversionIsRaisedAndLeavesItsInput) {
    for (const char* mode : {"exit3", "garbage"}) {
        SCOPED_TRACE(mode);
        TProfileEnv failing("QM_FAKE_MODE", mode);
        try {
            Open(source_);
            FAIL() << "converted";
        } catch (const datutil::EFileNotFound& e) {
            EXPECT_TRUE(Has(e.Message(), "Error during clrmame conversion on command")) << e.Message();
            EXPECT_FALSE(Has(FailureText(e), "not supported")) << FailureText(e);
        }
        EXPECT_EQ(ReadFile(Private() + "mame.dat_tmp"), kClrMame);
        EXPECT_FALSE(Cfg().DataFileOpen);
        EXPECT_EQ(ReadFile(source_), kClrMame);
    }
}

TEST_F(ClrMameTest, ALeftoverOfAnEarlierFailureIsReplaced) {
    WriteFile(Private() + "mame.dat_tmp", "stale leftover\n");
    Open(source_);
    EXPECT_EQ(ReadFile(data_.Path() + "seen.dat"), kClrMame);
    EXPECT_FALSE(FileExists(Private() + "mame.dat_tmp"));
    EXPECT_TRUE(Cfg().DataFileOpen);
}

TEST_F(ClrMameTest, OnlyTheFirstLineThatHoldsAnythingCounts) {
    // A line of blanks holds something: the name on the next line is not looked at.
    WriteFile(source_, "  \r\nclrmamepro (\r\n");
    EXPECT_NO_THROW(Open(source_));
    EXPECT_FALSE(FileExists(data_.Path() + "seen.dat"));
    EXPECT_EQ(Dat().RefName, "no name");
}

TEST_F(ClrMameTest, FailingFileStepsAreRaisedAndTheUsersFileStays) {
    // The first changing call is the copy, the second the rename before the conversion.
    for (const int failAt : {1, 2}) {
        TFaultyFileSystem faulty(Fs());
        faulty.failAt = failAt;
        faulty.failErrno = ENOSPC;
        {
            TScopedFileSystem scope(faulty);
            try {
                Open(source_);
                FAIL() << "opened with call " << failAt << " failing";
            } catch (const config::EFileError& e) {
                EXPECT_TRUE(Has(e.Message(), failAt == 1 ? "Cannot copy" : "Cannot rename")) << e.Message();
            }
        }
        EXPECT_FALSE(Cfg().DataFileOpen);
        EXPECT_EQ(ReadFile(source_), kClrMame);
    }
}
