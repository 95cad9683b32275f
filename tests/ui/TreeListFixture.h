#pragma once
// A rom database and a files database over real zips, folders and plain files in a
// temporary rom path (zips made with Info-ZIP zip, CRCs from zlib), with the main
// window's sub-list of every clone: the data the tree and list view tests show.
#include <gtest/gtest.h>
#include <zlib.h>

#include <QAbstractItemModelTester>
#include <QStringList>

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "catalogue/RomsBd.h"
#include "filesdb/filesBd.h"
#include "filesdb/filesBdTestSupport.h"
#include "support/TestSupport.h"
#include "ui/commands/ShownLists.h"
#include "ui/commands/ViewTypes.h"

namespace qm::test {

// "parent|parent description|game|game description|rom|content|size|romof|merge".
inline const char* const kViewCatalogue = R"(
pacman|Pac-Man|pacman|Pac-Man|pm1.bin|A|16||
pacman|Pac-Man|pacman|Pac-Man|pm2.bin|B|16||
pacman|Pac-Man|puckman|Puck Man|pm1.bin|A|16|pacman|pm1.bin
pacman|Pac-Man|puckman|Puck Man|pk2.bin|C|16|pacman|
galaga|Galaga|galaga|Galaga|gg1.bin|D|16||
galaga|Galaga|galaga|Galaga|gg2.bin|E|16||
xevious|Xevious 1982|xevious|Xevious 1982|xv1.bin|H|16||
mslug|Metal Slug|mslug|Metal Slug|ms1.bin|K|16|neogeo|
mslug|Metal Slug|mslug|Metal Slug|bios.rom|I|16|neogeo|bios.rom
[RESOURCES]
neogeo|Neo Geo BIOS|neogeo|Neo Geo BIOS|bios.rom|I|16||
)";

inline std::string ViewContent(const std::string& label) {
    std::string bytes = "content " + label + " ";
    bytes.resize(16, '.');
    return bytes;
}

