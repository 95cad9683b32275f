#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <thread>

#include "platform/UiHooks.h"
#include "ui/SplashFrm.h"
#include "ui/controls/ALProgressBar.h"

using namespace qm;

TEST(SplashTest, ShowResetsTheWindowAndShowsTheBetaBadgeOnlyForTestReleases) {
    struct Case {
        const char* version;
        bool beta;
    } cases[] = {{"2.70 beta 5", true}, {"2.70 BETA", true}, {"2.70", false}, {"", false}, {"bet a", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        TSplashForm splash;
        splash.ProgramVersion = c.version;
        splash.SetInfoText("left over");
        splash.SetVersionText("old");
        splash.show();
        EXPECT_EQ(splash.Beta()->isVisibleTo(&splash), c.beta);
        EXPECT_EQ(splash.QuarmelleVersion()->text().toStdString(), c.version);
        EXPECT_TRUE(splash.InfosLbl()->text().isEmpty());
        EXPECT_TRUE(splash.Version()->text().isEmpty());
        EXPECT_FALSE(splash.TranslationAuthor()->text().isEmpty());
        EXPECT_FALSE(splash.Cancelled());
        EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
    }
}

TEST(SplashTest, CancelNotesItCallsBackAndCanBeOfferedAgain) {
    TSplashForm splash;
    int skipped = 0;
    splash.OnSkip = [&] {
        EXPECT_TRUE(splash.Cancelled());  // noted before the loading code hears of it
        ++skipped;
    };
    splash.show();
    QTest::mouseClick(splash.Skip(), Qt::LeftButton);
    EXPECT_EQ(skipped, 1);
    EXPECT_TRUE(splash.Cancelled());
    EXPECT_FALSE(splash.Skip()->isVisible());
    splash.EnableSkip();
    EXPECT_TRUE(splash.Skip()->isVisible());
    EXPECT_FALSE(splash.Cancelled());
    QTest::mouseClick(splash.Skip(), Qt::LeftButton);
    EXPECT_EQ(skipped, 2);
}

TEST(SplashTest, HandlersShowTextAndProgressAndPumpMessagesThrottled) {
    TSplashForm splash;
    TScriptedUiHooks hooks;
    TScopedUiHooks scope(hooks);
    const TInfosEvent infos = splash.InfosHandler();
    const TProgressEvent progress = splash.ProgressHandler();
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    infos("Loading /roms/a.zip");
    progress(42);
    EXPECT_EQ(splash.InfosLbl()->text().toStdString(), "Loading /roms/a.zip");
    EXPECT_EQ(splash.ProgressBar()->Position(), 42);
    // Thousands of files in a row: the text is always the last one, but the window
    // system is not asked to run at each of them.
    const int before = hooks.processMessagesCalls;
    EXPECT_GE(before, 1);
    for (int i = 0; i < 20000; ++i) infos("file " + std::to_string(i));
    EXPECT_EQ(splash.InfosLbl()->text().toStdString(), "file 19999");
    EXPECT_LT(hooks.processMessagesCalls - before, 2000);
}
