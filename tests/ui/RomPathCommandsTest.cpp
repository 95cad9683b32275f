#include <gtest/gtest.h>

#include <QMimeData>
#include <QUrl>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/DiskInfo.h"
#include "archive/FilesTools.h"
#include "archive/archivemanager.h"
#include "catalogue/RomPaths.h"
#include "catalogue/RomsBd.h"
#include "catalogue/config.h"
#include "filesdb/CrcPlugIn.h"
#include "filesdb/SignatureCalculator.h"
#include "filesdb/filesBd.h"
#include "platform/FileSystem.h"
#include "platform/UiHooks.h"
#include "support/TestSupport.h"
#include "ui/RomPathCommands.h"

using namespace qm;
using namespace qm::test;

namespace {

using TFocus = TRomPathCommands::TFocus;
using TFocusKind = TRomPathCommands::TFocusKind;

using TEnv = TScopedEnv;

std::string Crc(const std::string& bytes) {
    char text[9];
    std::snprintf(text, sizeof text, "%08lx",
                  crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
    return text;
}

const std::vector<std::pair<std::string, std::string>> kGames = {
    {"pacman", "pacman rom bytes"}, {"galaga", "galaga rom bytes!"}, {"digdug", "digdug rom"}};

std::string DatafileText() {
    std::string text = "[CREDITS]\nAuthor=test\n[DAT]\nversion=2.00\nplugin=arcade.dll\n[EMULATOR]\nrefname=Mame\n"
                       "version=1\n[GAMES]\n";
    const std::string s = "\xac";
    for (const auto& [game, content] : kGames)
        text += s + game + s + game + " game" + s + game + s + game + " game" + s + game + ".rom" + s + Crc(content) +
                s + std::to_string(content.size()) + s + s + s + "\n";
    return text;
}

// The process's private temporary folder made afresh inside this test's folder, before
// any member that may ask for it.
struct TFreshPrivateTemp {
    explicit TFreshPrivateTemp(const std::string& base) {
        RemoveTempDirectory();
        SetTempDirectoryBase(base);
    }
    ~TFreshPrivateTemp() { RemoveTempDirectory(); }
};

class RomPathCommandsTest : public ::testing::Test {
protected:
    RomPathCommandsTest()
        : homeEnv_("QUARMELLE_HOME", home_.Path()), tmpEnv_("TMPDIR", tmp_.Path()), privateTemp_(tmp_.Path()),
          hooksScope_(hooks_),
          volumeScope_(volumes_) {
        TVolumeFacts volume;
        volume.root = "/";
        volume.source = "/dev/test";
        volume.uuid = "1234-ABCD";
        volume.fsType = "vfat";
        volume.label = "ROMDISK";
        volume.totalBytes = int64_t{1} << 40;
        volumes_.volumes.push_back(volume);

        global_ = std::make_unique<TGlobalConfig>("/opt/quarmelle/bin/quarmelle");
        manager_.SetTempDir(Config->GetPrivateTempPath());
        Config->ArchiveManager = &manager_;
        Config->RomsBd = &roms_;
        WriteFile(data_ / "dats/test.dat", DatafileText());
        Config->OpenDataFile(data_ / "dats/test.dat", "");
        roms_.SetDatafileName(Config->DataFile->FileName);
        roms_.LoadDatabase();

        plugIn_.SetPath(std::string(QM_BIN_DIR) + "/plugin/");
        plugIn_.SetFileName("arcade.dll");
        calc_.SetArchiveManager(&manager_);
        calc_.SetCrcPlugIn(&plugIn_);
        calc_.SetTempDir(Config->GetPrivateTempPath());
        files_.SetRomsBd(&roms_);
        files_.SetSubmitRoms(true);
        files_.SetSignatureCalculator(&calc_);
        files_.SetArchiveManager(&manager_);
        files_.SetCachePath(home_ / "cache/");
        MakeDirs(home_ / "cache/");

        commands_ = std::make_unique<TRomPathCommands>(files_, roms_, Config->Emulator->RomPaths());
        commands_->OnProgressStart = [this](const std::string& text, bool cancel) {
            ++progressShown_;
            progressTexts_.push_back(text);
            cancelShown_ = cancel;
        };
        commands_->OnProgressStop = [this] { --progressShown_; };
        commands_->OnRebuildTree = [this] { ++treeRebuilt_; };
        commands_->OnReloadLists = [this] { ++listsReloaded_; };
        commands_->OnBusy = [this](bool busy) { busy_ = busy; };
    }
    ~RomPathCommandsTest() override {
        commands_.reset();
        files_.ClearPaths();
        global_.reset();
    }

    // A folder of the user's holding one zip per game named, made by Info-ZIP.
    std::string Collection(const std::string& name, const std::vector<std::string>& games) {
        const std::string folder = data_ / (name + "/");
        MakeDirs(folder);
        for (const std::string& game : games) AddZip(folder, game);
        return folder;
    }
    void AddZip(const std::string& folder, const std::string& game) {
        std::string content;
        for (const auto& [g, c] : kGames)
            if (g == game) content = c;
        const std::string work = tmp_ / ("zip-" + game + "/");
        WriteFile(work + game + ".rom", content);
        int code = -1;
        RunCommand("cd " + ShellQuote(work) + " && zip -q -X " + ShellQuote(folder + game + ".zip") + " " + game +
                       ".rom",
                   &code);
        ASSERT_EQ(code, 0);
    }
    int GameStatus(const std::string& game) { return roms_.Games().FindClone(game)->GetStatus() & 3; }
    std::string Ini() { return ReadFile(home_ / "quarmelle.ini"); }
    TRomPaths& Paths() { return Config->Emulator->RomPaths(); }
    std::vector<std::string> Boxes() {
        std::vector<std::string> texts;
        for (const auto& shown : hooks_.shown) texts.push_back(shown.text);
        return texts;
    }
    TFocus PathFocus(int index) { return {TFocusKind::fkPath, files_.GetPath(index)}; }
    int64_t Reads(const std::function<void()>& run) {
        const int64_t before = files_.SignatureCalls;
        run();
        return files_.SignatureCalls - before;
    }

    TTempDir home_, tmp_, data_;
    TEnv homeEnv_, tmpEnv_;
    TFreshPrivateTemp privateTemp_;
    TScriptedUiHooks hooks_;
    TScopedUiHooks hooksScope_;
    TStaticVolumeProvider volumes_;
    TScopedVolumeProvider volumeScope_;
    std::unique_ptr<TGlobalConfig> global_;
    TArchiveManager manager_;
    TRomsBd roms_;
    TCrcPlugIn plugIn_;
    TSignatureCalculator calc_;
    TFilesBd files_;
    std::unique_ptr<TRomPathCommands> commands_;
    int progressShown_ = 0;
    std::vector<std::string> progressTexts_;
    bool cancelShown_ = false;
    int treeRebuilt_ = 0;
    int listsReloaded_ = 0;
    bool busy_ = false;
};

TEST_F(RomPathCommandsTest, AddScansMatchesAndStoresThePath) {
    const std::string folder = Collection("roms", {"pacman", "galaga"});
    TPath* path = commands_->AddPathByName(data_ / "roms");  // no trailing "/", as a drop gives it
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(path->GetPath(), folder);
    EXPECT_EQ(files_.GetPathCount(), 1);
    EXPECT_EQ(path->Files().Count(), 2);
    EXPECT_EQ(GameStatus("pacman"), 2);
    EXPECT_EQ(GameStatus("galaga"), 2);
    EXPECT_EQ(GameStatus("digdug"), 0);
    ASSERT_EQ(Paths().Count(), 1u);
    EXPECT_EQ(Paths().Items(0).Serial, "1234-abcd");
    EXPECT_NE(Ini().find("RomPaths=[romdisk][1234-abcd]" + folder + "|"), std::string::npos);
    EXPECT_EQ(progressTexts_, std::vector<std::string>{"Loading Path"});
    EXPECT_EQ(progressShown_, 0);
    EXPECT_EQ(treeRebuilt_, 1);
    EXPECT_EQ(hooks_.busyDepth, 0);
    EXPECT_TRUE(hooks_.shown.empty());
    EXPECT_EQ(commands_->StartFolder(), folder);  // the first path loaded
}

TEST_F(RomPathCommandsTest, RefusedFoldersLeaveListsAndIniAlone) {
    Collection("roms", {"pacman"});
    Collection("roms/sub", {"galaga"});
    ASSERT_NE(commands_->AddPathByName(data_ / "roms/"), nullptr);
    const std::string ini = Ini();
    std::filesystem::create_directory_symlink(data_ / "roms", data_ / "link");
    struct Case {
        std::string folder;
        std::string box;
    } cases[] = {
        {data_ / "roms/", "Rom path already exist."},
        {data_ / "roms//", "Rom path already exist."},
        {data_ / "link/", "The folder " + AbsolutePath(data_ / "link") + "/ is the rom path " +
                              AbsolutePath(data_ / "roms") + "/ under another name."},
        {data_ / "roms/sub/", "The parent of this path already exists in Quarmelle.\r\nYou can't add this one."},
        {data_.Path(), "A direct child of this path already exist in Quarmelle. You can't add this one."},
        {Config->GetArchivePath() + "inside/", "A rom path can't be located on the archive path."},
        {Config->GetTempPath(), "A rom path can't be located on the temporary path."},
        {Config->GetPrivateTempPath() + "inside/", "A rom path can't be located on the temporary path."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        hooks_.shown.clear();
        MakeDirs(c.folder);
        EXPECT_EQ(commands_->AddPathByName(c.folder), nullptr);
        EXPECT_EQ(Boxes(), std::vector<std::string>{c.box});
        EXPECT_EQ(files_.GetPathCount(), 1);
        EXPECT_EQ(Paths().Count(), 1u);
        EXPECT_EQ(Ini(), ini);
        EXPECT_EQ(progressShown_, 0);
    }
}

TEST(RomPathContainment, ComparesWholeFolderNames) {
    TTempDir dir;
    MakeDirs(dir / "roms/archive/");
    MakeDirs(dir / "roms2/");
    std::filesystem::create_directory_symlink(dir / "roms/archive", dir / "link");
    struct Case {
        std::string folder, protectedFolder;
        bool overlaps;
    } cases[] = {
        {dir / "roms/", dir / "roms/archive/", true},           // holds it
        {dir / "roms/archive/", dir / "roms/archive/", true},   // the same
        {dir / "roms/archive/x/", dir / "roms/archive/", true},  // inside it
        {dir / "roms2/", dir / "roms/archive/", false},
        {dir / "rom/", dir / "roms/archive/", false},            // a prefix of the text only
        {dir / "roms/arch/", dir / "roms/archive/", false},
        {dir / "link/", dir / "roms/archive/", true},            // the same folder by a link
        {dir / "roms/../roms/archive", dir / "roms/archive/", true},
        {dir / "roms/", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder + " on " + c.protectedFolder);
        EXPECT_EQ(TRomPathCommands::Overlaps(c.folder, c.protectedFolder), c.overlaps);
    }
}

TEST_F(RomPathCommandsTest, ARomFolderBesideThePrivateTemporaryFolderIsAccepted) {
    // Every temporary file goes into the private folder: the rest of the system's
    // temporary folder may hold rom folders.
    MakeDirs(tmp_ / "roms/");
    AddZip(tmp_ / "roms/", "pacman");
    Collection("mytemp/roms", {"galaga"});
    EXPECT_NE(commands_->AddPathByName(tmp_ / "roms/"), nullptr);
    // A temporary folder the user chose is kept free of rom paths.
    Config->SetTempPath(data_ / "mytemp/");
    EXPECT_EQ(commands_->AddPathByName(data_ / "mytemp/roms/"), nullptr);
    EXPECT_EQ(Boxes(), std::vector<std::string>{"A rom path can't be located on the temporary path."});
}

TEST_F(RomPathCommandsTest, AddByDialogStartsFromTheFirstExistingPath) {
    const std::string first = Collection("first", {"pacman"});
    const std::string second = Collection("second", {"galaga"});
    Paths().AddPath(data_ / "gone/", "x", "0000-0001");
    Paths().AddPath(first, "", "");
    std::vector<std::pair<std::string, std::string>> asked;
    std::string answer;
    commands_->ChooseFolder = [&](const std::string& caption, const std::string& start) {
        asked.emplace_back(caption, start);
        return answer;
    };
    EXPECT_FALSE(commands_->AddPathByDialog());  // cancelled
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], (std::pair<std::string, std::string>{"Select a rom path", first}));
    EXPECT_EQ(files_.GetPathCount(), 0);

    answer = data_ / "second";
    EXPECT_TRUE(commands_->AddPathByDialog());
    EXPECT_EQ(asked.back().second, first);
    EXPECT_EQ(commands_->StartFolder(), second);  // the folder chosen
    ASSERT_EQ(files_.GetPathCount(), 1);
    EXPECT_EQ(files_.GetPath(0)->GetPath(), second);
    EXPECT_EQ(GameStatus("galaga"), 2);
    EXPECT_EQ(progressShown_, 0);
    EXPECT_EQ(hooks_.busyDepth, 0);
}

TEST_F(RomPathCommandsTest, RemoveFollowsInDatabaseAndIniAndTouchesNoFile) {
    const std::string a = Collection("a", {"pacman"});
    const std::string b = Collection("b", {"galaga"});
    TPath* pathA = commands_->AddPathByName(a);
    ASSERT_NE(commands_->AddPathByName(b), nullptr);
    ASSERT_NE(pathA, nullptr);
    const std::string before = Ini();

    EXPECT_FALSE(commands_->RemovePath(nullptr));  // nothing focused: not even asked
    EXPECT_TRUE(hooks_.shown.empty());
    hooks_.dialogAnswers = {mrNo};
    EXPECT_FALSE(commands_->RemovePath(pathA));
    EXPECT_EQ(Boxes(), std::vector<std::string>{"Are you sure you want to close this path?"});
    EXPECT_EQ(files_.GetPathCount(), 2);
    EXPECT_EQ(Ini(), before);

    hooks_.dialogAnswers = {mrYes};
    EXPECT_TRUE(commands_->RemovePath(pathA));
    ASSERT_EQ(files_.GetPathCount(), 1);
    EXPECT_EQ(files_.GetPath(0)->GetPath(), b);
    ASSERT_EQ(Paths().Count(), 1u);
    EXPECT_EQ(Paths().Items(0).Path, b);
    EXPECT_EQ(Ini().find(a), std::string::npos);
    EXPECT_NE(Ini().find(b), std::string::npos);
    EXPECT_EQ(GameStatus("pacman"), 0);
    EXPECT_EQ(GameStatus("galaga"), 2);
    EXPECT_TRUE(std::filesystem::exists(a + "pacman.zip"));
}

TEST_F(RomPathCommandsTest, RefreshReadsWhatChangedAndRebuildReadsEverything) {
    const std::string folder = Collection("roms", {"pacman", "galaga"});
    ASSERT_NE(commands_->AddPathByName(folder), nullptr);
    EXPECT_EQ(Reads([&] { commands_->RefreshPath(PathFocus(0), false); }), 0);

    AddZip(folder, "digdug");
    EXPECT_EQ(Reads([&] { commands_->RefreshPath(PathFocus(0), false); }), 1);
    EXPECT_EQ(GameStatus("digdug"), 2);  // matched, not left without a status
    EXPECT_EQ(progressTexts_.back(), "Refreshing...");
    EXPECT_TRUE(cancelShown_);
    EXPECT_FALSE(busy_);
    EXPECT_EQ(progressShown_, 0);

    EXPECT_EQ(Reads([&] { commands_->RefreshPath(PathFocus(0), true); }), 3);
    EXPECT_EQ(GameStatus("pacman"), 2);

    // The database root, a game or a clone: only the lists are read again.
    EXPECT_EQ(Reads([&] { commands_->RefreshPath({TFocusKind::fkDatabase, nullptr}, true); }), 0);
    EXPECT_EQ(listsReloaded_, 1);
    const int rebuilt = treeRebuilt_;
    commands_->RefreshPath({}, true);  // nothing focused
    EXPECT_EQ(treeRebuilt_, rebuilt);
}

TEST_F(RomPathCommandsTest, RefreshAllMatchesEveryPath) {
    const std::string a = Collection("a", {"pacman"});
    const std::string b = Collection("b", {"galaga"});
    ASSERT_NE(commands_->AddPathByName(a), nullptr);
    ASSERT_NE(commands_->AddPathByName(b), nullptr);
    AddZip(a, "digdug");
    std::filesystem::remove(b + "galaga.zip");
    EXPECT_EQ(Reads([&] { commands_->RefreshAllPaths(false); }), 1);
    EXPECT_EQ(GameStatus("digdug"), 2);
    EXPECT_EQ(GameStatus("galaga"), 0);
    EXPECT_EQ(listsReloaded_, 1);
    EXPECT_EQ(Reads([&] { commands_->RefreshAllPaths(true); }), 2);
    EXPECT_EQ(GameStatus("pacman"), 2);
    EXPECT_FALSE(busy_);
    EXPECT_EQ(progressShown_, 0);
}

TEST_F(RomPathCommandsTest, AbsentVolumeIsAskedForUntilAbort) {
    const std::string folder = Collection("roms", {"pacman"});
    ASSERT_NE(commands_->AddPathByName(folder), nullptr);
    std::filesystem::rename(data_ / "roms", data_ / "away");
    hooks_.dialogAnswers = {mrRetry, mrRetry, mrAbort};
    EXPECT_EQ(Reads([&] { commands_->RefreshPath(PathFocus(0), true); }), 0);
    EXPECT_EQ(Boxes(), std::vector<std::string>(3, "Volume romdisk not available"));
    EXPECT_EQ(files_.GetPath(0)->Files().Count(), 1);  // left as it was
    EXPECT_EQ(GameStatus("pacman"), 2);
    EXPECT_FALSE(busy_);
    EXPECT_EQ(progressShown_, 0);
    EXPECT_EQ(hooks_.busyDepth, 0);
}

TEST_F(RomPathCommandsTest, DropAddsFoldersOnlyWhenAllAreFolders) {
    const std::string a = Collection("a", {"pacman"});
    const std::string b = Collection("b", {"galaga"});
    QMimeData mixed;
    mixed.setUrls({QUrl::fromLocalFile(QString::fromStdString(data_ / "a")),
                   QUrl::fromLocalFile(QString::fromStdString(data_ / "b")),
                   QUrl::fromLocalFile(QString::fromStdString(a + "pacman.zip"))});
    EXPECT_EQ(commands_->DropFolders(DroppedFileNames(mixed)), 0);
    EXPECT_EQ(Boxes(), std::vector<std::string>{"Drop directories in this view."});
    EXPECT_EQ(files_.GetPathCount(), 0);

    QMimeData remote;
    remote.setUrls({QUrl::fromLocalFile(QString::fromStdString(data_ / "a")), QUrl("http://example.com/roms/")});
    EXPECT_EQ(DroppedFileNames(remote), (std::vector<std::string>{data_ / "a", ""}));
    EXPECT_EQ(commands_->DropFolders(DroppedFileNames(remote)), 0);

    QMimeData folders;
    folders.setUrls({QUrl::fromLocalFile(QString::fromStdString(data_ / "b")),
                     QUrl::fromLocalFile(QString::fromStdString(data_ / "a"))});
    EXPECT_EQ(commands_->DropFolders(DroppedFileNames(folders)), 2);
    ASSERT_EQ(files_.GetPathCount(), 2);
    EXPECT_EQ(files_.GetPath(0)->GetPath(), b);  // in drop order
    EXPECT_EQ(files_.GetPath(1)->GetPath(), a);
    EXPECT_EQ(GameStatus("pacman"), 2);
    EXPECT_EQ(GameStatus("galaga"), 2);
    EXPECT_NE(Ini().find(b + "|[romdisk][1234-abcd]" + a + "|"), std::string::npos);
}

TEST_F(RomPathCommandsTest, EachChangedPathRefusesOneRepair) {
    const std::string a = Collection("a", {"pacman"});
    const std::string b = Collection("b", {"galaga"});
    ASSERT_NE(commands_->AddPathByName(a), nullptr);
    ASSERT_NE(commands_->AddPathByName(b), nullptr);
    EXPECT_TRUE(commands_->CheckPathsModified());
    EXPECT_TRUE(hooks_.shown.empty());

    AddZip(a, "digdug");
    std::filesystem::remove(b + "galaga.zip");
    const std::string question =
        "Some files have been modified in rom paths. Paths content must be refreshed \nbefore any operation.\n\n"
        "Refresh now ?";
    hooks_.dialogAnswers = {mrNo};
    EXPECT_FALSE(commands_->CheckPathsModified());
    EXPECT_EQ(GameStatus("digdug"), 0);  // not refreshed

    hooks_.dialogAnswers = {mrYes};
    EXPECT_FALSE(commands_->CheckPathsModified());
    EXPECT_EQ(GameStatus("digdug"), 2);
    EXPECT_EQ(GameStatus("galaga"), 2);  // the second path waits for the next attempt

    hooks_.dialogAnswers = {mrYes};
    EXPECT_FALSE(commands_->CheckPathsModified());
    EXPECT_EQ(GameStatus("galaga"), 0);
    EXPECT_EQ(Boxes(), std::vector<std::string>(3, question));

    EXPECT_TRUE(commands_->CheckPathsModified());
    EXPECT_EQ(hooks_.shown.size(), 3u);
    EXPECT_EQ(progressShown_, 0);
    EXPECT_EQ(hooks_.busyDepth, 0);
}

TEST_F(RomPathCommandsTest, CancelWhileLoadingClearsTheFlagsAndStopsTheProgress) {
    const std::string folder = Collection("roms", {"pacman", "galaga"});
    commands_->OnProgressStart = [this](const std::string&, bool) {
        ++progressShown_;
        files_.Paths().Abort = true;  // Cancel pressed
    };
    EXPECT_THROW(commands_->AddPathByName(folder), EAbortOperation);
    EXPECT_FALSE(files_.Paths().Abort);
    EXPECT_FALSE(roms_.Abort());
    EXPECT_EQ(progressShown_, 0);
    EXPECT_EQ(hooks_.busyDepth, 0);
    EXPECT_EQ(treeRebuilt_, 1);  // the display follows all the same

    // The next command runs normally.
    commands_->OnProgressStart = nullptr;
    ASSERT_EQ(files_.GetPathCount(), 1);
    commands_->RefreshPath(PathFocus(0), false);
    EXPECT_EQ(GameStatus("pacman"), 2);
}

}  // namespace

