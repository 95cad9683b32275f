#pragma once
// The progress window that every long operation reports through: a text line, a
// percentage bar and a Cancel button. Cancel stops nothing by itself: it sets the flag
// that the running loop polls and calls OnCancel, which the owner wires to the abort
// flags of the rom database and of the files database.
//
// The window is top-level and has no parent widget: the operation disables the main
// window (or a dialog) while it runs, and a child window would be disabled with it,
// Cancel included.
#include <QColor>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "ui/commands/ProgressController.h"

class QLabel;
class QPushButton;

namespace qm {

class TALProgressBar;

class TProgressForm : public QWidget {
    Q_OBJECT
public:
    TProgressForm();
    ~TProgressForm() override;

    QLabel* WaitInfo() const { return waitInfo_; }
    QLabel* Image1() const { return image1_; }
    TALProgressBar* WaitProgressBar() const { return waitProgressBar_; }
    QPushButton* Cancel() const { return cancel_; }

    // The progress window shown last and still visible, or null: message boxes raised
    // during an operation are parented to it, so that they stay reachable while the
    // main window is disabled.
    static TProgressForm* Current();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    // There is no close button; a close asked by the window manager is refused, the
    // operation decides when the window goes.
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* waitInfo_;
    QLabel* image1_;
    TALProgressBar* waitProgressBar_;
    QPushButton* cancel_;
};

class TProgressFrm : public QObject, private IProgressView {
    Q_OBJECT
public:
    explicit TProgressFrm(QObject* owner = nullptr);
    ~TProgressFrm() override;

    // Disables control (may be null) and shows the window; see TProgressController
    // for nesting.
    void Start(QWidget* control);
    void Stop();
    void Reset();
    void StepIt();
    bool Cancelled() const { return controller_.Cancelled(); }
    bool Shown() const { return controller_.Shown(); }

    int Position() const { return controller_.Position(); }
    void SetPosition(int value) { controller_.SetPosition(value); }
    int Min() const { return controller_.Min(); }
    void SetMin(int value) { controller_.SetMin(value); }
    int Max() const { return controller_.Max(); }
    void SetMax(int value) { controller_.SetMax(value); }

    std::string WaitString() const { return controller_.WaitString(); }
    void SetWaitString(const std::string& text) { controller_.SetWaitString(text); }
    std::string CancelMessage() const { return controller_.CancelMessage(); }
    void SetCancelMessage(const std::string& text) { controller_.SetCancelMessage(text); }

    QColor BarColor1() const;
    void SetBarColor1(const QColor& value);
    QColor BarColor2() const;
    void SetBarColor2(const QColor& value);
    QColor BarColor3() const;
    void SetBarColor3(const QColor& value);

    std::string Title() const;
    void SetTitle(const std::string& title);
    // The picture in the top right corner.
    QImage BitMap() const { return bitmap_; }
    void SetBitMap(const QImage& image);

    void SetShowCancelButton(bool show) { controller_.SetShowCancelButton(show); }
    void SetShowProgressBar(bool show) { controller_.SetShowProgressBar(show); }

    // Called when Cancel is pressed, after the window has noted it.
    void SetOnCancel(std::function<void()> handler) { controller_.OnCancel = std::move(handler); }

    TProgressEvent ProgressHandler() { return controller_.ProgressHandler(); }
    TInfosEvent InfosHandler() { return controller_.InfosHandler(); }

    TProgressForm* Form() const { return form_.get(); }

private:
    void ShowWindow() override;
    void HideWindow() override;
    void SetText(const std::string& text) override;
    void SetTextTop(int top) override;
    void SetBarPosition(int position) override;
    void SetBarVisible(bool visible) override;
    void SetCancelEnabled(bool enabled) override;
    void SetCancelVisible(bool visible) override;

    std::unique_ptr<TProgressForm> form_;
    TProgressController controller_;
    QImage bitmap_;
    QPointer<QWidget> transientFor_;
};

}  // namespace qm
