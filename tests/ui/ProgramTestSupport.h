#pragma once
// The program on a temporary home, started as start-up starts it (the windows link Qt
// Widgets, so this stays apart from AppTestSupport.h, which the command tests share).
#include <memory>

#include "ui/AppTestSupport.h"
#include "ui/Main.h"
#include "ui/StartApplication.h"

namespace qm::apptest {

// The program on a home of its own, started as start-up starts it, every box scripted.
class TProgramTest : public ::testing::Test {
protected:
    THome home;
    TScopedHome scopedHome{home.Home()};
    TScriptedUiHooks hooks;
    TScopedUiHooks scopedHooks{hooks};
    std::unique_ptr<TGlobalConfig> config;
    std::unique_ptr<TApplicationWindows> windows;

    // The settings of the home read, the windows made; the start-up's boxes forgotten.
    TMainFrm& Start() {
        config = std::make_unique<TGlobalConfig>(ProgramFile());
        windows = StartApplication();
        EXPECT_TRUE(windows);
        hooks.shown.clear();
        return *windows->MainFrm;
    }
    // As the user quits: the positions saved, the windows and the settings gone.
    void Quit() {
        windows->MainFrm->ActQuit()->trigger();
        windows.reset();
        config.reset();
    }
    void TearDown() override {
        windows.reset();
        config.reset();
    }
};

}  // namespace qm::apptest
