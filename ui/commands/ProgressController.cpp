// The progress window's arithmetic, text and cancel lock, without its widgets.
#include "ui/commands/ProgressController.h"

#include <algorithm>
#include <cmath>

#include "platform/Text.h"
#include "platform/UiHooks.h"

namespace qm {

TProgressController::TProgressController(IProgressView& view)
    : view_(view), cancelMessage_(_("Cancelling. Please wait...")) {
    view_.SetText(text_);
}

void TProgressController::Start(TLockedControl control) {
    if (control.setEnabled) control.setEnabled(false);
    locks_.push_back(std::move(control));
    if (depth_++ == 0) {
        cancelled_ = false;
        textFrozen_ = false;
        view_.SetCancelEnabled(true);
        view_.ShowWindow();
    }
    // The window must appear now, whatever the throttle says.
    ProcessPendingMessages(true);
}

void TProgressController::Stop() {
    if (depth_ == 0) return;
    TLockedControl lock = std::move(locks_.back());
    locks_.pop_back();
    const bool heldOutside = std::any_of(locks_.begin(), locks_.end(),
                                         [&](const TLockedControl& l) { return l.id == lock.id; });
    if (!heldOutside && lock.setEnabled) lock.setEnabled(true);
    if (--depth_ > 0) return;
    view_.HideWindow();
    Reset();
}

void TProgressController::Reset() {
    SetPosition(0);
    accumulator_ = 0;
    step_ = 0;
    SetMin(0);
    SetMax(100);
    textFrozen_ = false;
    view_.SetCancelEnabled(true);
}

void TProgressController::StepIt() {
    accumulator_ += step_;
    SetPosition(int(std::nearbyint(accumulator_)));
}

void TProgressController::SetPosition(int value) {
    position_ = std::min(value, 100);
    view_.SetBarPosition(position_);
    ProcessPendingMessages();
}

void TProgressController::SetMin(int value) {
    accumulator_ = min_;
    min_ = value;
    UpdateStep();
}

void TProgressController::SetMax(int value) {
    accumulator_ = min_;
    max_ = value;
    UpdateStep();
}

void TProgressController::UpdateStep() {
    step_ = min_ < max_ ? 100.0 / (double(max_) - double(min_)) : 0.0;
}

void TProgressController::SetWaitString(const std::string& text) {
    if (textFrozen_) return;
    text_ = text;
    view_.SetText(text_);
    ProcessPendingMessages();
}

void TProgressController::SetShowCancelButton(bool show) {
    view_.SetCancelEnabled(show);
    view_.SetCancelVisible(show);
}

void TProgressController::SetShowProgressBar(bool show) {
    view_.SetBarVisible(show);
    view_.SetTextTop(show ? 8 : 16);
}

void TProgressController::CancelClick() {
    cancelled_ = true;
    textFrozen_ = true;
    text_ = cancelMessage_;
    view_.SetText(text_);
    view_.SetCancelEnabled(false);
    if (OnCancel) OnCancel();
}

TProgressEvent TProgressController::ProgressHandler() {
    return [this](int current) { SetPosition(current); };
}

TInfosEvent TProgressController::InfosHandler() {
    return [this](const std::string& infos) { SetWaitString(infos); };
}

}  // namespace qm
