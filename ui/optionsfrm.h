#pragma once
// The preferences dialog: the global folders and compression level and, while a
// datafile is open, the profile of its emulator. It fills and checks its widgets only;
// ui/OptionsModel.h holds the rules and writes a confirmed choice to the settings.
#include <QDialog>
#include <functional>
#include <string>

#include "ui/commands/OptionsModel.h"

class QAction;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QTabWidget;
class QTimer;

namespace qm {

class TEditPath;
class TImageList;
class TImageListBtn;

class TFrmOptions : public QDialog {
    Q_OBJECT
public:
    static constexpr int kHelpContext = 1002;

    explicit TFrmOptions(QWidget* parent = nullptr);

    // The files database whose rom paths the folders are checked against (with those of
    // the emulator profile); not owned, may stay empty.
    TFilesBd* FilesBd = nullptr;
    // The folder browser of both folder edits: start folder and caption in, the chosen
    // folder (or an empty text) out. Defaults to QFileDialog.
    std::function<std::string(const std::string& startFolder, const std::string& caption)> FolderBrowser;
    // Opens a folder on the desktop. Defaults to QDesktopServices::openUrl.
    std::function<void(const std::string& folder)> FolderOpener;

    // The section icons: pictures 0 to 3 of the list (not owned).
    void SetIcons(const TImageList* images);

    // Runs when the dialog is shown: the widgets take the settings, then the archive
    // folder's statistics are read.
    void LoadFromConfig();
    void UpdateArchiveInfo();
    // The widgets' values.
    TOptions Values() const;

    void ActOpenExecute();
    void ActPurgeExecute();
    // Closes the dialog with OK only when the folder rules hold; otherwise shows why,
    // goes to the first page and focuses the edit at fault.
    void BtnOkClick();

    QTabWidget* PageControl() const { return pageControl_; }
    QAction* ActOpen() const { return actOpen_; }
    QAction* ActPurge() const { return actPurge_; }

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* MakeGeneralPage();
    QWidget* MakeEmulatorPage();
    QWidget* MakeFixPage();
    void EnableEmulatorControls(bool enabled);
    void ShowSetsSample(int code);
    void ShowRomsSample(int code);
    void UpdatePurgeState();
    std::string BrowseFolder(TEditPath* edit, const std::string& caption);

    QTabWidget* pageControl_ = nullptr;
    TEditPath* archivePath_ = nullptr;
    TEditPath* tempPath_ = nullptr;
    QLabel* lblNbFiles_ = nullptr;
    QLabel* lblUsed_ = nullptr;
    QLabel* lblFree_ = nullptr;
    QAction* actOpen_ = nullptr;
    QAction* actPurge_ = nullptr;
    QSlider* tbCompLevel_ = nullptr;
    QRadioButton* unMerged_ = nullptr;
    QRadioButton* split_ = nullptr;
    QRadioButton* merged_ = nullptr;
    QCheckBox* cbFixExtension_ = nullptr;
    TEditPath* emulatorExe_ = nullptr;
    QLineEdit* runCommand_ = nullptr;
    QButtonGroup* setsGroup_ = nullptr;
    QButtonGroup* romsGroup_ = nullptr;
    QLabel* lblSample1_ = nullptr;
    QLabel* lblSample2_ = nullptr;
    QLabel* lblSample3_ = nullptr;
    QCheckBox* cbRenameSets_ = nullptr;
    QCheckBox* cbRemoveRoms_ = nullptr;
    QCheckBox* cbRenameRoms_ = nullptr;
    QCheckBox* cbFindRoms_ = nullptr;
    QCheckBox* cbRemoveFiles_ = nullptr;
    QCheckBox* cbCreateDummy_ = nullptr;
    QCheckBox* cbReZip_ = nullptr;
    QLabel* lblInfos_ = nullptr;
    QPushButton* btnOk_ = nullptr;
    QPushButton* btnCancel_ = nullptr;
    TImageListBtn* icons_[4] = {};
    // Statistics walk the folder: read them once typing pauses, not at every key.
    QTimer* archiveInfoTimer_ = nullptr;
    std::string exeBrowseStart_ = "/";
};

// The ActConfiguration command: shows the dialog on its first page and, when closed with
// OK, applies the choice (the parent window is disabled meanwhile). True when applied.
bool ActConfigurationExecute(TFrmOptions& form, const TOptionsTargets& targets);

}  // namespace qm
