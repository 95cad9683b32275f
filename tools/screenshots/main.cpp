// Renders every window of the program on demo data into PNG files, so that a person
// can look at what a user sees. Run through tools/screenshots.sh (under Xvfb when it is
// installed, else on the offscreen platform).
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "catalogue/config.h"
#include "platform/FileSystem.h"
#include "ui/ProgressFrm.h"
#include "ui/optionsfrm.h"
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


// The preferences dialog on one page, over settings of a demo home with an open
// datafile's profile and a filled archive folder.
QWidget* OptionsShot(int page) {
    static QTemporaryDir home;
    // Kept to the end of the process, past the settings' own static objects.
    static qm::TGlobalConfig* config = nullptr;
    // Pictures must go before the application object does: never freed.
    static auto* icons = new qm::TImageList;
    if (!config) {
        const std::string root = home.path().toStdString() + "/";
        qputenv("QUARMELLE_HOME", QByteArray::fromStdString(root + "home/"));
        config = new qm::TGlobalConfig(root + "bin/quarmelle");
        qm::MakeDirs(root + "roms/mame/");
        qm::MakeDirs(root + "archive/pacman/");
        for (const char* f : {"archive/galaga.zip", "archive/pacman/pacman.6e"})
            std::ofstream(root + f) << std::string(150000, 'x');
        qm::Config->SetArchivePath(root + "archive/");
        qm::Config->EmulatorSection = "mame";
        qm::Config->DataFileOpen = true;
        qm::Config->Emulator->WriteMissingDefaults(true, true);
        qm::Config->Emulator->ReadFromIni();
        qm::Config->Emulator->SetExe("/usr/games/mame");
        qm::Config->Emulator->SetRunParam("%1 -window");
        qm::Config->Emulator->SetSetsCase(qm::coLowercase);
        qm::Config->Emulator->RomPaths().AddPath(root + "roms/mame/", "roms", "1234-abcd");
        const QColor colours[] = {QColor(200, 150, 40), QColor(60, 120, 200), QColor(80, 160, 80),
                                  QColor(160, 60, 160)};
        for (const QColor& c : colours) {
            QPixmap pm(32, 32);
            pm.fill(Qt::transparent);
            QPainter p(&pm);
            p.setRenderHint(QPainter::Antialiasing);
            p.setBrush(c);
            p.setPen(c.darker());
            p.drawRoundedRect(3, 6, 26, 20, 4, 4);
            icons->Add(pm);
        }
    }
    // One dialog for every page, kept like the settings.
    static qm::TFrmOptions* form = nullptr;
    if (!form) {
        form = new qm::TFrmOptions;
        form->SetIcons(icons);
    }
    form->PageControl()->setCurrentIndex(page);
    return form;
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
        {"options-general", [] { return OptionsShot(0); }},
        {"options-romsets", [] { return OptionsShot(1); }},
        {"options-fix", [] { return OptionsShot(2); }},
    };
    int failed = 0;
    for (const TShot& shot : shots)
        if (!Save(shot.make(), folder, shot.name)) ++failed;
    return failed == 0 ? 0 : 1;
}
