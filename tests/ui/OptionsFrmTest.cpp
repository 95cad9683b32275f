// The preferences dialog on the offscreen platform: every setting changed through its
// widgets reaches the ini file; checks, hints, samples, statistics and purge.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

#include <functional>
#include <string>
#include <vector>

#include "OptionsTestSupport.h"
#include "ui/controls/EditPath.h"
#include "ui/optionsfrm.h"

using namespace qm;
using namespace qm::test;

namespace {

const char* const kSwitchNames[] = {"cbRenameSets", "cbRemoveRoms", "cbRenameRoms", "cbFindRoms",
                                    "cbRemoveFiles", "cbCreateDummy", "cbReZip"};
const char* const kSwitchKeys[] = {"DoRenameFiles", "DoRemoveRoms", "DoRenameRoms", "DoFindRoms",
                                   "DoRemoveFiles", "DoCreateDummy", "DoReZip"};

class OptionsFrmTest : public OptionsTest {
protected:
    template <typename W>
    W* Get(TFrmOptions& form, const char* name) {
        W* w = form.findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    std::string Text(TFrmOptions& form, const char* label) {
        return Get<QLabel>(form, label)->text().toStdString();
    }
    // Runs the command with the dialog modal; act works the widgets once it is shown.
    // A watchdog closes a dialog that was left open.
    bool RunModal(TFrmOptions& form, const std::function<void()>& act, const TOptionsTargets& targets = {}) {
        bool watchdog = false;
        QTimer::singleShot(0, &form, act);
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, &form, [&] {
            watchdog = true;
            form.reject();
        });
        guard.start(10000);
        const bool applied = ActConfigurationExecute(form, targets);
        EXPECT_FALSE(watchdog) << "the dialog was left open";
        return applied;
    }
    static void WaitFor(const std::function<bool()>& done) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < 3000) QTest::qWait(20);
    }
};

}  // namespace

