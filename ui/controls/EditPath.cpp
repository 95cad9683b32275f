#include "ui/controls/EditPath.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPalette>

#include "ui/commands/TextConv.h"

namespace qm {

namespace {

// The folder glyph of the browse button, drawn here rather than shipped.
QIcon FolderIcon() {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(QColor(128, 96, 0));
    p.setBrush(QColor(240, 200, 80));
    p.drawRect(1, 3, 6, 2);
    p.drawRect(1, 5, 13, 8);
    return QIcon(pm);
}

}  // namespace

TEditPath::TEditPath(QWidget* parent) : QLineEdit(parent) {
    savedColor_ = palette().color(QPalette::Base);
    disabledColor_ = palette().color(QPalette::Inactive, QPalette::Window);
    button_ = addAction(FolderIcon(), QLineEdit::TrailingPosition);
    QObject::connect(button_, &QAction::triggered, this, [this] { BtnClick(); });
    FileDialog = [this](const std::string& start, const std::string& title, const std::string& fileName,
                        const QString& filter) {
        const QString initial = QDir(ui::ToQ(start)).filePath(ui::ToQ(fileName));
        return ui::FromQ(QFileDialog::getOpenFileName(this, ui::ToQ(title), initial, filter));
    };
}

void TEditPath::SetDisabledColor(const QColor& color) {
    disabledColor_ = color;
    if (!isEnabled()) {
        QPalette pal = palette();
        pal.setColor(QPalette::Disabled, QPalette::Base, color);
        setPalette(pal);
    }
}

bool TEditPath::IsValidChar(QChar) const { return true; }

QString TEditPath::QtFilter(const std::string& filter) {
    const QStringList parts = ui::ToQ(filter).split('|');
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        out << parts[i] + " (" + patterns + ")";
    }
    if (parts.size() % 2 == 1 && !parts.back().isEmpty()) out << parts.back();
    return out.join(";;");
}

std::string TEditPath::WithTrailingSeparator(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

void TEditPath::BtnClick() {
    if (OnBtnClick) OnBtnClick(this);
    if (isReadOnly()) QApplication::beep();
    std::string start = RootDir;
    if (start.empty() || !QDir(ui::ToQ(start)).exists()) start = ".";
    if (DirDialogType == TDirDialog::ddDirectoryBrowser) {
        if (!FolderDialog) return;
        const std::string folder = FolderDialog(start);
        if (!folder.empty()) setText(ui::ToQ(WithTrailingSeparator(folder)));
        return;
    }
    if (!FileDialog) return;
    const std::string file = FileDialog(start, Title, FileName, QtFilter(Filter));
    if (!file.empty()) setText(ui::ToQ(file));
}

void TEditPath::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        button_->setEnabled(isEnabled());
        QPalette pal = palette();
        if (!isEnabled()) {
            savedColor_ = pal.color(QPalette::Active, QPalette::Base);
            pal.setColor(QPalette::Disabled, QPalette::Base, disabledColor_);
        } else {
            pal.setColor(QPalette::Active, QPalette::Base, savedColor_);
            pal.setColor(QPalette::Inactive, QPalette::Base, savedColor_);
        }
        setPalette(pal);
    }
    QLineEdit::changeEvent(event);
}

void TEditPath::keyPressEvent(QKeyEvent* event) {
    if ((event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut)) && !PasteAllowed()) {
        event->accept();
        return;
    }
    const QString text = event->text();
    if (!text.isEmpty() && text.at(0).isPrint() && !IsValidChar(text.at(0))) {
        QApplication::beep();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TEditPath::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    if (AutoSelect && !(QGuiApplication::mouseButtons() & Qt::LeftButton)) selectAll();
}

void TEditPath::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = createStandardContextMenu();
    if (!PasteAllowed()) {
        for (QAction* a : menu->actions()) {
            const QString name = a->objectName();
            if (name == "edit-paste" || name == "edit-cut") a->setEnabled(false);
        }
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void TEditPath::mousePressEvent(QMouseEvent* event) {
    // The middle button pastes the X11 selection.
    if (event->button() == Qt::MiddleButton && !PasteAllowed()) {
        event->accept();
        return;
    }
    QLineEdit::mousePressEvent(event);
}

void TEditPath::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::MiddleButton && !PasteAllowed()) {
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void TEditPath::dragEnterEvent(QDragEnterEvent* event) {
    if (!PasteAllowed()) {
        event->ignore();
        return;
    }
    QLineEdit::dragEnterEvent(event);
}

void TEditPath::dropEvent(QDropEvent* event) {
    if (!PasteAllowed()) {
        event->ignore();
        return;
    }
    QLineEdit::dropEvent(event);
}

}  // namespace qm
