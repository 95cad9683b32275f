#include "ui/QtLaunchWindow.h"

#include <QWidget>

#include "platform/UiHooks.h"

namespace qm {

void TQtLaunchWindow::Minimize() {
    if (window_ != nullptr) window_->showMinimized();
}

void TQtLaunchWindow::Restore() {
    if (window_ != nullptr) {
        window_->showNormal();
        window_->raise();
        window_->activateWindow();
    }
    ProcessPendingMessages(true);
}

}  // namespace qm
