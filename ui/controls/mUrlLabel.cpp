#include "ui/controls/mUrlLabel.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QUrl>

#include "ui/commands/AboutTexts.h"

namespace qm {

TmUrlLabel::TmUrlLabel(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Opener = [](const QString& target) { QDesktopServices::openUrl(QUrl(target)); };
    SetFontColor(label_);
}

QColor TmUrlLabel::FontColor() const { return palette().color(QPalette::WindowText); }

void TmUrlLabel::SetFontColor(const QColor& color) {
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, color);
    setPalette(pal);
}

void TmUrlLabel::SetURL(const QString& url) {
    url_ = url;
    if (!objectName().isEmpty() && text() == objectName()) setText(url);
    QFont f = font();
    if (!url_.isEmpty()) {
        setCursor(Qt::PointingHandCursor);
        SetFontColor(passive_);
        f.setUnderline(true);
    } else {
        unsetCursor();
        SetFontColor(label_);
        f.setUnderline(false);
    }
    setFont(f);
}

void TmUrlLabel::SetPassiveColor(const QColor& color) {
    passive_ = color;
    if (!url_.isEmpty()) SetFontColor(color);
}

void TmUrlLabel::SetLabelColor(const QColor& color) {
    label_ = color;
    if (url_.isEmpty()) SetFontColor(color);
}

QString TmUrlLabel::Target() const {
    const QString url = url_.trimmed();
    return url.isEmpty() ? text().trimmed() : url;
}

bool TmUrlLabel::IsSafeTarget(const QString& target) { return IsSafeLinkTarget(target); }

void TmUrlLabel::Click() {
    if (OnClick) OnClick(this);
    const QString target = Target();
    if (target.isEmpty() || !IsSafeTarget(target) || !Opener) return;
    Opener(target);
}

void TmUrlLabel::enterEvent(QEnterEvent* event) {
    QLabel::enterEvent(event);
    if (!url_.isEmpty()) SetFontColor(ActiveColor);
}

void TmUrlLabel::leaveEvent(QEvent* event) {
    QLabel::leaveEvent(event);
    SetFontColor(url_.isEmpty() ? label_ : passive_);
}

void TmUrlLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) Click();
}

}  // namespace qm