TEST_F(OptionsFrmTest, EverySettingChangedThroughTheDialogIsStored) {
    const std::string roms = Folder("roms");
    OpenDatafile({roms});
    TFrmOptions form;
    form.SetIcons(nullptr);
    const struct {
        const char* structure;
        bool split, merge;
        bool fixExtension;
        const char* setsRadio;
        int setsCode;
        const char* romsRadio;
        int romsCode;
        unsigned switches;  // bit i: kSwitchNames[i] checked
        int compLevel;
        const char* typed;
        const char* stored;
    } rounds[] = {
        {"Split", true, true, false, "rbsetupper", 1, "rbromlower", 2, 0b1010101, 2, "-window", "-window%1"},
        {"UnMerged", true, false, true, "rbsetcap", 3, "rbromdat", 0, 0b0101010, 9, "%2 -x", "%2 -x"},
        {"Merged", false, false, false, "rbsetdontcare", 4, "rbromupper", 1, 0b1111111, 0, "", "%1"},
        {"Split", true, true, true, "rbsetdat", 0, "rbromcap", 3, 0, 5, "%1 -y", "%1 -y"},
    };
    int round = 0;
    for (const auto& r : rounds) {
        SCOPED_TRACE(round);
        const std::string archive = Folder("archive" + std::to_string(round));
        const std::string temp = Folder("temp" + std::to_string(round));
        const std::string exe = "/opt/emu" + std::to_string(round) + "/mame";
        std::vector<std::pair<std::string, std::string>> browsed;  // caption, start folder
        form.FolderBrowser = [&](const std::string& start, const std::string& caption) {
            browsed.emplace_back(caption, start);
            // Chosen without the trailing "/": the edit adds it.
            const std::string& chosen = caption == "Select an archive directory." ? archive : temp;
            return chosen.substr(0, chosen.size() - 1);
        };
        std::string exeTitle, exeStart;
        Get<TEditPath>(form, "EmulatorExe")->FileDialog = [&](const std::string& start, const std::string& title,
                                                               const std::string&, const QString&) {
            exeTitle = title;
            exeStart = start;
            return exe;
        };
        std::string startArchive;
        const bool applied = RunModal(form, [&] {
            EXPECT_EQ(form.PageControl()->currentIndex(), 0);
            startArchive = Get<QLineEdit>(form, "ArchivePath")->text().toStdString();
            Get<TEditPath>(form, "ArchivePath")->Button()->trigger();
            Get<TEditPath>(form, "TempPath")->Button()->trigger();
            auto* slider = Get<QSlider>(form, "TBCompLevel");
            QTest::keyClick(slider, Qt::Key_Home);
            for (int i = 0; i < r.compLevel; ++i) QTest::keyClick(slider, Qt::Key_Right);
            form.PageControl()->setCurrentIndex(1);
            Get<QRadioButton>(form, r.structure)->click();
            auto* fix = Get<QCheckBox>(form, "cbFixExtension");
            if (fix->isChecked() != r.fixExtension) fix->click();
            Get<TEditPath>(form, "EmulatorExe")->Button()->trigger();
            auto* run = Get<QLineEdit>(form, "RunCommand");
            run->selectAll();
            QTest::keyClick(run, Qt::Key_Delete);
            QTest::keyClicks(run, QString::fromLatin1(r.typed));
            form.PageControl()->setCurrentIndex(2);
            Get<QRadioButton>(form, r.setsRadio)->click();
            Get<QRadioButton>(form, r.romsRadio)->click();
            for (int i = 0; i < 7; ++i) {
                auto* box = Get<QCheckBox>(form, kSwitchNames[i]);
                if (box->isChecked() != bool(r.switches & (1u << i))) box->click();
            }
            Get<QPushButton>(form, "BtnOk")->click();
        });
        ASSERT_TRUE(applied);
        // Each round chose another temporary folder: the user hears when it is used.
        ASSERT_EQ(hooks_.shown.size(), 1u);
        EXPECT_EQ(hooks_.shown[0].text, "The new temporary directory takes effect at the next start.");
        hooks_.shown.clear();
        ASSERT_EQ(browsed.size(), 2u);
        EXPECT_EQ(browsed[0].first, "Select an archive directory.");
        EXPECT_EQ(browsed[0].second, startArchive);
        EXPECT_EQ(browsed[1].first, "Select a temporary directory.");
        EXPECT_EQ(exeTitle, "Select a emulator.");
        // The first time the rom path's parent; then the stored program's folder, which does
        // not exist here, so the edit falls back to ".".
        EXPECT_EQ(exeStart, round == 0 ? data_.Path() : std::string("."));

        const std::string ini = Ini();
        EXPECT_TRUE(IniHas(ini, "ArchivePath=" + archive + "\n")) << ini;
        EXPECT_TRUE(IniHas(ini, "TempPath=" + temp + "\n")) << ini;
        EXPECT_TRUE(IniHas(ini, "CompLevel=" + std::to_string(r.compLevel) + "\n")) << ini;
        EXPECT_TRUE(IniHas(ini, std::string("Split=") + (r.split ? "1" : "0") + "\n")) << ini;
        EXPECT_TRUE(IniHas(ini, std::string("Merge=") + (r.merge ? "1" : "0") + "\n")) << ini;
        EXPECT_TRUE(IniHas(ini, std::string("FixExtension=") + (r.fixExtension ? "1" : "0") + "\n")) << ini;
        EXPECT_TRUE(IniHas(ini, "SetsCase=" + std::to_string(r.setsCode) + "\n")) << ini;
        EXPECT_TRUE(IniHas(ini, "RomsCase=" + std::to_string(r.romsCode) + "\n")) << ini;
        EXPECT_TRUE(IniHas(ini, "Exe=" + exe + "\n")) << ini;
        EXPECT_TRUE(IniHas(ini, std::string("RunParam=") + r.stored + "\n")) << ini;
        for (int i = 0; i < 7; ++i)
            EXPECT_TRUE(IniHas(ini, std::string(kSwitchKeys[i]) + "=" + ((r.switches & (1u << i)) ? "1" : "0") + "\n"))
                << kSwitchKeys[i] << "\n"
                << ini;
        ++round;
    }

    // The next showing reads back what was stored.
    form.show();
    EXPECT_TRUE(Get<QRadioButton>(form, "Split")->isChecked());
    EXPECT_TRUE(Get<QRadioButton>(form, "rbsetdat")->isChecked());
    EXPECT_TRUE(Get<QRadioButton>(form, "rbromcap")->isChecked());
    EXPECT_EQ(Get<QSlider>(form, "TBCompLevel")->value(), 5);
    EXPECT_EQ(Get<QLineEdit>(form, "RunCommand")->text(), QStringLiteral("%1 -y"));
    for (const char* name : kSwitchNames) EXPECT_FALSE(Get<QCheckBox>(form, name)->isChecked()) << name;
    form.hide();
}

