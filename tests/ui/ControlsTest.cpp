#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>

#include "support/TestSupport.h"
#include "ui/controls/EditPath.h"
#include "ui/controls/ImageListBtn.h"
#include "ui/controls/mUrlLabel.h"

using namespace qm;

namespace {

class ControlsTest : public ::testing::Test {};

void Mouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button = Qt::LeftButton) {
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease || type == QEvent::MouseMove
                                         ? Qt::NoButton
                                         : Qt::MouseButtons(button);
    QMouseEvent e(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), type == QEvent::MouseMove ? Qt::NoButton : button,
                  buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}

TImageList ThreeColours() {
    TImageList list;
    for (QColor c : {QColor(Qt::red), QColor(Qt::green), QColor(Qt::blue)}) {
        QPixmap pm(20, 20);
        pm.fill(c);
        list.Add(pm);
    }
    return list;
}

}  // namespace

TEST_F(ControlsTest, EditPathFolderChoiceGetsOneTrailingSeparator) {
    qm::test::TTempDir dir;
    TEditPath edit;
    edit.DirDialogType = TDirDialog::ddDirectoryBrowser;
    std::string started;
    std::string answer = dir.Path() + "roms";
    edit.FolderDialog = [&](const std::string& start) {
        started = start;
        return answer;
    };
    edit.RootDir = dir.Path();
    edit.BtnClick();
    EXPECT_EQ(started, dir.Path());
    EXPECT_EQ(edit.text().toStdString(), dir.Path() + "roms/");
    answer = "/";
    edit.BtnClick();
    EXPECT_EQ(edit.text().toStdString(), "/");
    answer = "";
    edit.BtnClick();  // cancelled: the text stays
    EXPECT_EQ(edit.text().toStdString(), "/");

    edit.FolderDialog = nullptr;  // no browser: nothing opens, nothing changes
    edit.BtnClick();
    EXPECT_EQ(edit.text().toStdString(), "/");
}

TEST_F(ControlsTest, EditPathFileDialogStartsInDotWhenRootIsMissing) {
    TEditPath edit;
    edit.RootDir = "/no/such/folder/";
    edit.Title = "Pick";
    edit.Filter = "Datafiles|*.dat;*.zip|All|*";
    std::string start, title;
    QString filter;
    int clicked = 0;
    edit.OnBtnClick = [&](TEditPath*) { ++clicked; };
    edit.FileDialog = [&](const std::string& s, const std::string& t, const std::string&, const QString& f) {
        start = s;
        title = t;
        filter = f;
        return std::string("/tmp/a.dat");
    };
    edit.setReadOnly(true);  // beeps, but still opens
    edit.BtnClick();
    EXPECT_EQ(clicked, 1);
    EXPECT_EQ(start, ".");
    EXPECT_EQ(title, "Pick");
    EXPECT_EQ(filter, "Datafiles (*.dat *.zip);;All (*)");
    EXPECT_EQ(edit.text(), "/tmp/a.dat");
    EXPECT_EQ(TEditPath::QtFilter("exe file (*.exe)|*.EXE"), "exe file (*.exe) (*.EXE)");
}

TEST_F(ControlsTest, EditPathDisabledColourIsRestored) {
    TEditPath edit;
    QPalette pal = edit.palette();
    pal.setColor(QPalette::Base, QColor(10, 20, 30));
    edit.setPalette(pal);
    edit.SetDisabledColor(QColor(200, 0, 0));
    edit.setEnabled(false);
    EXPECT_EQ(edit.palette().color(QPalette::Disabled, QPalette::Base), QColor(200, 0, 0));
    EXPECT_FALSE(edit.Button()->isEnabled());
    edit.setEnabled(true);
    EXPECT_EQ(edit.palette().color(QPalette::Active, QPalette::Base), QColor(10, 20, 30));
    EXPECT_TRUE(edit.Button()->isEnabled());
}

