#pragma once
// What code below the user interface may ask of it: process pending window messages,
// show the hourglass, show a message box and get the answer, ask for a text or a
// login. The user interface installs its own implementation at start-up; tests install
// a scripted one (TScriptedUiHooks). Code below the user interface never links Qt
// Widgets.
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace qm {

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

// Buttons of a message box, combined as a bit set.
enum TMsgDlgBtn : unsigned {
    mbYes = 1u << 0,
    mbNo = 1u << 1,
    mbOK = 1u << 2,
    mbCancel = 1u << 3,
    mbAbort = 1u << 4,
    mbRetry = 1u << 5,
    mbIgnore = 1u << 6,
    mbAll = 1u << 7,
    mbNoToAll = 1u << 8,
    mbYesToAll = 1u << 9,
};

// The answer of a message box.
enum TModalResult : int {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7,
    mrAll = 8,
    mrNoToAll = 9,
    mrYesToAll = 10,
};

class IUiHooks {
public:
    virtual ~IUiHooks() = default;
    // Lets the window system run (repaint, Cancel button). Called often; cheap.
    virtual void ProcessMessages() = 0;
    // Shows or hides the hourglass cursor. Calls nest.
    virtual void SetBusyCursor(bool busy) = 0;
    // A modal message box; returns the button pressed.
    virtual int MessageDlg(const std::string& text, TMsgDlgType type, unsigned buttons) = 0;
    // A modal text prompt; false when the user cancelled. value holds the default.
    virtual bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) = 0;
    // A modal login box: caption, a line of text above the fields, then user name and
    // password (both hold the defaults); false when cancelled.
    virtual bool LoginQuery(const std::string& caption, const std::string& prompt, std::string& user,
                            std::string& password) = 0;
};

// The hooks in force; never null (a silent default answers mrNone / false).
IUiHooks& UiHooks();
// Installs hooks (not owned); nullptr restores the silent default.
void SetUiHooks(IUiHooks* hooks);

// Calls the ProcessMessages hook, at most about every 30 ms unless force is set, so
// that a loop over hundreds of thousands of lines may call it at each step.
void ProcessPendingMessages(bool force = false);

// Shows the hourglass for the lifetime of the object, whatever way the scope is left.
class TBusyCursor {
public:
    TBusyCursor() { UiHooks().SetBusyCursor(true); }
    ~TBusyCursor() { UiHooks().SetBusyCursor(false); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};

// Hooks for tests: answers come from queues filled beforehand; every message box and
// prompt shown is recorded. An empty answer queue gives mrNone / false.
class TScriptedUiHooks : public IUiHooks {
public:
    struct Shown {
        std::string text;
        TMsgDlgType type;
        unsigned buttons;
    };

    std::deque<int> dialogAnswers;
    std::deque<std::string> inputAnswers;  // a value; a prompt with no answer is cancelled
    std::deque<std::pair<std::string, std::string>> loginAnswers;
    std::vector<Shown> shown;             // message boxes, in order
    std::vector<std::string> prompts;     // input and login captions/prompts, in order
    int processMessagesCalls = 0;
    int busyDepth = 0;
    int maxBusyDepth = 0;
    std::function<void()> onProcessMessages;  // e.g. press Cancel from a test

    void ProcessMessages() override;
    void SetBusyCursor(bool busy) override;
    int MessageDlg(const std::string& text, TMsgDlgType type, unsigned buttons) override;
    bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) override;
    bool LoginQuery(const std::string& caption, const std::string& prompt, std::string& user,
                    std::string& password) override;
};

// Installs scripted hooks for the lifetime of the object and restores the previous
// ones afterwards.
class TScopedUiHooks {
public:
    explicit TScopedUiHooks(IUiHooks& hooks);
    ~TScopedUiHooks();
    TScopedUiHooks(const TScopedUiHooks&) = delete;
    TScopedUiHooks& operator=(const TScopedUiHooks&) = delete;

private:
    IUiHooks* previous_;
};

}  // namespace qm
