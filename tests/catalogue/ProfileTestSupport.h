#pragma once
// A home folder, a user's temporary folder and settings of their own for the tests of
// the datafile opening, the emulator profile and the rom paths.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "archive/FilesTools.h"
#include "catalogue/config.h"
#include "support/TestSupport.h"

namespace qm::test {

using TProfileEnv = TScopedEnv;

class ProfileTest : public ::testing::Test {
protected:
    ProfileTest() : homeEnv_("QUARMELLE_HOME", home_.Path().c_str()), tmpEnv_("TMPDIR", tmp_.Path().c_str()) {
        RemoveTempDirectory();  // the private folder is made afresh inside this test's folders
        config_ = std::make_unique<TConfig>(Program());
    }
    ~ProfileTest() override {
        config_.reset();
        RemoveTempDirectory();
        SetTempDirectoryBase({});  // the settings chose this test's folder, which goes with it
    }

    static std::string Program() { return "/opt/quarmelle/bin/quarmelle"; }
    TConfig& Cfg() { return *config_; }
    // A new settings object of the same file, as at the next start.
    void Restart() {
        config_.reset();
        config_ = std::make_unique<TConfig>(Program());
    }
    std::string Ini() const { return ReadFile(home_.Path() + "quarmelle.ini"); }

    TTempDir home_;
    TTempDir tmp_;   // the user's temporary folder
    TTempDir data_;  // the user's files
    TProfileEnv homeEnv_;
    TProfileEnv tmpEnv_;
    std::unique_ptr<TConfig> config_;
};

inline bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace qm::test