TEST_F(ControlsTest, EditPathRefusesPasteAndCutWhenEditorDisabled) {
    TEditPath edit;
    edit.setText("abc");
    QGuiApplication::clipboard()->setText("XYZ");
    edit.EditorEnabled = false;
    edit.selectAll();
    QKeyEvent cut(QEvent::KeyPress, Qt::Key_X, Qt::ControlModifier);
    QCoreApplication::sendEvent(&edit, &cut);
    EXPECT_EQ(edit.text(), "abc");
    edit.setCursorPosition(3);
    QKeyEvent paste(QEvent::KeyPress, Qt::Key_V, Qt::ControlModifier);
    QCoreApplication::sendEvent(&edit, &paste);
    EXPECT_EQ(edit.text(), "abc");
    QKeyEvent typed(QEvent::KeyPress, Qt::Key_D, Qt::NoModifier, "d");
    QCoreApplication::sendEvent(&edit, &typed);  // typing still passes
    EXPECT_EQ(edit.text(), "abcd");
    Mouse(&edit, QEvent::MouseButtonPress, {5, 5}, Qt::MiddleButton);
    Mouse(&edit, QEvent::MouseButtonRelease, {5, 5}, Qt::MiddleButton);
    EXPECT_EQ(edit.text(), "abcd");

    edit.EditorEnabled = true;
    QKeyEvent paste2(QEvent::KeyPress, Qt::Key_V, Qt::ControlModifier);
    QCoreApplication::sendEvent(&edit, &paste2);
    if (!QGuiApplication::clipboard()->text().isEmpty()) { EXPECT_EQ(edit.text(), "abcdXYZ"); }
}

TEST(ImageListBtnRegions, ParseTable) {
    struct Case {
        QStringList lines;
        QStringList kept;
        std::vector<std::pair<QPoint, bool>> hits;  // against the union of regions
    };
    const std::vector<Case> cases = {
        // A rectangle; right and bottom edges are outside.
        {{"r 0,0,10,10"}, {"r 0,0,10,10"}, {{{0, 0}, true}, {{9, 9}, true}, {{10, 5}, false}}},
        // A circle takes its height from its width; the fourth number is not used.
        {{"c 0,0,20,999"}, {"c 0,0,20,999"}, {{{10, 10}, true}, {{10, 25}, false}, {{1, 1}, false}}},
        // An unknown kind is removed and the next line is still read.
        {{"x 0,0,5,5", "r 10,10,20,20"}, {"r 10,10,20,20"}, {{{2, 2}, false}, {{15, 15}, true}}},
        {{"", "r 0,0,5,5"}, {"r 0,0,5,5"}, {{{1, 1}, true}}},
        // A triangle; a polygon ends at the end of its line.
        {{"p 0,0,20,0,0,20"}, {"p 0,0,20,0,0,20"}, {{{2, 2}, true}, {{18, 18}, false}}},
        // Too few points: an empty region, still counted.
        {{"p 0,0,5,5"}, {"p 0,0,5,5"}, {{{1, 1}, false}}},
        // Missing numbers read as the largest number, clamped so nothing overflows.
        {{"r 5,5"}, {"r 5,5"}, {{{100, 100}, true}, {{4, 4}, false}}},
        {{"r 0,zz,10,10"}, {"r 0,zz,10,10"}, {{{5, 5}, false}}},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        QStringList lines = cases[i].lines;
        const auto regions = TImageListBtn::ParseRegions(lines);
        EXPECT_EQ(lines, cases[i].kept) << "case " << i;
        EXPECT_EQ(regions.size(), static_cast<size_t>(cases[i].kept.size())) << "case " << i;
        QRegion all;
        for (const auto& r : regions) all += r;
        for (const auto& [point, hit] : cases[i].hits)
            EXPECT_EQ(all.contains(point), hit) << "case " << i << " point " << point.x() << "," << point.y();
    }
}

TEST(ImageListBtnRegions, OnlyFiftyLinesAndFiveHundredPointsCount) {
    QStringList lines;
    for (int i = 0; i < 60; ++i) lines << QString("r %1,0,%2,1").arg(i).arg(i + 1);
    EXPECT_EQ(TImageListBtn::ParseRegions(lines).size(), 50u);
    QString poly = "p ";
    for (int i = 0; i < 600; ++i) poly += QString("%1,%2,").arg(i % 50).arg(i / 50);
    QStringList one{poly};
    EXPECT_EQ(TImageListBtn::ParseRegions(one).size(), 1u);
}

