#pragma once
// A one-line edit for a folder or file path, with a browse button inside its right edge.
#include <QColor>
#include <QLineEdit>
#include <functional>
#include <string>

class QAction;

namespace qm {

enum class TDirDialog { ddFileBrowser, ddDirectoryBrowser };

class TEditPath : public QLineEdit {
    Q_OBJECT
public:
    explicit TEditPath(QWidget* parent = nullptr);

    bool EditorEnabled = true;  // paste and cut pass only when set
    std::function<void(TEditPath*)> OnBtnClick;  // fired first when the button is clicked
    TDirDialog DirDialogType = TDirDialog::ddFileBrowser;
    std::string RootDir = "/";  // start folder of the file dialog
    std::string Filter = "exe file (*.exe)|*.EXE";  // "description|patterns|..." pairs
    std::string Title;
    std::string FileName;
    bool AutoSelect = true;  // select the whole text when entered by keyboard

    // The folder browser used with ddDirectoryBrowser: gets the start folder, returns the
    // chosen folder or an empty text. Without one the button opens nothing.
    std::function<std::string(const std::string& startFolder)> FolderDialog;
    // The file dialog used with ddFileBrowser: start folder, title, file name and a Qt
    // filter; returns the chosen file or an empty text. Defaults to QFileDialog.
    std::function<std::string(const std::string& startFolder, const std::string& title,
                              const std::string& fileName, const QString& filter)>
        FileDialog;

    QColor DisabledColor() const { return disabledColor_; }
    void SetDisabledColor(const QColor& color);
    bool FlatButton() const { return flat_; }
    void SetFlatButton(bool flat) { flat_ = flat; }
    bool TransparentButton() const { return transparent_; }
    void SetTransparentButton(bool transparent) { transparent_ = transparent; }
    QAction* Button() const { return button_; }

    // What the browse button does; public so that the preferences dialog and tests can
    // run it.
    void BtnClick();
    // Characters refused here are dropped with a beep; every character passes.
    virtual bool IsValidChar(QChar c) const;

    // "desc|pat;pat|desc2|pat2" in Qt's "desc (pat pat);;desc2 (pat2)" form.
    static QString QtFilter(const std::string& filter);
    // A chosen folder with its trailing separator.
    static std::string WithTrailingSeparator(std::string folder);

protected:
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool PasteAllowed() const { return EditorEnabled && !isReadOnly(); }

    QAction* button_ = nullptr;
    QColor savedColor_;
    QColor disabledColor_;
    bool flat_ = false;
    bool transparent_ = false;
};

}  // namespace qm
