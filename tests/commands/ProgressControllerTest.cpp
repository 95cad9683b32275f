#include "ui/commands/ProgressController.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/UiHooks.h"

namespace qm {
namespace {

// Records what the controller asks of the widgets.
class TFakeView : public IProgressView {
public:
    bool shown = false;
    int showCalls = 0;
    int hideCalls = 0;
    std::string text = "untouched";
    int textTop = 8;
    std::vector<int> barPositions;
    bool barVisible = true;
    bool cancelEnabled = true;
    bool cancelVisible = true;

    void ShowWindow() override { shown = true; ++showCalls; }
    void HideWindow() override { shown = false; ++hideCalls; }
    void SetText(const std::string& t) override { text = t; }
    void SetTextTop(int top) override { textTop = top; }
    void SetBarPosition(int position) override { barPositions.push_back(position); }
    void SetBarVisible(bool visible) override { barVisible = visible; }
    void SetCancelEnabled(bool enabled) override { cancelEnabled = enabled; }
    void SetCancelVisible(bool visible) override { cancelVisible = visible; }
};

// A control that counts how it is locked and unlocked.
struct TFakeControl {
    bool enabled = true;
    int enables = 0;
    int disables = 0;
    TLockedControl Lock() {
        return {this, [this](bool e) {
                    enabled = e;
                    ++(e ? enables : disables);
                }};
    }
};

class ProgressController : public ::testing::Test {
protected:
    TScriptedUiHooks hooks;
    TScopedUiHooks scoped{hooks};
    TFakeView view;
    TProgressController progress{view};
    TFakeControl mainWindow;
};

TEST_F(ProgressController, StartsHiddenWithTheDefaults) {
    EXPECT_FALSE(progress.Shown());
    EXPECT_EQ(view.text, "");
    EXPECT_EQ(progress.CancelMessage(), "Cancelling. Please wait...");
    EXPECT_EQ(progress.Min(), 0);
    EXPECT_EQ(progress.Max(), 100);
    EXPECT_EQ(progress.Position(), 0);
    EXPECT_DOUBLE_EQ(progress.Step(), 1.0);
}

TEST_F(ProgressController, StepsEndExactlyAtOneHundredRoundingHalfToEven) {
    struct Case { int max; std::vector<int> shown; };
    const Case cases[] = {
        {3, {33, 67, 100}},
        {8, {12, 25, 38, 50, 62, 75, 88, 100}},
        {7, {14, 29, 43, 57, 71, 86, 100}},
    };
    for (const Case& c : cases) {
        progress.Reset();
        progress.SetMax(c.max);
        std::vector<int> seen;
        for (size_t i = 0; i < c.shown.size(); ++i) {
            progress.StepIt();
            seen.push_back(progress.Position());
        }
        EXPECT_EQ(seen, c.shown) << "Max " << c.max;
        EXPECT_EQ(view.barPositions.back(), 100);
    }
}

TEST_F(ProgressController, MaxEqualToMinLeavesTheBarWhereItIs) {
    progress.SetMax(0);  // an empty selection
    progress.SetPosition(0);
    EXPECT_DOUBLE_EQ(progress.Step(), 0.0);
    progress.StepIt();
    progress.StepIt();
    EXPECT_EQ(progress.Position(), 0);
    progress.SetMin(5);
    EXPECT_DOUBLE_EQ(progress.Step(), 0.0);  // Min above Max
}

TEST_F(ProgressController, ChangingTheRangeRestartsTheSumAtTheOldMin) {
    progress.SetMax(4);
    progress.StepIt();
    progress.StepIt();
    EXPECT_EQ(progress.Position(), 50);
    progress.SetMax(10);  // sum back to Min 0, 10 % a step
    progress.StepIt();
    EXPECT_EQ(progress.Position(), 10);
    progress.SetMin(5);  // sum := the Min in force before (0); 20 % a step
    progress.StepIt();
    EXPECT_EQ(progress.Position(), 20);
    progress.SetMax(15);  // sum := 5, the Min now in force; 10 % a step
    progress.StepIt();
    EXPECT_EQ(progress.Position(), 15);
}

TEST_F(ProgressController, PositionClampsOnlyTheTop) {
    progress.SetPosition(250);
    EXPECT_EQ(progress.Position(), 100);
    EXPECT_EQ(view.barPositions.back(), 100);
    progress.SetPosition(-5);
    EXPECT_EQ(progress.Position(), -5);
    EXPECT_EQ(view.barPositions.back(), -5);
}

TEST_F(ProgressController, CancelFreezesTheTextUntilTheNextStart) {
    int cancels = 0;
    progress.OnCancel = [&] { ++cancels; };
    progress.Start(mainWindow.Lock());
    progress.SetWaitString("Loading");
    EXPECT_EQ(view.text, "Loading");
    progress.CancelClick();
    EXPECT_TRUE(progress.Cancelled());
    EXPECT_EQ(cancels, 1);
    EXPECT_FALSE(view.cancelEnabled);
    EXPECT_EQ(view.text, "Cancelling. Please wait...");
    progress.SetWaitString("Still loading");
    EXPECT_EQ(view.text, "Cancelling. Please wait...");
    EXPECT_EQ(progress.WaitString(), "Cancelling. Please wait...");
    progress.Stop();
    EXPECT_TRUE(progress.Cancelled());  // until the next start
    progress.Start(mainWindow.Lock());
    EXPECT_FALSE(progress.Cancelled());
    EXPECT_TRUE(view.cancelEnabled);
    progress.SetWaitString("Again");
    EXPECT_EQ(view.text, "Again");
    progress.Stop();
}

TEST_F(ProgressController, HidingTheCancelButtonDoesNotFreezeTheText) {
    progress.Start(mainWindow.Lock());
    progress.SetShowCancelButton(false);
    EXPECT_FALSE(view.cancelVisible);
    EXPECT_FALSE(view.cancelEnabled);
    progress.SetWaitString("Scanning");
    EXPECT_EQ(view.text, "Scanning");
    progress.Stop();
}

TEST_F(ProgressController, StartLocksAndStopUnlocksOnce) {
    progress.SetMax(8);
    progress.Start(mainWindow.Lock());
    EXPECT_TRUE(view.shown);
    EXPECT_FALSE(mainWindow.enabled);
    EXPECT_GE(hooks.processMessagesCalls, 1);  // the window shows at once
    progress.StepIt();
    progress.Stop();
    EXPECT_TRUE(mainWindow.enabled);
    EXPECT_FALSE(view.shown);
    EXPECT_EQ(progress.Position(), 0);
    EXPECT_EQ(progress.Max(), 100);
    EXPECT_DOUBLE_EQ(progress.Step(), 1.0);

    progress.SetMax(7);
    progress.Stop();  // hidden: nothing at all, not even a reset
    EXPECT_EQ(mainWindow.enables, 1);
    EXPECT_EQ(view.hideCalls, 1);
    EXPECT_EQ(progress.Max(), 7);
}

TEST_F(ProgressController, NestedOperationsKeepTheWindowAndTheLockUntilTheOutermostStop) {
    TFakeControl dialog;
    int cancels = 0;
    progress.OnCancel = [&] { ++cancels; };
    progress.Start(mainWindow.Lock());
    progress.Start(mainWindow.Lock());  // one step of a longer command
    progress.Stop();
    EXPECT_FALSE(mainWindow.enabled);
    EXPECT_TRUE(view.shown);
    EXPECT_TRUE(progress.Shown());

    progress.Start(dialog.Lock());
    progress.CancelClick();
    progress.Stop();
    EXPECT_TRUE(dialog.enabled);        // its own lock ends with its own Stop
    EXPECT_FALSE(mainWindow.enabled);
    progress.Start(mainWindow.Lock());  // the next step still sees the Cancel
    EXPECT_TRUE(progress.Cancelled());
    progress.Stop();

    progress.Stop();
    EXPECT_TRUE(mainWindow.enabled);
    EXPECT_EQ(mainWindow.enables, 1);
    EXPECT_FALSE(view.shown);
    EXPECT_EQ(view.showCalls, 1);
    EXPECT_EQ(view.hideCalls, 1);
    EXPECT_EQ(cancels, 1);
}

TEST_F(ProgressController, StartWithoutAControlStillShows) {
    progress.Start({});
    EXPECT_TRUE(view.shown);
    progress.Stop();
    EXPECT_FALSE(view.shown);
}

TEST_F(ProgressController, HidingTheBarMovesTheTextIntoItsPlace) {
    progress.SetShowProgressBar(false);
    EXPECT_FALSE(view.barVisible);
    EXPECT_EQ(view.textTop, 16);
    progress.SetShowProgressBar(true);
    EXPECT_TRUE(view.barVisible);
    EXPECT_EQ(view.textTop, 8);
}

TEST_F(ProgressController, DatabaseEventsReachTheBarAndTheText) {
    const TProgressEvent onProgress = progress.ProgressHandler();
    const TInfosEvent onInfos = progress.InfosHandler();
    onProgress(57);
    onInfos("Reading games");
    EXPECT_EQ(progress.Position(), 57);
    EXPECT_EQ(view.barPositions.back(), 57);
    EXPECT_EQ(view.text, "Reading games");
}

// The shape of every long operation: it steps, processes messages, and polls the
// abort flag that OnCancel sets; the user presses Cancel while messages are processed.
TEST_F(ProgressController, AnOperationStopsAtTheAbortFlagThatCancelSets) {
    bool abortFlag = false;
    progress.OnCancel = [&] { abortFlag = true; };
    int calls = 0;
    hooks.onProcessMessages = [&] {
        if (++calls == 3) progress.CancelClick();
    };
    progress.SetMax(1000);
    progress.Start(mainWindow.Lock());
    int done = 0;
    for (int i = 0; i < 1000 && !abortFlag; ++i) {
        progress.SetWaitString("item " + std::to_string(i));
        progress.StepIt();
        ProcessPendingMessages(true);
        ++done;
    }
    progress.Stop();
    EXPECT_TRUE(abortFlag);
    EXPECT_TRUE(progress.Cancelled());
    EXPECT_LT(done, 1000);
    EXPECT_TRUE(mainWindow.enabled);
}

}  // namespace
}  // namespace qm
