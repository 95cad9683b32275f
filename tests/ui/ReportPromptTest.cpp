// The save dialog behind the report and export commands, answered by a timer.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QTimer>
#include <functional>

#include "support/TestSupport.h"
#include "ui/ReportFilePrompt.h"
#include "ui/commands/TextConv.h"

namespace qm::test {
namespace {

// Runs answer on the save dialog once it is shown.
void WhenShown(std::function<void(QFileDialog&)> answer) {
    QTimer::singleShot(0, [answer] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            ADD_FAILURE() << "no dialog";
            return;
        }
        answer(*dialog);
    });
}

TEST(ReportPrompt, ProposesTheNameInTheFolderAndAddsTheSuffix) {
    TTempDir dir;
    TQtSaveFilePrompt prompt(nullptr);
    TSaveFileRequest request{"Select datafile destination", "Datafiles (*.dat *.zip *.DAT *.ZIP)", dir.Path(), "dat",
                             "my_mame.dat"};
    QString shownFilter;
    QString shownFolder;
    QFileDialog::AcceptMode mode = QFileDialog::AcceptOpen;
    WhenShown([&](QFileDialog& dialog) {
        shownFilter = dialog.nameFilters().join(QStringLiteral(";;"));
        shownFolder = dialog.directory().absolutePath();
        mode = dialog.acceptMode();
        dialog.selectFile(ui::ToQ(dir / "chosen"));
        static_cast<QDialog&>(dialog).accept();
    });
    std::string fileName;
    ASSERT_TRUE(prompt.PromptSaveFile(request, fileName));
    EXPECT_EQ(fileName, dir / "chosen.dat");
    EXPECT_EQ(shownFilter, QStringLiteral("Datafiles (*.dat *.zip *.DAT *.ZIP)"));
    EXPECT_EQ(shownFolder + "/", ui::ToQ(dir.Path()));
    EXPECT_EQ(mode, QFileDialog::AcceptSave);

    // A name with an extension of its own keeps it.
    WhenShown([&](QFileDialog& dialog) {
        dialog.selectFile(ui::ToQ(dir / "mine.zip"));
        static_cast<QDialog&>(dialog).accept();
    });
    ASSERT_TRUE(prompt.PromptSaveFile(request, fileName));
    EXPECT_EQ(fileName, dir / "mine.zip");

    WhenShown([](QFileDialog& dialog) { dialog.reject(); });
    fileName.clear();
    EXPECT_FALSE(prompt.PromptSaveFile(request, fileName));
    EXPECT_TRUE(fileName.empty());
}

}  // namespace
}  // namespace qm::test