TEST_F(OptionsFrmTest, CancelStoresNothing) {
    OpenDatafile();
    Config->GetArchivePath();  // as at start-up: the default folder is stored
    const std::string before = Ini();
    TFrmOptions form;
    const bool applied = RunModal(form, [&] {
        QTest::keyClick(Get<QSlider>(form, "TBCompLevel"), Qt::Key_Home);
        Get<QRadioButton>(form, "Merged")->click();
        Get<QCheckBox>(form, "cbReZip")->click();
        Get<QLineEdit>(form, "TempPath")->setText(QString::fromStdString(Folder("t")));
        Get<QPushButton>(form, "BtnCancel")->click();
    });
    EXPECT_FALSE(applied);
    EXPECT_EQ(Ini(), before);
}

TEST_F(OptionsFrmTest, WithoutDatafileTheProfileShowsDefaultsDisabled) {
    Config->Emulator->SetDoRemoveFiles(true);  // not shown: no datafile names the profile
    TFrmOptions form;
    form.show();
    const char* disabled[] = {"UnMerged", "Split", "Merged", "cbFixExtension", "EmulatorExe", "RunCommand",
                              "ArchivePath", "rbsetcap", "rbsetlower", "rbsetupper", "rbsetdat", "rbsetdontcare",
                              "rbromcap", "rbromlower", "rbromupper", "rbromdat", "rbromdontcare"};
    for (const char* name : disabled) EXPECT_FALSE(Get<QWidget>(form, name)->isEnabled()) << name;
    for (const char* name : kSwitchNames) {
        EXPECT_FALSE(Get<QCheckBox>(form, name)->isEnabled()) << name;
        EXPECT_EQ(Get<QCheckBox>(form, name)->isChecked(), std::string(name) != "cbRemoveFiles") << name;
    }
    EXPECT_TRUE(Get<QRadioButton>(form, "Merged")->isChecked());
    EXPECT_TRUE(Get<QCheckBox>(form, "cbFixExtension")->isChecked());
    EXPECT_TRUE(Get<QRadioButton>(form, "rbsetdontcare")->isChecked());
    EXPECT_TRUE(Get<QRadioButton>(form, "rbromdontcare")->isChecked());
    EXPECT_TRUE(Get<QWidget>(form, "TempPath")->isEnabled());
    EXPECT_TRUE(Get<QWidget>(form, "TBCompLevel")->isEnabled());
    form.hide();

    const std::string temp = Folder("temp");
    const bool applied = RunModal(form, [&] {
        Get<QLineEdit>(form, "TempPath")->setText(QString::fromStdString(temp));
        QTest::keyClick(Get<QSlider>(form, "TBCompLevel"), Qt::Key_Home);
        QTest::keyClick(Get<QSlider>(form, "TBCompLevel"), Qt::Key_Right);
        Get<QPushButton>(form, "BtnOk")->click();
    });
    EXPECT_TRUE(applied);
    const std::string ini = Ini();
    EXPECT_TRUE(IniHas(ini, "TempPath=" + temp + "\n")) << ini;
    EXPECT_TRUE(IniHas(ini, "CompLevel=1\n")) << ini;
    EXPECT_FALSE(IniHas(ini, "[mame]")) << ini;
}

