#pragma once
// The program's start: one program per settings file, the splash window, then the
// windows in their order (the main window first: its creation loads the last datafile
// before any other window exists).
#include <memory>

namespace qm {

class TAboutFrm;
class TChangeCaseForm;
class TFrmOptions;
class TMainFrm;
class TSingleInstance;

// The windows of a running program. They go in the reverse order of their creation,
// the main window last but for the single-instance lock.
struct TApplicationWindows {
    TApplicationWindows();
    ~TApplicationWindows();
    std::unique_ptr<TSingleInstance> Instance;
    std::unique_ptr<TMainFrm> MainFrm;
    std::unique_ptr<TFrmOptions> FrmOptions;
    std::unique_ptr<TAboutFrm> AboutFrm;
    // The datafile-from-emulator dialog is the datafile manager's own.
    std::unique_ptr<TChangeCaseForm> ChangeCaseForm;
    // The scan window comes here, with its unit.
};

// Needs the global Config. Null when another program of the same settings file runs
// (it was asked to come forward). What ends the start-up is raised after its box.
std::unique_ptr<TApplicationWindows> StartApplication();

}  // namespace qm
