#pragma once
// What the progress window does, apart from its widgets: the percentage arithmetic of
// stepping, the text line and its freeze after Cancel, the lock on the control that the
// running operation keeps from the user, and the cancel flag with its callback. The
// window (TProgressFrm) only passes these decisions on to its widgets through
// IProgressView, so all of it is tested without a window.
#include <functional>
#include <string>
#include <vector>

#include "platform/Progress.h"

namespace qm {

// The widgets of the progress window as the controller sees them.
class IProgressView {
public:
    virtual ~IProgressView() = default;
    virtual void ShowWindow() = 0;
    virtual void HideWindow() = 0;
    virtual void SetText(const std::string& text) = 0;
    // The text line's top edge: it moves down into the bar's place when the bar hides.
    virtual void SetTextTop(int top) = 0;
    virtual void SetBarPosition(int position) = 0;
    // Enabled and visible together.
    virtual void SetBarVisible(bool visible) = 0;
    virtual void SetCancelEnabled(bool enabled) = 0;
    virtual void SetCancelVisible(bool visible) = 0;
};

// The control an operation locks while it runs (the main window, a dialog). `id` tells
// two locks of the same control apart from locks of different ones; setEnabled may be
// empty (nothing to lock).
struct TLockedControl {
    const void* id = nullptr;
    std::function<void(bool enabled)> setEnabled;
};

class TProgressController {
public:
    explicit TProgressController(IProgressView& view);

    // Locks the control and shows the window. The outermost Start also clears the
    // cancelled state and enables Cancel; a Start inside a running operation (one
    // step of a longer command) keeps a Cancel already pressed, so the whole command
    // stops.
    void Start(TLockedControl control);
    // Undoes the matching Start: unlocks its control unless an outer level still holds
    // the same one; the outermost Stop hides the window and resets. Does nothing while
    // the window is hidden.
    void Stop();
    // Position 0, Min 0, Max 100 (one step is one percent), Cancel enabled.
    void Reset();
    // Adds one step (100 / (Max - Min) percent) and shows the sum rounded half to even,
    // so that Max steps end exactly at 100.
    void StepIt();

    int Position() const { return position_; }
    // Stored and shown at most 100; values below 0 pass unchanged (the bar ignores
    // them). Processes pending messages.
    void SetPosition(int value);
    int Min() const { return min_; }
    void SetMin(int value);
    int Max() const { return max_; }
    void SetMax(int value);
    double Step() const { return step_; }

    // The text line. Ignored after Cancel until the next Start or Reset, so that the
    // cancel message stays in view while the operation winds down.
    const std::string& WaitString() const { return text_; }
    void SetWaitString(const std::string& text);
    const std::string& CancelMessage() const { return cancelMessage_; }
    void SetCancelMessage(const std::string& text) { cancelMessage_ = text; }

    void SetShowCancelButton(bool show);
    void SetShowProgressBar(bool show);

    // True once Cancel was pressed since the last outermost Start.
    bool Cancelled() const { return cancelled_; }
    bool Shown() const { return depth_ > 0; }
    // The Cancel button was pressed: freeze the text on the cancel message, disable the
    // button, then tell the owner (which sets the abort flags of the databases).
    void CancelClick();
    std::function<void()> OnCancel;

    // Handlers for the events of the databases: a percentage goes to Position, a status
    // text to WaitString.
    TProgressEvent ProgressHandler();
    TInfosEvent InfosHandler();

private:
    void UpdateStep();

    IProgressView& view_;
    int position_ = 0;
    double accumulator_ = 0;
    double step_ = 1;
    int min_ = 0;
    int max_ = 100;
    int depth_ = 0;
    std::vector<TLockedControl> locks_;
    bool cancelled_ = false;
    bool textFrozen_ = false;
    std::string text_;
    std::string cancelMessage_;
};

}  // namespace qm
