#pragma once
// The about box: the program, its translation, the signature plug-in in use and the
// open datafile's header, on four tabs. The texts come from BuildAboutTexts; the
// window only shows them (always as plain text) and shows a link's target in its
// status bar while the mouse is over it.
#include <QDialog>
#include <vector>

#include "ui/commands/AboutTexts.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QTabWidget;

namespace qm {

class TConfig;
class TCrcPlugIn;
class TmUrlLabel;

class TAboutFrm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutFrm(QWidget* owner = nullptr);

    // Where the texts come from when the box is shown; either may be null.
    TConfig* Config = nullptr;
    const TCrcPlugIn* PlugIn = nullptr;

    // Fills every tab from Config and PlugIn and makes the first tab current (done on
    // every show).
    void FormShow();
    // Fills every tab from the texts given.
    void ShowTexts(const TAboutTexts& texts);

    QTabWidget* PageControl1() const { return pageControl1_; }
    QStatusBar* StatusBar() const { return dfsStatusBar1_; }

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* AddLabel(QWidget* parent, const char* name);
    TmUrlLabel* AddLink(QWidget* parent, const char* name);
    void SetLink(TmUrlLabel* label, const TLinkText& link);

    QTabWidget* pageControl1_;
    QStatusBar* dfsStatusBar1_;
    QPushButton* speedButton1_;
    QLabel* version_;
    QLabel* release_;
    QPlainTextEdit* memo1_;
    TmUrlLabel* lblTransAuthor_;
    TmUrlLabel* lblTransWebPage_;
    QLabel* lblPlugInFileName_;
    QLabel* lblPluginVersion_;
    TmUrlLabel* lblPluginWebPage_;
    TmUrlLabel* lblPluginAuthor_;
    QPlainTextEdit* memoPlugin_;
    QLabel* lblDatName_;
    TmUrlLabel* lblDatAuthor_;
    TmUrlLabel* lblDatWebPage_;
    QLabel* lblDatVersion_;
    QLabel* lblDatDate_;
    QLabel* lblDatPlugin_;
    QLabel* lblDatRefName_;
    QLabel* lblDatEmul_;
    QPlainTextEdit* memoDat_;
};

}  // namespace qm
