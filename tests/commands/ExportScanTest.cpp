// The export of available roms against a real scan: zips made by Info-ZIP zip, scanned
// with the default plug-in, and the exported datafile compared with what unzip lists
// and Python's zlib computes of each entry.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <tuple>

#ifndef QM_PLUGIN_DIR
#define QM_PLUGIN_DIR QM_BIN_DIR "/plugin/"
#endif
#include "catalogue/DataFile.h"
#include "filesdb/ScanTestSupport.h"
#include "platform/UiHooks.h"
#include "ui/commands/DatafileExport.h"
#include "commands/ReportTestSupport.h"

namespace qm::test {
namespace {

std::string Crc32Of(const std::string& command) {
    return Trim(RunCommand(command + " | python3 -c 'import sys,zlib; print(\"%08x\" % zlib.crc32(sys.stdin.buffer.read()))'"));
}

TEST(ExportScan, AvailableRomsAreWhatTheZipsHold) {
    TTempDir staging;
    std::map<std::string, std::string> crcs;  // content label -> CRC by zlib
    for (const char* label : {"A", "B", "C", "D", "E", "F", "G"}) {
        WriteFile(staging / label, std::string("rom content ") + label + std::string(40, label[0]));
        crcs[label] = Crc32Of("cat " + ShellQuote(staging / label));
    }
    std::ostringstream catalogue;
    catalogue << "pacman|pacman|pm1.bin|" << crcs["A"] << "|53||\n"
              << "pacman|pacman|pm2.bin|" << crcs["B"] << "|53||\n"
              << "pacman|puckman|pm1.bin|" << crcs["A"] << "|53|pacman|pm1.bin\n"
              << "pacman|puckman|pk2.bin|" << crcs["C"] << "|53|pacman|\n"
              << "galaga|galaga|gg1.bin|" << crcs["D"] << "|53||\n"
              << "galaga|galaga|gg2.bin|" << crcs["G"] << "|53||\n"
              << "digdug|digdug|dd1.bin|" << crcs["E"] << "|53||\n"
              << "digdug|digdug|dd2.bin|" << crcs["F"] << "|53||\n";
    TScanFixture fx(catalogue.str());
    fx.roms.Split = true;
    fx.roms.MergeRoms = true;
    const struct {
        const char* zip;
        std::vector<std::pair<const char*, const char*>> entries;
    } zips[] = {
        {"pacman.zip", {{"pm1.bin", "A"}, {"pm2.bin", "B"}}},
        {"galaga.zip", {{"gg1.bin", "D"}}},
        {"digdug.zip", {{"dd1.bin", "E"}}},
    };
    for (const auto& z : zips) {
        const std::string folder = staging / (std::string(z.zip) + ".d/");
        std::string names;
        for (const auto& [name, label] : z.entries) {
            WriteFile(folder + name, ReadFile(staging / label));
            names += " " + ShellQuote(name);
        }
        int status = -1;
        RunCommand("cd " + ShellQuote(folder) + " && zip -q -X " + ShellQuote(fx.romsDir + z.zip) + names, &status);
        ASSERT_EQ(status, 0);
    }
    fx.Load(true);
    ASSERT_EQ(fx.path->Files().Count(), 3) << (fx.log.empty() ? std::string() : fx.log.back());
    fx.roms.RecalculateStatus();

    TScriptedUiHooks hooks;
    TScopedUiHooks hooksScope(hooks);
    TScriptedSavePrompt prompt;
    TTempDir out;
    prompt.answer = out / "have.zip";
    TDatafileExporter exporter(fx.roms, prompt, &fx.manager, nullptr);
    exporter.Today = [] { return TExportDate{2024, 3, 5}; };
    exporter.ActCreateHaveDat();
    ASSERT_TRUE(hooks.shown.empty()) << hooks.shown[0].text;

    TDatafile have;
    have.ArchiveManager = &fx.manager;
    have.SetDataFileName(out / "have.zip");
    have.LoadFromFile();
    std::set<std::tuple<std::string, std::string, std::string>> exported;
    for (const TDataFileItem& item : have.GameItems) exported.emplace(item.GameName, item.RomName, item.Crc);

    std::set<std::tuple<std::string, std::string, std::string>> held;
    for (const auto& z : zips) {
        const std::string zip = fx.romsDir + z.zip;
        std::istringstream names(RunCommand("unzip -Z1 " + ShellQuote(zip)));
        for (std::string name; std::getline(names, name);)
            held.emplace(RemoveFileExt(z.zip), name, Crc32Of("unzip -p " + ShellQuote(zip) + " " + ShellQuote(name)));
    }
    EXPECT_EQ(held.size(), 4u);
    EXPECT_EQ(exported, held);
}

}  // namespace
}  // namespace qm::test