inline std::string ViewCrc(const std::string& label) {
    const std::string bytes = ViewContent(label);
    char text[9];
    std::snprintf(text, sizeof text, "%08lx",
                  crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
    return text;
}

// Qt's model tester checks the model from its own modelReset handler, before it marks
// the reset as over, and fetches lazy children while it does: the insertions that its
// own fetching causes read as "changeInFlight" findings, and are left out. Every other
// finding is kept for the test to check.
inline QStringList& TesterFailures() {
    static QStringList failures;
    return failures;
}
inline void RecordTesterFailures(QtMsgType, const QMessageLogContext&, const QString& message) {
    if (message.contains("FAIL") && !message.contains("changeInFlight")) TesterFailures().append(message);
}
class TModelTesterScope {
public:
    explicit TModelTesterScope(QAbstractItemModel* model) {
        TesterFailures().clear();
        previous_ = qInstallMessageHandler(RecordTesterFailures);
        tester_ = std::make_unique<QAbstractItemModelTester>(model, QAbstractItemModelTester::FailureReportingMode::Warning);
    }
    ~TModelTesterScope() {
        tester_.reset();
        qInstallMessageHandler(previous_);
    }
    QStringList Failures() const { return TesterFailures(); }

private:
    QtMessageHandler previous_ = nullptr;
    std::unique_ptr<QAbstractItemModelTester> tester_;
};

struct TViewEntry {
    std::string name;
    std::string label;
};

class TreeListFixture : public ::testing::Test {
protected:
    TreeListFixture() : volumeScope(volumes) {
        volumes.volumes.push_back(TestVolume());
        TVolumeFacts usb = TestVolume("5555-7777", "USBKEY");
        usb.root = usbDir.Path();
        usb.removable = true;
        volumes.volumes.push_back(usb);
    }

    void SetUp() override {
        BuildCatalogue();
        files.SetRomsBd(&roms);
        files.SetSubmitRoms(true);
        files.SetCachePath(cacheDir.Path());
        path = files.AddPath(dir.Path(), "", "");
        Zip("pacman.zip", {{"pm1.bin", "A"}, {"pm2.bin", "B"}});
        Zip("puckman.zip", {{"pk2.bin", "C"}});
        Folder("galaga", {{"gg1.bin", "D"}});
        Zip("xevious.zip", {{"sub/xv1.bin", "H"}});
        Zip("junk.zip", {{"x.bin", "X"}});
        Plain("readme.txt", "Y");
        files.MatchAll();
        roms.RecalculateStatus();
        TCloneItems all;
        roms.ListClones(all);
        for (const auto& [name, clone] : all) {
            shownClones.Add(name, clone);
            if (!shownGames.HasObject(clone->Game)) shownGames.Add(clone->Game->Name, clone->Game);
        }
    }
    void TearDown() override { files.ClearPaths(); }

    void BuildCatalogue() {
        roms.Clear();
        roms.Datafile().Clear();
        std::istringstream in(kViewCatalogue);
        std::string line;
        bool resources = false;
        while (std::getline(in, line)) {
            if (line.empty()) continue;
            if (line == "[RESOURCES]") {
                resources = true;
                continue;
            }
            std::vector<std::string> f;
            std::string field;
            std::istringstream fields(line);
            while (std::getline(fields, field, '|')) f.push_back(field);
            f.resize(9);
            roms.Datafile().AddItem(f[0], f[1], f[2], f[3], f[4], ViewCrc(f[5]), std::stoll(f[6]), f[7], f[8],
                                    resources);
        }
        roms.Split = true;
        roms.MergeRoms = false;
        roms.Build();
    }

    // Links a view (or any collector) to the databases as the main window does.
    template <class View>
    void Link(View& view) {
        view.RomsBd = &roms;
        view.FilesBd = &files;
        view.ShownGames = &shownGames;
        view.ShownClones = &shownClones;
        view.SplitMergeMode = smManual;
        view.Split = true;
        view.Merged = false;
    }

    void Zip(const std::string& name, const std::vector<TViewEntry>& entries, TPath* into = nullptr,
             TTempDir* folder = nullptr) {
        TPath* target = into != nullptr ? into : path;
        TTempDir& where = folder != nullptr ? *folder : dir;
        // Staged in a folder of this test's own: tests run in parallel.
        const std::string staging = stagingDir / (name + ".staging/");
        std::string names;
        for (const TViewEntry& e : entries) {
            WriteFile(staging + e.name, ViewContent(e.label));
            names += " " + ShellQuote(e.name);
        }
        int status = -1;
        RunCommand("cd " + ShellQuote(staging) + " && zip -q -X " + ShellQuote(where / name) + names +
                       " && cd .. && rm -rf " + ShellQuote(staging),
                   &status);
        ASSERT_EQ(status, 0) << name;
        TFile* file = target->NewFile(name, fkZip, false);
        for (const TViewEntry& e : entries) file->AddRomFile(e.name, ViewCrc(e.label), 0, 16, "");
    }
    void Folder(const std::string& name, const std::vector<TViewEntry>& entries) {
        TFile* file = path->NewFile(name, fkFolder, false);
        for (const TViewEntry& e : entries) {
            WriteFile(dir / (name + "/" + e.name), ViewContent(e.label));
            file->AddRomFile(e.name, ViewCrc(e.label), 0, 16, "");
        }
    }
    void Plain(const std::string& name, const std::string& label) {
        WriteFile(dir / name, ViewContent(label));
        path->NewFile(name, fkPlain, false)->AddRomFile(name, ViewCrc(label), 0, 16, "");
    }

    TGame* Game(const std::string& name) { return roms.Games().FindGame(name); }
    TClone* Clone(const std::string& name) { return roms.Games().FindClone(name); }
    TFile* File(const std::string& name) { return path->Files().Find(name); }

    TTempDir dir;
    TTempDir usbDir;
    TTempDir stagingDir;
    TTempDir cacheDir;
    TStaticVolumeProvider volumes;
    TScopedVolumeProvider volumeScope;
    TRomsBd roms;
    TFilesBd files;
    TPath* path = nullptr;
    TShownGames shownGames;
    TShownClones shownClones;
};

}  // namespace qm::test