TEST_F(OptionsFrmTest, RefusedFoldersKeepTheDialogOpenOnTheEditAtFault) {
    const std::string roms = Folder("roms");
    OpenDatafile({roms});
    const std::string goodTemp = Folder("temp");
    const std::string goodArchive = Folder("archive");
    TFrmOptions form;
    form.show();
    QApplication::setActiveWindow(&form);
    auto* temp = Get<QLineEdit>(form, "TempPath");
    auto* archive = Get<QLineEdit>(form, "ArchivePath");
    const struct {
        std::string temp, archive;
        const char* message;  // empty: accepted
        QLineEdit* focus;
    } cases[] = {
        {Folder("roms/tmp"), goodArchive, "The temporary path can't be located under a rom path.", temp},
        {data_.Path() + "none/", goodArchive, "The temporary directory is not valid.", temp},
        {goodTemp, Folder("roms/archive"), "The archive path can't be located under a rom path.", archive},
        {goodTemp, data_.Path(), "The archive path can't be located under a rom path.", archive},
        {goodTemp, data_.Path() + "none/", "The archive is not valid.", archive},
        {goodTemp, goodArchive, "", nullptr},
    };
    for (const auto& c : cases) {
        const std::string before = Ini();
        hooks_.shown.clear();
        form.PageControl()->setCurrentIndex(2);
        temp->setText(QString::fromStdString(c.temp));
        archive->setText(QString::fromStdString(c.archive));
        Get<QPushButton>(form, "BtnOk")->click();
        if (!*c.message) {
            EXPECT_TRUE(hooks_.shown.empty());
            EXPECT_EQ(form.result(), QDialog::Accepted);
            EXPECT_FALSE(form.isVisible());
            continue;
        }
        ASSERT_EQ(hooks_.shown.size(), 1u) << c.message;
        EXPECT_EQ(hooks_.shown[0].text, c.message);
        EXPECT_EQ(hooks_.shown[0].type, TMsgDlgType::mtError);
        EXPECT_TRUE(form.isVisible()) << c.message;
        EXPECT_NE(form.result(), QDialog::Accepted) << c.message;
        EXPECT_EQ(form.PageControl()->currentIndex(), 0) << c.message;
        EXPECT_EQ(form.focusWidget(), c.focus) << c.message;
        EXPECT_EQ(temp->text().toStdString(), c.temp);  // kept as typed
        EXPECT_EQ(Ini(), before);                       // nothing stored
    }
}

TEST_F(OptionsFrmTest, FolderEditsGetTheirSlashWhenLeft) {
    TFrmOptions form;
    form.show();
    auto* temp = Get<QLineEdit>(form, "TempPath");
    temp->clear();
    QTest::keyClicks(temp, QStringLiteral("/x/y"));
    QTest::keyClick(temp, Qt::Key_Return);
    EXPECT_EQ(temp->text(), QStringLiteral("/x/y/"));
    temp->clear();
    QTest::keyClick(temp, Qt::Key_Return);
    EXPECT_EQ(temp->text(), QString());  // an empty text stays empty
}

TEST_F(OptionsFrmTest, HintsAndCaseSamples) {
    OpenDatafile();
    TFrmOptions form;
    form.show();
    form.PageControl()->setCurrentIndex(2);
    QCoreApplication::processEvents();  // lay the page out before clicking on it
    auto* infos = Get<QLabel>(form, "LblInfos");
    const struct {
        const char* box;
        const char* hint;
    } hints[] = {
        {"cbRenameSets", "Analyse files, dir and zip content to evaluate the correct name of the game and rename it."},
        {"cbRemoveRoms",
         "Remove roms and files not used in the game. This concern only files contained in sets (zip or folder)."},
        {"cbRenameRoms", "Rename the rom with the name expected in this game."},
        {"cbFindRoms", "Import missing roms from other games when available."},
        {"cbRemoveFiles",
         "Remove unknown sets (files, zip and folder). Unknown files are files which does not contain any known roms."},
        {"cbCreateDummy", "Create a file to replace a rom with no good dump known."},
        {"cbReZip", "Unzip and rezip zip files. Use compression level specified in preferences."},
    };
    for (const auto& h : hints) {
        QEvent enter(QEvent::Enter);
        QCoreApplication::sendEvent(Get<QCheckBox>(form, h.box), &enter);
        EXPECT_EQ(infos->text().toStdString(), h.hint);
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(Get<QCheckBox>(form, h.box), &leave);
        EXPECT_EQ(infos->text(), QString());
    }

    const struct {
        const char* radio;
        const char* label;
        const char* text;
    } samples[] = {
        {"rbsetcap", "LblSample1", "Golden Sun (F).zip"},   {"rbsetupper", "LblSample1", "GOLDEN SUN (F).ZIP"},
        {"rbsetlower", "LblSample1", "golden sun (f).zip"}, {"rbsetdat", "LblSample1", "Golden sun (f).zip"},
        {"rbromcap", "LblSample2", "Golden Sun (F).gba"},   {"rbromupper", "LblSample2", "GOLDEN SUN (F).GBA"},
        {"rbromdontcare", "LblSample2", "Golden sun (f).gba"},
    };
    Get<QLabel>(form, "LblSample3")->setText(QStringLiteral("x"));
    for (const auto& s : samples) {
        // On the indicator: a radio button answers only there and on its text.
        QRadioButton* radio = Get<QRadioButton>(form, s.radio);
        QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(6, radio->height() / 2));
        EXPECT_EQ(Text(form, s.label), s.text) << s.radio;
    }
    EXPECT_EQ(Text(form, "LblSample3"), "");  // a roms radio empties it
    EXPECT_EQ(Text(form, "LblSample1"), "Golden sun (f).zip");  // the roms radios leave the sets sample
}

