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
    // A width that leaves the second pane nothing is not taken.
    void SetPosition(int position) override;
    // Some pane has no width: the splitter's state is not worth keeping.
    bool Collapsed() const;

private:
    QSplitter* splitter_;
};

// A pane width held until the splitter can take it.
class TSplitPosition : public ISplitPlace {
public:
    int Position() const override { return position_; }
    void SetPosition(int position) override { position_ = position; }

private:
    int position_ = 0;
};

}  // namespace qm
