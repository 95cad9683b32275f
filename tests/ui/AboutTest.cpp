#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTabWidget>
#include <cstdlib>
#include <optional>

#include "catalogue/config.h"
#include "commands/AboutTestSupport.h"
#include "filesdb/CrcPlugIn.h"
#include "support/TestSupport.h"
#include "ui/About.h"
#include "ui/commands/AboutTexts.h"
#include "ui/controls/mUrlLabel.h"

using namespace qm;

namespace {

using qm::test::Header;
using qm::test::TScopedEnv;

template <class T>
T* Find(QWidget& w, const char* name) {
    T* child = w.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

std::string Text(QWidget& w, const char* name) { return Find<QLabel>(w, name)->text().toStdString(); }
std::string Url(QWidget& w, const char* name) { return Find<TmUrlLabel>(w, name)->URL().toStdString(); }

}  // namespace

TEST(AboutTest, WindowShowsThirdPartyTextsAsPlainTextAndLinkTargetsInTheStatusBar) {
    TAboutFrm about;
    TDataFile header = Header();
    header.Author = "<a href=\"file:///etc\">click</a>";
    header.RefName = "<b>mame</b>";
    const TAboutDatafile datafile = AboutDatafileOf(header);
    const TAboutPlugIn plugIn{"arcade.dll", "1.0", "plugins.example", "<i>Someone</i>", "a@b.example",
                              "<h1>big</h1>"};
    about.ShowTexts(BuildAboutTexts(&plugIn, &datafile));
    EXPECT_EQ(Text(about, "LblDatAuthor"), header.Author);
    EXPECT_EQ(Text(about, "LblDatRefName"), "<b>mame</b>");
    EXPECT_EQ(Text(about, "LblPluginAuthor"), "<i>Someone</i>");
    for (QLabel* label : about.findChildren<QLabel*>()) {
        if (label->objectName().startsWith("Lbl")) {
            EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->objectName().toStdString();
        }
    }
    EXPECT_EQ(Find<QPlainTextEdit>(about, "MemoPlugin")->toPlainText().toStdString(), "<h1>big</h1>");
    EXPECT_EQ(Find<QPlainTextEdit>(about, "MemoDat")->toPlainText().toStdString(),
              "first line\nsecond <b>line</b>");
    EXPECT_EQ(Url(about, "LblDatWebPage"), "http://www.dat.example/mame/");
    EXPECT_EQ(Url(about, "LblPluginWebPage"), "http://plugins.example");

    TmUrlLabel* link = Find<TmUrlLabel>(about, "LblDatWebPage");
    QEvent enter(QEvent::Enter), leave(QEvent::Leave);
    QCoreApplication::sendEvent(link, &enter);
    EXPECT_EQ(about.StatusBar()->currentMessage().toStdString(), "http://www.dat.example/mame/");
    QCoreApplication::sendEvent(link, &leave);
    EXPECT_EQ(about.StatusBar()->currentMessage().toStdString(), "");

    // The maker's and the translator's links are there and open only web or mail.
    for (const char* name : {"mUrlLabel1", "mUrlLabel2", "mUrlLabel3", "LblTransAuthor", "LblTransWebPage"}) {
        about.FormShow();
        SCOPED_TRACE(name);
        const QString url = Find<TmUrlLabel>(about, name)->URL();
        EXPECT_TRUE(TmUrlLabel::IsSafeTarget(url)) << url.toStdString();
    }
}

TEST(AboutTest, ShowReadsTheOpenDatafileFromTheSettings) {
    test::TTempDir home, tmp;
    TScopedEnv homeEnv("QUARMELLE_HOME", home.Path());
    TScopedEnv tmpEnv("TMPDIR", tmp.Path());
    TGlobalConfig global(home / "quarmelle");
    ASSERT_NE(Config, nullptr);
    Config->DataFile->FileName = tmp / "work/Neo Geo.dat";
    Config->DataFile->Email = "maker@dat.example";  // but no author
    Config->DataFile->Comment = {"one", "two"};
    TAboutFrm about;
    about.Config = Config;
    about.PageControl1()->setCurrentIndex(3);
    about.show();
    EXPECT_EQ(about.PageControl1()->currentIndex(), 0);
    EXPECT_EQ(Text(about, "LblDatName"), "Neo Geo");
    EXPECT_EQ(Text(about, "LblDatAuthor"), "N/A");
    EXPECT_EQ(Url(about, "LblDatAuthor"), "");
    EXPECT_EQ(Text(about, "LblDatPlugin"), "arcade.dll");
    EXPECT_EQ(Find<QPlainTextEdit>(about, "MemoDat")->toPlainText().toStdString(), "one\ntwo");
    EXPECT_EQ(Text(about, "Version"), TConfig::CurrentVersion);
    EXPECT_EQ(Text(about, "LblPlugInFileName"), "");  // no plug-in given
    about.hide();
}
