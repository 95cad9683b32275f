#pragma once
// The splash window that shows loading progress while the main window starts, with a
// Cancel button that stops the loading of the datafile or of a rom path.
//
// A plain frameless top-level widget rather than QSplashScreen, which closes itself on
// any click and so could not carry a working Cancel button.
#include <QWidget>
#include <functional>
#include <string>

#include "platform/Progress.h"

class QFrame;
class QLabel;
class QPushButton;

namespace qm {

class TALProgressBar;

class TSplashForm : public QWidget {
    Q_OBJECT
public:
    TSplashForm();

    // The program version shown; "beta" in it (any case) shows the beta badge.
    std::string ProgramVersion;
    // Called by Cancel after the window noted it: the main window raises the abort
    // flags of the loading code there.
    std::function<void()> OnSkip;

    bool Cancelled() const { return cancelled_; }

    // The status text; pending window messages are then processed (at most about every
    // 30 ms, so that a scan of many thousands of files does not spend its time
    // repainting).
    void SetInfoText(const std::string& text);
    // The progress bar's position (a percentage); messages are processed alike.
    void SetProgress(int position);
    // The main window puts the open datafile's name here.
    void SetVersionText(const std::string& text);
    // Cancel pressed: hides the button, notes it and calls OnSkip.
    void SkipClick();
    // Offers Cancel again once the loading step it stopped has been dealt with (the next
    // rom path may be stopped as well); the earlier press is forgotten.
    void EnableSkip();

    TInfosEvent InfosHandler();
    TProgressEvent ProgressHandler();

    // True when the version text names a test release.
    static bool IsBetaVersion(const std::string& version);

    QLabel* Version() const { return version_; }
    QLabel* InfosLbl() const { return infoslbl_; }
    TALProgressBar* ProgressBar() const { return progressBar_; }
    QLabel* QuarmelleVersion() const { return quarmelleVersion_; }
    QLabel* Beta() const { return beta_; }
    QLabel* TranslationAuthor() const { return translationAuthor_; }
    QPushButton* Skip() const { return skip_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QFrame* panel1_;
    QLabel* image1_;
    QLabel* version_;
    QLabel* infoslbl_;
    TALProgressBar* progressBar_;
    QLabel* label1_;
    QLabel* quarmelleVersion_;
    QLabel* beta_;
    QLabel* translationAuthor_;
    QPushButton* skip_;
    bool cancelled_ = false;
};

}  // namespace qm
