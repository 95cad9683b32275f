#include "ui/ProgressFrm.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/Exception.h"
#include "platform/UiHooks.h"
#include "ui/QtUiHooks.h"
#include "ui/controls/ALProgressBar.h"

namespace qm {
namespace {

QRgb At(const QImage& image, int x, int y) { return image.pixel(x, y) | 0xFF000000u; }

TEST(ProgressFrm, IsAHiddenTopLevelWindowWithTheDefaultTexts) {
    TProgressFrm progress;
    TProgressForm* form = progress.Form();
    EXPECT_TRUE(form->isWindow());
    EXPECT_EQ(form->parentWidget(), nullptr);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->size(), QSize(296, 69));
    EXPECT_EQ(progress.Title(), "Please wait...");
    EXPECT_EQ(form->WaitInfo()->text(), "");
    EXPECT_EQ(form->Cancel()->text(), "Cancel");
    EXPECT_EQ(form->Cancel()->toolTip(), "Cancel operation");
    EXPECT_EQ(form->Cancel()->geometry(), QRect(232, 48, 59, 17));
    EXPECT_EQ(form->WaitProgressBar()->geometry(), QRect(8, 32, 217, 15));
    EXPECT_EQ(form->WaitProgressBar()->PosTextSuffix(), "%");
    EXPECT_EQ(progress.BarColor1(), QColor(0x80, 0xFF, 0x80));
    EXPECT_EQ(progress.BarColor2(), QColor(0xFF, 0xFF, 0x80));
    EXPECT_EQ(progress.BarColor3(), QColor(0xFF, 0x80, 0x40));
    EXPECT_EQ(form->cursor().shape(), Qt::WaitCursor);
    EXPECT_EQ(form->Cancel()->cursor().shape(), Qt::ArrowCursor);
    EXPECT_FALSE(progress.Form()->windowFlags() & Qt::WindowCloseButtonHint);
}

TEST(ProgressFrm, StaysUsableWhileTheLockedWindowIsDisabledAndCancelIsClicked) {
    QWidget mainWindow;
    mainWindow.resize(400, 300);
    mainWindow.show();
    TProgressFrm progress;
    int cancels = 0;
    progress.SetOnCancel([&] { ++cancels; });
    progress.SetWaitString("Loading games");

    progress.Start(&mainWindow);
    TProgressForm* form = progress.Form();
    EXPECT_FALSE(mainWindow.isEnabled());
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->isEnabled());
    EXPECT_TRUE(form->Cancel()->isEnabled());
    EXPECT_EQ(TQtUiHooks::DialogParent(), form);  // boxes of the operation go on top of it

    QTest::mouseClick(form->Cancel(), Qt::LeftButton);
    EXPECT_EQ(cancels, 1);
    EXPECT_TRUE(progress.Cancelled());
    EXPECT_FALSE(form->Cancel()->isEnabled());
    EXPECT_EQ(form->WaitInfo()->text(), "Cancelling. Please wait...");
    QTest::mouseClick(form->Cancel(), Qt::LeftButton);  // disabled now
    EXPECT_EQ(cancels, 1);

    progress.Stop();
    EXPECT_TRUE(mainWindow.isEnabled());
    EXPECT_FALSE(form->isVisible());
    EXPECT_NE(TQtUiHooks::DialogParent(), form);
}

TEST(ProgressFrm, AnOperationProcessingMessagesIsCancelledFromTheWindow) {
    TQtUiHooks qtHooks;
    TScopedUiHooks scoped(qtHooks);
    QWidget mainWindow;
    mainWindow.show();
    TProgressFrm progress;
    bool abortFlag = false;  // stands for the abort flags of the databases
    progress.SetOnCancel([&] { abortFlag = true; });
    progress.SetMax(100000);
    progress.Start(&mainWindow);
    QTimer::singleShot(100, progress.Form(), [&] { QTest::mouseClick(progress.Form()->Cancel(), Qt::LeftButton); });

    int done = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (done < 100000 && !abortFlag && std::chrono::steady_clock::now() < deadline) {
        progress.SetWaitString("item " + std::to_string(done));
        progress.StepIt();
        ProcessPendingMessages();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        ++done;
    }
    progress.Stop();
    EXPECT_TRUE(abortFlag);
    EXPECT_LT(done, 100000);
    EXPECT_TRUE(progress.Cancelled());
    EXPECT_TRUE(mainWindow.isEnabled());
}

TEST(ProgressFrm, AFailingCancelHandlerIsShownNotThrownIntoTheEventLoop) {
    TScriptedUiHooks hooks;
    TScopedUiHooks scoped(hooks);
    TProgressFrm progress;
    progress.SetOnCancel([] { throw Exception("abort flag unreachable"); });
    progress.Start(nullptr);
    QTest::mouseClick(progress.Form()->Cancel(), Qt::LeftButton);
    EXPECT_TRUE(progress.Cancelled());
    ASSERT_EQ(hooks.shown.size(), 1u);
    EXPECT_EQ(hooks.shown[0].text, "abort flag unreachable");
    progress.Stop();
}

TEST(ProgressFrm, PassesPositionsToTheBarClampedAtTheTopOnly) {
    TProgressFrm progress;
    TALProgressBar* bar = progress.Form()->WaitProgressBar();
    progress.SetPosition(60);
    EXPECT_EQ(bar->Position(), 60);
    progress.SetPosition(250);
    EXPECT_EQ(progress.Position(), 100);
    EXPECT_EQ(bar->Position(), 100);
    progress.SetPosition(-5);
    EXPECT_EQ(progress.Position(), -5);
    EXPECT_EQ(bar->Position(), 100);  // the bar ignores what lies below its Min
}

TEST(ProgressFrm, ShowsAndHidesItsParts) {
    TProgressFrm progress;
    TProgressForm* form = progress.Form();
    progress.SetShowProgressBar(false);
    EXPECT_TRUE(form->WaitProgressBar()->isHidden());
    EXPECT_FALSE(form->WaitProgressBar()->isEnabled());
    EXPECT_EQ(form->WaitInfo()->y(), 16);
    progress.SetShowProgressBar(true);
    EXPECT_FALSE(form->WaitProgressBar()->isHidden());
    EXPECT_EQ(form->WaitInfo()->y(), 8);
    progress.SetShowCancelButton(false);
    EXPECT_TRUE(form->Cancel()->isHidden());
    progress.SetTitle("Scanning");
    EXPECT_EQ(form->windowTitle(), "Scanning");

    QImage picture(16, 16, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    progress.SetBitMap(picture);
    EXPECT_EQ(progress.BitMap(), picture);
    EXPECT_FALSE(form->Image1()->pixmap().isNull());
}

TEST(ProgressFrm, PaintsTheBarInsideTheWindow) {
    TProgressFrm progress;
    progress.SetPosition(50);
    const QImage image = progress.Form()->grab().toImage();
    ASSERT_EQ(image.size(), QSize(296, 69));
    // Bar at (8, 32), 217 by 15: at 50 % the first colour shows near the start and the
    // button-face colour near the end; the border's top row lies at y 32.
    const QColor face = progress.Form()->WaitProgressBar()->BackgroundColor();
    EXPECT_EQ(At(image, 8 + 3, 32 + 3), qRgb(132, 255, 128));  // 3 of 108 columns towards yellow
    EXPECT_EQ(At(image, 8 + 212, 32 + 3), face.rgb() | 0xFF000000u);
}

}  // namespace
}  // namespace qm
