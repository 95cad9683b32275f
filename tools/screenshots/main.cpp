// Renders every window of the program on demo data into PNG files, so that a person
// can look at what a user sees. Run through tools/screenshots.sh (under Xvfb when it is
// installed, else on the offscreen platform).
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <QLabel>
#include <QTabWidget>

#include "ui/About.h"
#include "ui/ChangeCaseFrm.h"
#include "ui/ProgressFrm.h"
#include "ui/SkinLoader.h"
#include "ui/SkinPainter.h"
#include "ui/SplashFrm.h"
#include "ui/skin.h"
#include "ui/controls/ALProgressBar.h"
#include "ui/controls/EditPath.h"
#include "ui/controls/ImageListBtn.h"
#include "ui/controls/mUrlLabel.h"

namespace {

struct TShot {
    std::string name;
    std::function<QWidget*()> make;  // the window, shown and laid out
};

bool Save(QWidget* w, const QString& folder, const std::string& name) {
    w->show();
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    const QString file = QDir(folder).filePath(QString::fromStdString(name) + ".png");
    const bool ok = w->grab().save(file);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", file.toLocal8Bit().constData());
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(folder);

    qm::TProgressFrm progress;
    std::vector<TShot> shots = {
        {"progress-window",
         [&] {
             progress.SetTitle("Scanning rom paths");
             progress.Start(nullptr);
             progress.SetMax(100);
             progress.SetPosition(62);
             progress.Form()->WaitInfo()->setText("Scanning /roms/mame/pacman.zip");
             return static_cast<QWidget*>(progress.Form());
         }},
        {"controls",
         [] {
             auto* w = new QWidget;
             auto* layout = new QVBoxLayout(w);
             auto* edit = new qm::TEditPath;
             edit->setText("/home/user/roms/");
             auto* disabled = new qm::TEditPath;
             disabled->setText("/tmp/");
             disabled->setEnabled(false);
             auto* link = new qm::TmUrlLabel;
             link->setText("https://example.test/");
             link->SetURL("https://example.test/");
             auto* bar = new qm::TALProgressBar;
             bar->setMinimumHeight(20);
             layout->addWidget(edit);
             layout->addWidget(disabled);
             layout->addWidget(link);
             layout->addWidget(bar);
             w->resize(320, 140);
             return w;
         }},
        {"splash-window",
         [] {
             auto* splash = new qm::TSplashForm;
             splash->show();
             splash->SetVersionText("MAME 0.97");
             splash->SetInfoText("Loading /home/user/roms/mame/ (1204 files)");
             splash->SetProgress(37);
             return static_cast<QWidget*>(splash);
         }},
        {"skin-browser", [] { return static_cast<QWidget*>(new qm::TSkinForm); }},
        {"default-skin",
         [] {
             // The painted default skin, three times its size, on white.
             auto* w = new QWidget;
             w->setStyleSheet("background: white");
             auto* layout = new QVBoxLayout(w);
             const qm::TImageList lists[] = {qm::DefaultFlagList(), qm::DefaultToolsIconsList()};
             for (const qm::TImageList& list : lists) {
                 QImage strip(list.Count() * 20, 16, QImage::Format_ARGB32);
                 strip.fill(Qt::white);
                 QPainter p(&strip);
                 for (int i = 0; i < list.Count(); ++i) p.drawPixmap(i * 20, 0, list.Get(i));
                 p.end();
                 auto* label = new QLabel;
                 label->setPixmap(QPixmap::fromImage(strip.scaled(strip.size() * 3)));
                 layout->addWidget(label);
             }
             return w;
         }},
        {"about-box",
         [] {
             auto* about = new qm::TAboutFrm;
             about->show();
             return static_cast<QWidget*>(about);
         }},
        {"about-datafile",
         [] {
             auto* about = new qm::TAboutFrm;
             about->show();
             qm::TAboutDatafile dat;
             dat.Name = "MAME 0.97";
             dat.Author = "Dat Maker";
             dat.Email = "maker@dat.example";
             dat.HomePage = "Dat Home";
             dat.Url = "www.dat.example/";
             dat.CreditsVersion = "0.97";
             dat.Date = "2005-06-01";
             dat.EmuVersion = "MAME 0.97";
             dat.RefName = "mame";
             dat.PlugIn = "arcade.dll";
             dat.Comment = {"Arcade games of MAME 0.97", "<b>shown as it stands</b>"};
             const qm::TAboutPlugIn plugIn{"arcade.dll", "1.0", "", "Quarmelle", "", "CRC32 of the whole file"};
             about->ShowTexts(qm::BuildAboutTexts(&plugIn, &dat));
             about->PageControl1()->setCurrentIndex(3);
             return static_cast<QWidget*>(about);
         }},
        {"change-case-dialog", [] { return static_cast<QWidget*>(new qm::TChangeCaseForm); }},
    };
    int failed = 0;
    for (const TShot& shot : shots)
        if (!Save(shot.make(), folder, shot.name)) ++failed;
    return failed == 0 ? 0 : 1;
}
