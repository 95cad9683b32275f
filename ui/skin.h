#pragma once
// The skin browser, and the loading of the skin that the main window calls at start-up
// once it has set SkinPath. Its lists stay empty: choosing a skin in the browser is not
// offered; the skin folder is the one of the settings.
#include <QDialog>
#include <functional>
#include <string>

#include "ui/SkinLoader.h"

class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace qm {

// What a skin changes in the main window.
struct TSkinTarget {
    TImageList* FlagList = nullptr;
    TImageList* ToolsIconsList = nullptr;
    // Gives the main menu tool bar the tool icons (true) or no images (false).
    std::function<void(bool withImages)> SetMainMenuImages;
};

class TSkinForm : public QDialog {
    Q_OBJECT
public:
    explicit TSkinForm(QWidget* owner = nullptr);

    std::string SkinPath;
    TSkinTarget Target;

    // Loads the skin of SkinPath into Target; each refused file is reported in a
    // warning box, and its pictures stay as they were.
    TSkinResult ApplySkin();

    QPushButton* Button1() const { return button1_; }
    QPushButton* Button2() const { return button2_; }
    QListWidget* SkinBox() const { return skinBox_; }
    QListWidget* InfoBox() const { return infoBox_; }

private:
    QPushButton* button1_;
    QPushButton* button2_;
    QGroupBox* groupBox1_;
    QLabel* label1_;
    QListWidget* skinBox_;
    QListWidget* infoBox_;
};

}  // namespace qm
