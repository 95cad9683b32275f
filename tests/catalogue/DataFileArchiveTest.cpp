// Zipped datafiles, with archives made by Info-ZIP's zip.
#include <gtest/gtest.h>

#include <algorithm>

#include "archive/archivemanager.h"
#include "catalogue/DataFile.h"
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

std::string Datafile(const std::string& game) {
    const std::string s = "\xAC";
    return "[DAT]\r\nversion=2.00\r\n[GAMES]\r\n" + s + game + s + s + game + s + s + "r" + s + "1" + s + "1" + s + s +
           s + "\r\n";
}

// Zips the given files (relative to dir, in this order) into dir/name.
std::string Zip(const TTempDir& dir, const std::string& name, const std::vector<std::string>& files) {
    std::string cmd = "cd " + ShellQuote(dir.Path()) + " && zip -q " + ShellQuote(name);
    for (const auto& f : files) cmd += " " + ShellQuote(f);
    int code = -1;
    RunCommand(cmd, &code);
    EXPECT_EQ(code, 0) << cmd;
    for (const auto& f : files) std::remove((dir / f).c_str());
    return dir / name;
}

struct TZipLoad {
    TTempDir src, work;
    TArchiveManager manager;
    std::unique_ptr<TDatafile> df = std::make_unique<TDatafile>();
    std::vector<std::string> infos;

    TZipLoad() {
        df->ArchiveManager = &manager;
        df->TempDir = work.Path();
        df->OnInfos = [this](const std::string& t) { infos.push_back(t); };
    }
};

}  // namespace

TEST(DatafileArchive, LastDatEntryWinsAndIsNamedWithoutItsFolder) {
    TZipLoad t;
    WriteFile(t.src / "first.dat", Datafile("first"));
    WriteFile(t.src / "notes.txt", "not a datafile");
    WriteFile(t.src / "sub/Second.DAT", Datafile("second"));
    WriteFile(t.src / "third.dat.bak", Datafile("third"));
    const std::string zip = Zip(t.src, "dats.zip", {"first.dat", "notes.txt", "sub/Second.DAT", "third.dat.bak"});
    // A file of the same name already in the work folder is not the user's to lose.
    WriteFile(t.work / "Second.DAT", "someone else's file");

    t.df->SetDataFileName(zip);
    t.df->LoadFromFile();
    ASSERT_EQ(t.df->GetGameCount(), 1u);
    EXPECT_EQ(t.df->GetGameItem(0).GameName, "second");
    const std::string work = t.df->WorkFileName();
    EXPECT_EQ(work.rfind(t.work.Path(), 0), 0u) << work;
    EXPECT_EQ(work.substr(work.size() - 11), "/Second.DAT");
    EXPECT_TRUE(FileExists(work));
    EXPECT_EQ(t.infos, (std::vector<std::string>{"Unzipping datafile...", "Loading datafile dats.zip", "Datafile loaded"}));

    // Loading again replaces the working copy; destroying the reader removes it.
    t.df->LoadFromFile();
    std::vector<TDirEntry> left;
    ASSERT_EQ(Fs().ListDir(t.work.Path(), left), 0);
    EXPECT_EQ(left.size(), 2u);  // the other file and one folder with the copy
    const std::string again = t.df->WorkFileName();
    EXPECT_TRUE(FileExists(again));
    t.df.reset();
    EXPECT_FALSE(FileExists(again));
    ASSERT_EQ(Fs().ListDir(t.work.Path(), left), 0);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].name, "Second.DAT");
    EXPECT_EQ(ReadFile(t.work / "Second.DAT"), "someone else's file");
    int code = -1;
    RunCommand("unzip -tq " + ShellQuote(zip), &code);
    EXPECT_EQ(code, 0);  // the archive is untouched
}

TEST(DatafileArchive, ArchiveWithoutDatafile) {
    TZipLoad t;
    WriteFile(t.src / "readme.txt", "x");
    const std::string zip = Zip(t.src, "empty.zip", {"readme.txt"});
    t.df->SetDataFileName(zip);
    try {
        t.df->LoadFromFile();
        FAIL();
    } catch (const datafile::EFileNotFound& e) {
        EXPECT_EQ(e.Message(), "Datafile not found in " + zip + ".");
    }
    EXPECT_TRUE(t.df->WorkFileName().empty());

    // Without an archive manager a zip is refused the same way, never read as text.
    TDatafile plain;
    plain.SetDataFileName(zip);
    EXPECT_THROW(plain.LoadFromFile(), datafile::EFileNotFound);
}

TEST(DatafileArchive, RefusedPlugInDeletesTheWorkingCopyButALoopAbortKeepsIt) {
    TZipLoad t;
    std::string text = "[DAT]\r\nversion=2.00\r\n[GAMES]\r\n";
    for (int i = 0; i < 50; ++i) text += "\xAC" "g" + std::to_string(i) + "\xAC\xAC" "g\xAC\xAC" "r\xAC" "1\xAC" "1\xAC\xAC\xAC\r\n";
    WriteFile(t.src / "big.dat", text);
    const std::string zip = Zip(t.src, "big.zip", {"big.dat"});
    t.df->SetDataFileName(zip);

    t.df->OnPlugInCheck = [](const std::string&, bool& abort) { abort = true; };
    EXPECT_THROW(t.df->LoadFromFile(), datafile::EAbortDataFileLoading);
    std::vector<TDirEntry> left;
    ASSERT_EQ(Fs().ListDir(t.work.Path(), left), 0);
    EXPECT_TRUE(left.empty());

    t.df->OnPlugInCheck = nullptr;
    t.df->OnProgress = [&](int p) {
        if (p >= 50) t.df->Abort = true;
    };
    EXPECT_THROW(t.df->LoadFromFile(), datafile::EAbortDataFileLoading);
    EXPECT_EQ(t.df->GetGameCount(), 0u);
    EXPECT_TRUE(FileExists(t.df->WorkFileName()));
    EXPECT_EQ(ReadFile(t.df->WorkFileName()), text);
}
