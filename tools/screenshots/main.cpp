// Renders every window of the program on demo data into PNG files, so that a person
// can look at what a user sees. Run through tools/screenshots.sh (under Xvfb when it is
// installed, else on the offscreen platform).
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "ui/ProgressFrm.h"
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
    };
    int failed = 0;
    for (const TShot& shot : shots)
        if (!Save(shot.make(), folder, shot.name)) ++failed;
    return failed == 0 ? 0 : 1;
}
