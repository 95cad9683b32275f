#include "ui/ActionDispatcher.h"

#include <QAction>
#include <QSignalBlocker>
#include <exception>

#include "platform/Exception.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"

namespace qm {

TActionDispatcher::TActionDispatcher(QObject* parent) : QObject(parent) {}

void TActionDispatcher::ShowError(const std::string& message) {
    UiHooks().MessageDlg(message, TMsgDlgType::mtError, mbOK);
}

bool TActionDispatcher::Run(const std::function<void()>& command) {
    if (Busy()) return false;
    TBusyScope busy(*this);
    // Every failure ends here: a box, never an exception through the event loop.
    try {
        if (OnBeforeCommand) OnBeforeCommand();
        TBusyCursor cursor;
        command();
    } catch (const EAbortOperation& e) {
        UiHooks().MessageDlg(e.Message(), TMsgDlgType::mtWarning, mbOK);
    } catch (const Exception& e) {
        ShowError(e.Message());
    } catch (const std::exception& e) {
        ShowError(e.what());
    } catch (...) {
        ShowError(_("Unknown error."));
    }
    return true;
}

void TActionDispatcher::Connect(QAction* action, std::function<void()> command) {
    connect(action, &QAction::triggered, this, [this, action, command = std::move(command)](bool checked) {
        if (Run(command)) return;
        if (action->isCheckable()) {
            QSignalBlocker block(action);
            action->setChecked(!checked);
        }
    });
}

TActionDispatcher::TBusyScope::TBusyScope(TActionDispatcher& dispatcher) : dispatcher_(dispatcher) {
    ++dispatcher_.busyDepth_;
}

TActionDispatcher::TBusyScope::~TBusyScope() { dispatcher_.Leave(); }

void TActionDispatcher::Leave() {
    if (--busyDepth_ == 0 && OnIdle) {
        // OnIdle may close the window that owns this dispatcher: call a copy.
        auto idle = OnIdle;
        try {
            idle();
        } catch (const std::exception& e) {
            ShowError(e.what());
        }
    }
}

}  // namespace qm