namespace {

// Brings the folder back when the user answers Retry the first time.
class TRetryHooks : public TScriptedUiHooks {
public:
    std::function<void()> onRetry;
    int MessageDlg(const std::string& text, TMsgDlgType type, unsigned buttons) override {
        const int answer = TScriptedUiHooks::MessageDlg(text, type, buttons);
        if (answer == mrRetry && onRetry) std::exchange(onRetry, nullptr)();
        return answer;
    }
};

TEST_F(RomPathCommandsTest, RetryFindsTheVolumeBackAndRefreshes) {
    const std::string folder = Collection("roms", {"pacman"});
    ASSERT_NE(commands_->AddPathByName(folder), nullptr);
    std::filesystem::rename(data_ / "roms", data_ / "away");
    AddZip(data_ / "away/", "galaga");
    TRetryHooks retry;
    TScopedUiHooks scope(retry);
    retry.dialogAnswers = {mrRetry};
    retry.onRetry = [&] { std::filesystem::rename(data_ / "away", data_ / "roms"); };
    EXPECT_EQ(Reads([&] { commands_->RefreshPath(PathFocus(0), false); }), 1);
    EXPECT_EQ(retry.shown.size(), 1u);
    EXPECT_EQ(GameStatus("galaga"), 2);
}

TEST_F(RomPathCommandsTest, AbortedRefreshEndsEveryStep) {
    const std::string folder = Collection("roms", {"pacman"});
    ASSERT_NE(commands_->AddPathByName(folder), nullptr);
    const int rebuilt = treeRebuilt_;
    commands_->OnClearFixFullPath = [this] { files_.Paths().Abort = true; };  // Cancel pressed at once
    EXPECT_THROW(commands_->RefreshPath(PathFocus(0), true), EAbortOperation);
    EXPECT_FALSE(files_.Paths().Abort);
    EXPECT_FALSE(busy_);
    EXPECT_EQ(progressShown_, 0);
    EXPECT_EQ(hooks_.busyDepth, 0);
    EXPECT_EQ(treeRebuilt_, rebuilt + 1);
    EXPECT_THROW(commands_->RefreshAllPaths(true), EAbortOperation);
    EXPECT_FALSE(files_.Paths().Abort);
    EXPECT_FALSE(busy_);
    EXPECT_EQ(progressShown_, 0);
}

TEST_F(RomPathCommandsTest, OpenPathHandsTheFocusedFolderToTheShell) {
    const std::string folder = Collection("roms", {"pacman"});
    ASSERT_NE(commands_->AddPathByName(folder), nullptr);
    std::vector<std::string> opened;
    commands_->OpenFolder = [&](const std::string& name) { opened.push_back(name); };
    commands_->OpenPath(nullptr);
    commands_->OpenPath(files_.GetPath(0));
    EXPECT_EQ(opened, std::vector<std::string>{folder});
}

}  // namespace
