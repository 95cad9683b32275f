#include "ui/StartApplication.h"

#include <QApplication>

#include "catalogue/config.h"
#include "platform/UiHooks.h"
#include "ui/About.h"
#include "ui/ChangeCaseFrm.h"
#include "ui/Main.h"
#include "ui/SingleInstance.h"
#include "ui/SplashFrm.h"
#include "ui/optionsfrm.h"

namespace qm {

TApplicationWindows::TApplicationWindows() = default;
TApplicationWindows::~TApplicationWindows() = default;

std::unique_ptr<TApplicationWindows> StartApplication() {
    // Without its home the program has nowhere to keep settings, caches and the backups
    // of removed roms: it says why and does not start.
    if (!Config->HomeError.empty()) {
        UiHooks().MessageDlg(Config->HomeError, TMsgDlgType::mtError, mbOK);
        return nullptr;
    }
    auto windows = std::make_unique<TApplicationWindows>();
    windows->Instance = std::make_unique<TSingleInstance>(Config->IniFileName);
    if (!windows->Instance->Acquire()) return nullptr;

    auto* splash = new TSplashForm;
    splash->ProgramVersion = kProgramVersion;
    splash->show();
    QApplication::processEvents();
    QCoreApplication::setApplicationName("Quarmelle");

    windows->MainFrm = std::make_unique<TMainFrm>(splash);
    windows->MainFrm->FormCreate();
    windows->FrmOptions = std::make_unique<TFrmOptions>();
    windows->MainFrm->SetOptionsForm(windows->FrmOptions.get());
    windows->AboutFrm = std::make_unique<TAboutFrm>();
    windows->MainFrm->SetAboutForm(windows->AboutFrm.get());
    windows->ChangeCaseForm = std::make_unique<TChangeCaseForm>();
    windows->MainFrm->SetChangeCaseForm(windows->ChangeCaseForm.get());

    TMainFrm* main = windows->MainFrm.get();
    QObject::connect(windows->Instance.get(), &TSingleInstance::ActivateRequested, main, [main] {
        main->setWindowState((main->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        main->show();
        main->raise();
        main->activateWindow();
    });
    return windows;
}

}  // namespace qm
