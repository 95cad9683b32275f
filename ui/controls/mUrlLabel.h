#pragma once
// A label that acts as a hyperlink: underlined and coloured while it has a target, and
// opening the target when clicked. Only web and mail targets are ever opened, since
// the texts shown come partly from datafiles and plug-ins.
#include <QColor>
#include <QLabel>
#include <functional>
#include <string>

namespace qm {

class TmUrlLabel : public QLabel {
    Q_OBJECT
public:
    explicit TmUrlLabel(QWidget* parent = nullptr);

    std::function<void(TmUrlLabel*)> OnClick;
    // Opens a target; defaults to QDesktopServices::openUrl. Tests capture it.
    std::function<void(const QString& target)> Opener;

    const QString& URL() const { return url_; }
    void SetURL(const QString& url);
    QColor ActiveColor = QColor(128, 0, 128);
    QColor PassiveColor() const { return passive_; }
    void SetPassiveColor(const QColor& color);
    QColor LabelColor() const { return label_; }
    void SetLabelColor(const QColor& color);
    QColor FontColor() const;

    // What a click opens: the trimmed URL, else the trimmed caption.
    QString Target() const;
    // True for the targets that may be opened: http, https, ftp and mailto.
    static bool IsSafeTarget(const QString& target);
    void Click();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void SetFontColor(const QColor& color);

    QString url_;
    QColor passive_ = QColor(0, 0, 255);
    QColor label_ = QColor(0, 0, 0);
};

}  // namespace qm
