#pragma once
// The one door through which every user command of the main window runs: actions,
// the datafile box, drops and clicks of the views. A command is dropped while another
// one runs (the busy flag: long operations process window messages, and a second
// command must not start inside the first); it runs under the hourglass; whatever it
// throws is shown in a message box and never reaches Qt's event loop.
#include <QObject>
#include <functional>
#include <string>

class QAction;

namespace qm {

class TActionDispatcher : public QObject {
    Q_OBJECT
public:
    explicit TActionDispatcher(QObject* parent = nullptr);

    // Set while a command runs (and while an operation outside a command says so).
    bool Busy() const { return busyDepth_ > 0; }

    // Runs command unless busy: false when it was dropped. Called before each command
    // that runs: OnBeforeCommand (the status bar leaves its simple-text mode).
    bool Run(const std::function<void()>& command);

    // Runs action's command through Run on every trigger. A checkable action whose
    // command is dropped gets its previous check state back.
    void Connect(QAction* action, std::function<void()> command);

    std::function<void()> OnBeforeCommand;
    // Called once the last command has ended (a quit asked while busy waits for it).
    std::function<void()> OnIdle;

    // Marks an operation that processes messages outside Run (start-up loading).
    class TBusyScope {
    public:
        explicit TBusyScope(TActionDispatcher& dispatcher);
        ~TBusyScope();
        TBusyScope(const TBusyScope&) = delete;
        TBusyScope& operator=(const TBusyScope&) = delete;

    private:
        TActionDispatcher& dispatcher_;
    };

    // The message box of a failed command; the text of what was thrown.
    static void ShowError(const std::string& message);

private:
    void Leave();

    int busyDepth_ = 0;
};

}  // namespace qm