TEST_F(ControlsTest, ImageListBtnMouseStates) {
    const TImageList images = ThreeColours();
    TImageListBtn btn;
    btn.SetPictureIndex(0);
    btn.SetPictureInsideIndex(1);
    btn.SetPictureDownIndex(2);
    EXPECT_EQ(btn.ShownIndex(), -1);  // no images yet
    btn.SetImages(&images);
    EXPECT_EQ(btn.ShownIndex(), 0);
    EXPECT_EQ(btn.size(), QSize(20, 20));
    btn.SetRegion({"r 0,0,10,10"});
    btn.SetRegion({"r 10,10,20,20"});  // the second assignment replaces the first
    EXPECT_EQ(btn.RegionCount(), 1);

    std::vector<std::string> events;
    btn.OnMouseEnter = [&](TImageListBtn*, Qt::KeyboardModifiers, int, int) { events.push_back("enter"); };
    btn.OnMouseLeave = [&](TImageListBtn*, Qt::KeyboardModifiers, int x, int y) {
        events.push_back("leave " + std::to_string(x) + "," + std::to_string(y));
    };
    btn.OnMouseDown = [&](TImageListBtn*, Qt::KeyboardModifiers, int, int) { events.push_back("down"); };
    btn.OnMouseUp = [&](TImageListBtn*, Qt::KeyboardModifiers, int, int) { events.push_back("up"); };

    Mouse(&btn, QEvent::MouseButtonPress, {2, 2});  // outside every region: ignored
    EXPECT_FALSE(btn.Pressed());
    Mouse(&btn, QEvent::MouseMove, {15, 15});
    EXPECT_TRUE(btn.Inside());
    EXPECT_EQ(btn.ShownIndex(), 1);
    Mouse(&btn, QEvent::MouseButtonPress, {15, 15});
    EXPECT_EQ(btn.ShownIndex(), 2);
    btn.SetPictureIndex(0);  // unchanged value: nothing happens
    Mouse(&btn, QEvent::MouseMove, {3, 3});
    EXPECT_FALSE(btn.Inside());
    EXPECT_EQ(btn.ShownIndex(), 0);
    Mouse(&btn, QEvent::MouseMove, {12, 12});
    EXPECT_EQ(btn.ShownIndex(), 2);  // still pressed
    Mouse(&btn, QEvent::MouseButtonRelease, {12, 12});
    EXPECT_EQ(btn.ShownIndex(), 1);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&btn, &leave);
    EXPECT_EQ(btn.ShownIndex(), 0);
    EXPECT_EQ(events, (std::vector<std::string>{"enter", "down", "leave 3,3", "enter", "up", "leave 0,0"}));

    btn.SetPictureIndex(7);  // outside the list: the picture stays
    EXPECT_EQ(btn.ShownIndex(), 0);
}

TEST_F(ControlsTest, UrlLabelOpensOnlyWebAndMailTargets) {
    TmUrlLabel label;
    std::vector<QString> opened;
    label.Opener = [&](const QString& t) { opened.push_back(t); };
    label.setObjectName("LblWeb");
    label.setText("LblWeb");
    label.SetURL("  https://example.test/  ");
    EXPECT_EQ(label.text(), "  https://example.test/  ");  // caption was the name
    EXPECT_TRUE(label.font().underline());
    EXPECT_EQ(label.FontColor(), QColor(0, 0, 255));
    label.Click();
    label.SetURL("");
    EXPECT_FALSE(label.font().underline());
    EXPECT_EQ(label.FontColor(), QColor(0, 0, 0));
    label.setText(" mailto:me@example.test ");
    label.Click();  // no URL: the trimmed caption
    label.setText("/usr/bin/xterm");
    label.Click();  // never a program
    label.setText("file:///etc/passwd");
    label.Click();
    label.setText("   ");
    label.Click();
    EXPECT_EQ(opened, (std::vector<QString>{"https://example.test/", "mailto:me@example.test"}));
}

TEST_F(ControlsTest, UrlLabelColoursFollowTheMouse) {
    TmUrlLabel label;
    label.SetURL("http://example.test");
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QCoreApplication::sendEvent(&label, &enter);
    EXPECT_EQ(label.FontColor(), QColor(128, 0, 128));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&label, &leave);
    EXPECT_EQ(label.FontColor(), QColor(0, 0, 255));
    label.SetPassiveColor(QColor(1, 2, 3));
    EXPECT_EQ(label.FontColor(), QColor(1, 2, 3));
    label.SetLabelColor(QColor(4, 5, 6));  // applies only without a URL
    EXPECT_EQ(label.FontColor(), QColor(1, 2, 3));
}
