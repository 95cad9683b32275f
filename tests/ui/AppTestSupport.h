#pragma once
// A temporary home for starting the whole program: the ini file, the datafile folder,
// a rom collection with a known content, scripted prompts and the log lines.
#include <gtest/gtest.h>
#include <zip.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "archive/FilesTools.h"
#include "support/TestSupport.h"
#include "platform/UiHooks.h"
#include "catalogue/config.h"

namespace qm::apptest {

inline std::string Crc(const std::string& bytes) {
    char text[9];
    std::snprintf(text, sizeof text, "%08lx",
                  crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
    return text;
}

// One line of a datafile: parent set, set, rom with its content.
inline std::string DatLine(const std::string& parent, const std::string& set, const std::string& rom,
                           const std::string& content) {
    const std::string s = "\xac";
    return s + parent + s + parent + " game" + s + set + s + set + " game" + s + rom + s + Crc(content) + s +
           std::to_string(content.size()) + s + (parent == set ? "" : parent) + s + s + "\n";
}

inline std::string Datafile(const std::string& refName, const std::vector<std::string>& lines) {
    std::string text = "[CREDITS]\nAuthor=test\n[DAT]\nversion=2.00\nplugin=arcade.dll\n[EMULATOR]\nrefname=" +
                       refName + "\nversion=1\n[GAMES]\n";
    for (const std::string& line : lines) text += line;
    return text;
}

// A zip archive of (entry name, content) pairs.
inline void WriteZip(const std::string& fileName, const std::vector<std::pair<std::string, std::string>>& entries) {
    int err = 0;
    zip_t* zip = zip_open(fileName.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    ASSERT_NE(zip, nullptr);
    for (const auto& [name, content] : entries) {
        zip_source_t* source = zip_source_buffer(zip, content.data(), content.size(), 0);
        ASSERT_GE(zip_file_add(zip, name.c_str(), source, ZIP_FL_OVERWRITE), 0);
    }
    ASSERT_EQ(zip_close(zip), 0);
}

// Sets QUARMELLE_HOME for its lifetime.
struct TScopedHome : test::TScopedEnv {
    explicit TScopedHome(const std::string& home) : TScopedEnv("QUARMELLE_HOME", home) {}
};

// The home: "datas/" (datafiles), "roms/" (a collection), "cache/", "skin/", each where
// the program's defaults put it. The
// temporary folder stays the system's: the process's private folder inside it outlives
// every test's home.
struct THome {
    test::TTempDir dir;
    std::string Home() const { return dir.Path(); }
    std::string Dats() const { return dir / "datas/"; }
    std::string Roms() const { return dir / "roms/"; }
    std::string Ini() const { return dir / "quarmelle.ini"; }

    THome() {
        // The process's private temporary folder may lie in a folder an earlier test
        // removed: each home starts with a new one.
        RemoveTempDirectory();
        test::WriteFile(dir / "datas/.keep", "");
        test::WriteFile(dir / "cache/.keep", "");
        std::filesystem::create_directories(Roms());
        test::WriteFile(dir / "skin/.keep", "");
    }

    // The ini file: the last datafile and the rom paths of an emulator; every folder and
    // the plug-in folder keep the program's defaults.
    void WriteIni(const std::string& lastDataFile, const std::string& lastEntry, const std::string& section,
                  const std::vector<std::string>& romPaths) {
        std::string text = "[quarmelle]\n";
        text += "LastDataFile=" + lastDataFile + "\n";
        text += "LastZippedDataFile=" + lastEntry + "\n";
        if (!section.empty()) {
            text += "[" + section + "]\nRomPaths=";
            for (const std::string& path : romPaths) text += "[][]" + path + "|";
            text += "\n";
        }
        test::WriteFile(Ini(), text);
    }
};

// Rom paths may not lie in the temporary folder: the tests' own temporary folder is
// made the program's for the test's lifetime.
struct TOwnTempFolder {
    test::TTempDir dir;
    test::TScopedEnv tmp{"TMPDIR", dir.Path()};
    TOwnTempFolder() {
        RemoveTempDirectory();
        SetTempDirectoryBase(dir.Path());
    }
    ~TOwnTempFolder() { RemoveTempDirectory(); }
};

// Where the program's executable is said to be: the ini file is "<home>/quarmelle.ini".
inline std::string ProgramFile() { return std::string(QM_BIN_DIR) + "/quarmelle"; }

// The texts of the boxes shown, in order.
inline std::vector<std::string> BoxTexts(const TScriptedUiHooks& hooks) {
    std::vector<std::string> texts;
    for (const auto& shown : hooks.shown) texts.push_back(shown.text);
    return texts;
}

}  // namespace qm::apptest
