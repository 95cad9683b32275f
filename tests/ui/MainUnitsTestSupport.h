#pragma once
// The small rom and files database of the view tests with settings of their own (a
// home folder and a temporary folder per test), for the main window's commands,
// filters, status texts and sub-lists.
#include <memory>
#include <string>

#include "TreeListFixture.h"
#include "archive/FilesTools.h"
#include "catalogue/ProfileTestSupport.h"
#include "catalogue/config.h"

namespace qm::test {

class MainUnitsTest : public TreeListFixture {
protected:
    MainUnitsTest() : homeEnv_("QUARMELLE_HOME", home_.Path().c_str()), tmpEnv_("TMPDIR", tmp_.Path().c_str()) {
        RemoveTempDirectory();
        config = std::make_unique<TConfig>("/opt/quarmelle/bin/quarmelle");
    }
    ~MainUnitsTest() override {
        config.reset();
        RemoveTempDirectory();
    }

    TTempDir home_;
    TTempDir tmp_;
    TProfileEnv homeEnv_;
    TProfileEnv tmpEnv_;
    std::unique_ptr<TConfig> config;
};

}  // namespace qm::test
