#pragma once
// The main window as the game launch sees it: minimised while the emulator runs.
#include "ui/commands/GameLaunch.h"

class QWidget;

namespace qm {

// The launch window over a widget: showMinimized, then showNormal and activateWindow.
class TQtLaunchWindow : public ILaunchWindow {
public:
    explicit TQtLaunchWindow(QWidget* window) : window_(window) {}
    void Minimize() override;
    void Restore() override;

private:
    QWidget* window_;
};

}  // namespace qm