TEST_F(OptionsFrmTest, ArchiveStatisticsFollowTheEditOnceTypingPauses) {
    OpenDatafile();
    const std::string dir = Folder("archive");
    WriteFile(dir + "a.zip", "aaaa");
    WriteFile(dir + "sub/b.zip", "bb");
    const std::string other = Folder("other");
    WriteFile(other + "c.zip", "c");
    Config->SetArchivePath(dir);
    TFrmOptions form;
    form.show();
    EXPECT_EQ(Text(form, "LblNbFiles"), "2");
    EXPECT_EQ(Text(form, "LblUSed"), "6 bytes");
    EXPECT_NE(Text(form, "LblFree"), "-");

    auto* edit = Get<QLineEdit>(form, "ArchivePath");
    edit->clear();
    QTest::keyClicks(edit, QString::fromStdString(other));
    EXPECT_EQ(Text(form, "LblNbFiles"), "2");  // not walked at every key
    WaitFor([&] { return Text(form, "LblNbFiles") == "1"; });
    EXPECT_EQ(Text(form, "LblNbFiles"), "1");
    EXPECT_EQ(Text(form, "LblUSed"), "1 bytes");

    edit->setText(QString::fromStdString(data_.Path() + "none"));
    form.UpdateArchiveInfo();
    EXPECT_EQ(Text(form, "LblNbFiles"), "-");
    EXPECT_EQ(Text(form, "LblUSed"), "-");
    EXPECT_EQ(Text(form, "LblFree"), "-");
}

TEST_F(OptionsFrmTest, PurgeEmptiesTheStoredFolderAfterYes) {
    OpenDatafile();
    const std::string dir = Folder("archive");
    WriteFile(dir + "a.zip", "aaaa");
    WriteFile(dir + "set/b.bin", "bb");
    Config->SetArchivePath(dir);
    TFrmOptions form;
    form.show();
    EXPECT_TRUE(form.ActPurge()->isEnabled());
    auto* edit = Get<QLineEdit>(form, "ArchivePath");

    // Purge is offered only while the edit shows the stored folder.
    edit->setText(QString());
    EXPECT_FALSE(form.ActPurge()->isEnabled());
    edit->setText(QString::fromStdString(Folder("other")));
    EXPECT_FALSE(form.ActPurge()->isEnabled());
    form.ActPurge()->trigger();
    EXPECT_TRUE(hooks_.shown.empty());
    edit->setText(QString::fromStdString(dir.substr(0, dir.size() - 1)));
    EXPECT_TRUE(form.ActPurge()->isEnabled());

    hooks_.dialogAnswers = {mrNo};
    form.ActPurge()->trigger();
    EXPECT_TRUE(FileExists(dir + "a.zip"));
    hooks_.dialogAnswers = {mrYes};
    form.ActPurge()->trigger();
    EXPECT_FALSE(FileExists(dir + "a.zip"));
    EXPECT_FALSE(FileExists(dir + "set/b.bin"));
    EXPECT_EQ(ReadFile(TrashFiles() + "set/b.bin"), "bb");
    EXPECT_EQ(hooks_.shown.size(), 2u);  // the two questions
    EXPECT_EQ(Text(form, "LblNbFiles"), "0");
}

TEST_F(OptionsFrmTest, OpenShowsTheFolderOrSaysItIsMissing) {
    const std::string dir = Folder("archive");
    Config->SetArchivePath(dir);
    TFrmOptions form;
    std::vector<std::string> opened;
    form.FolderOpener = [&](const std::string& f) { opened.push_back(f); };
    form.show();
    form.ActOpen()->trigger();
    EXPECT_EQ(opened, std::vector<std::string>{dir});
    Get<QLineEdit>(form, "ArchivePath")->setText(QString::fromStdString(data_.Path() + "gone/"));
    form.ActOpen()->trigger();
    EXPECT_EQ(opened.size(), 1u);
    ASSERT_EQ(hooks_.shown.size(), 1u);
    EXPECT_EQ(hooks_.shown[0].text, "Directory not found.");
}
