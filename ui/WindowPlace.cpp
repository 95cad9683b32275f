#include "ui/WindowPlace.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSplitter>
#include <QWidget>

namespace qm {

TWindowPlacement TWidgetPlace::Placement() const {
    TWindowPlacement p;
    const QRect normal = widget_->normalGeometry().isValid() ? widget_->normalGeometry() : widget_->geometry();
    p.Left = normal.x();
    p.Top = normal.y();
    p.Width = normal.width();
    p.Height = normal.height();
    p.WindowState = widget_->isMinimized() ? 1 : widget_->isMaximized() ? 2 : 0;
    return p;
}

void TWidgetPlace::Restore(const TWindowPlacement& placement) {
    QRect rect(placement.Left, placement.Top, placement.Width, placement.Height);
    if (rect.width() > 0 && rect.height() > 0) {
        // A screen that was there when the place was saved may be gone.
        bool onScreen = false;
        for (const QScreen* screen : QGuiApplication::screens())
            if (screen->availableGeometry().intersects(rect)) onScreen = true;
        if (!onScreen && QGuiApplication::primaryScreen())
            rect.moveTopLeft(QGuiApplication::primaryScreen()->availableGeometry().topLeft());
        widget_->setGeometry(rect);
    }
    switch (placement.WindowState) {
        case 0:
            widget_->setWindowState(widget_->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
            break;
        case 1:
            widget_->setWindowState(widget_->windowState() | Qt::WindowMinimized);
            break;
        case 2:
            widget_->setWindowState(widget_->windowState() | Qt::WindowMaximized);
            break;
        default:
            break;
    }
}

void TWidgetPlace::Centre() {
    const QWidget* anchor = widget_->parentWidget() ? widget_->parentWidget()->window() : nullptr;
    QRect area = anchor ? anchor->geometry()
                        : (QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry()
                                                            : QRect());
    if (!area.isValid()) return;
    QRect rect = widget_->geometry();
    rect.moveCenter(area.center());
    widget_->setGeometry(rect);
}

int TSplitterPlace::Position() const {
    const QList<int> sizes = splitter_->sizes();
    return sizes.isEmpty() ? 0 : sizes.first();
}

void TSplitterPlace::SetPosition(int position) {
    QList<int> sizes = splitter_->sizes();
    if (sizes.size() < 2 || position <= 0) return;
    const int total = sizes[0] + sizes[1];
    if (position >= total) return;
    sizes[0] = position;
    sizes[1] = std::max(0, total - position);
    splitter_->setSizes(sizes);
}

bool TSplitterPlace::Collapsed() const {
    const QList<int> sizes = splitter_->sizes();
    if (sizes.isEmpty()) return true;
    for (int size : sizes)
        if (size <= 0) return true;
    return false;
}

}  // namespace qm
