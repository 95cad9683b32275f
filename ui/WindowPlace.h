#pragma once
// The settings' view of a window and of a splitter (catalogue/config.h) over widgets.
#include "catalogue/config.h"

class QSplitter;
class QWidget;

namespace qm {

class TWidgetPlace : public IWindowPlace {
public:
    explicit TWidgetPlace(QWidget* widget) : widget_(widget) {}
    TWindowPlacement Placement() const override;
    void Restore(const TWindowPlacement& placement) override;
    void Centre() override;

private:
    QWidget* widget_;
};

// The width of the splitter's first pane.
class TSplitterPlace : public ISplitPlace {
public:
    explicit TSplitterPlace(QSplitter* splitter) : splitter_(splitter) {}
    int Position() const override;
    void SetPosition(int position) override;

private:
    QSplitter* splitter_;
};

}  // namespace qm
