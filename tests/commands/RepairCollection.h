#pragma once
// A small damaged collection on a test volume for the repair commands: a datafile of
// four games, zips made by Info-ZIP's zip, an archive folder, scripted message boxes,
// and listings read back with unzip.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#ifndef QM_PLUGIN_DIR
#define QM_PLUGIN_DIR QM_BIN_DIR "/plugin/"
#endif
#include "../filesdb/ScanTestSupport.h"
#include "platform/UiHooks.h"

namespace qm::test {

// Contents of 16 bytes each, and their CRCs as Python's zlib computes them (the
// rescans check them again through the plug-in).
inline std::string Bytes(char c) { return std::string(16, c); }

inline std::string CrcOf(char c) {
    return RunCommand("python3 -c 'import zlib;print(\"%08x\" % zlib.crc32(b\"" + Bytes(c) + "\"))'").substr(0, 8);
}

// The games: pacman (a, b), galaga (c, d), dkong (e and a rom without a good dump),
// mspac (f, g).
inline const std::string& RepairCatalogue() {
    static const std::string text = "pacman|pacman|pm1.bin|" + CrcOf('a') + "|16||\n" +  //
                                    "pacman|pacman|pm2.bin|" + CrcOf('b') + "|16||\n" +  //
                                    "galaga|galaga|gg1.bin|" + CrcOf('c') + "|16||\n" +  //
                                    "galaga|galaga|gg2.bin|" + CrcOf('d') + "|16||\n" +  //
                                    "dkong|dkong|dk1.bin|" + CrcOf('e') + "|16||\n" +    //
                                    "dkong|dkong|dk2.bin|00000000|16||\n" +              //
                                    "mspac|mspac|ms1.bin|" + CrcOf('f') + "|16||\n" +    //
                                    "mspac|mspac|ms2.bin|" + CrcOf('g') + "|16||\n";
    return text;
}

class TRepairCollectionTest : public ::testing::Test {
protected:
    explicit TRepairCollectionTest(const std::string& catalogue = RepairCatalogue()) : fx(catalogue) {
        fx.files->RomFileCaseOptions = coLowercase;
        fx.files->FileCaseOptions = coLowercase;
        MakeDirs(archiveDir);
    }

    void Zip(const std::string& name, const std::vector<std::pair<std::string, char>>& entries) {
        const std::string staging = fx.tmp.Path() + "staging/" + name + "/";
        std::string names;
        for (const auto& [entry, c] : entries) {
            WriteFile(staging + entry, Bytes(c));
            names += " " + ShellQuote(entry);
        }
        int status = -1;
        RunCommand("cd " + ShellQuote(staging) + " && zip -q -X " + ShellQuote(fx.romsDir + name) + names, &status);
        ASSERT_EQ(status, 0);
        SetTime(fx.romsDir + name, kOldTime);
    }

    // A misnamed zip, a misnamed and a wrongly cased rom, a rom of another game, a
    // useless entry, a missing no-dump rom and a file of no game.
    void MakeCollection() {
        Zip("pacmn.zip", {{"pm1.bin", 'a'}, {"pm2.bin", 'b'}});
        Zip("galaga.zip", {{"x.bin", 'c'}, {"GG2.BIN", 'd'}, {"ms2.bin", 'g'}});
        Zip("dkong.zip", {{"dk1.bin", 'e'}, {"junk.txt", 'j'}});
        Zip("mspac.zip", {{"ms1.bin", 'f'}});
        Zip("readme.zip", {{"readme.txt", 'u'}});
        fx.Load(true);
    }

    std::string Listing(const std::string& zip) {
        int status = -1;
        std::string out = RunCommand("unzip -Z1 " + ShellQuote(fx.romsDir + zip) + " | sort", &status);
        std::replace(out.begin(), out.end(), '\n', ' ');
        return out;
    }

    std::vector<std::string> Boxes() const {
        std::vector<std::string> texts;
        for (const auto& s : hooks.shown) texts.push_back(s.text);
        return texts;
    }

    TScanFixture fx;
    std::string archiveDir = fx.tmp.Path() + "vol/archive/";
    TScriptedUiHooks hooks;
    TScopedUiHooks hooksScope{hooks};
};

}  // namespace qm::test
