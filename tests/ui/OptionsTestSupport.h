#pragma once
// Settings of their own for the preferences tests: a home folder (the ini file lives
// there), a user's temporary folder, a trash, the user's files, and the global Config.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "archive/FilesTools.h"
#include "catalogue/ProfileTestSupport.h"
#include "catalogue/config.h"
#include "platform/FileSystem.h"
#include "platform/UiHooks.h"
#include "support/TestSupport.h"

namespace qm::test {

class OptionsTest : public ::testing::Test {
protected:
    OptionsTest()
        : homeEnv_("QUARMELLE_HOME", home_.Path().c_str()),
          tmpEnv_("TMPDIR", tmp_.Path().c_str()),
          trashEnv_("XDG_DATA_HOME", xdg_.Path().c_str()),
          hooksScope_(hooks_) {
        RemoveTempDirectory();
        global_ = std::make_unique<TGlobalConfig>("/opt/quarmelle/bin/quarmelle");
    }
    ~OptionsTest() override {
        global_.reset();
        RemoveTempDirectory();
    }

    // The state after a datafile of emulator "mame" was opened, with its defaults
    // written and the given rom paths.
    void OpenDatafile(const std::vector<std::string>& romPaths = {}) {
        Config->EmulatorSection = "mame";
        Config->DataFileOpen = true;
        Config->Emulator->WriteMissingDefaults(true, false);
        Config->Emulator->ReadFromIni();
        for (const std::string& p : romPaths) Config->Emulator->RomPaths().AddPath(p, "vol", "1234-abcd");
    }

    std::string Ini() const { return ReadFile(home_.Path() + "quarmelle.ini"); }
    // A folder of the user's files, created.
    std::string Folder(const std::string& name) const {
        const std::string path = data_.Path() + name + "/";
        MakeDirs(path);
        return path;
    }
    std::string TrashFiles() const { return xdg_.Path() + "Trash/files/"; }

    TTempDir home_;
    TTempDir tmp_;
    TTempDir xdg_;
    TTempDir data_;
    TProfileEnv homeEnv_;
    TProfileEnv tmpEnv_;
    TProfileEnv trashEnv_;
    TScriptedUiHooks hooks_;
    TScopedUiHooks hooksScope_;
    std::unique_ptr<TGlobalConfig> global_;
};

inline bool IniHas(const std::string& ini, const std::string& line) { return ini.find(line) != std::string::npos; }

}  // namespace qm::test
