#include "ui/MainStatusBar.h"

#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QStatusBar>

#include <algorithm>
#include <cstdint>

#include "archive/stringsTools.h"

#include "platform/Text.h"
#include "ui/ViewActionStates.h"
#include "ui/commands/TextConv.h"
#include "ui/controls/ImageList.h"
#include "ui/views/QMVirtualListView.h"
#include "ui/views/QMVirtualTreeView.h"

namespace qm {

TItemTextSource ItemTextSourceOf(bool fromTree, const TQMVirtualTreeView& tree, const TQMVirtualListView& list,
                                 const TDataFile* dataFile, bool emulatorSplit) {
    TItemTextSource source;
    source.FromTree = fromTree;
    source.Object = fromTree ? tree.GetFocusedObject() : list.GetFocusedObject();
    source.TreeRootSelected = SelectionOfViews(false, &tree, nullptr).TreeRootSelected;
    source.ListSelectedCount = list.SelectedCount();
    source.DataFile = dataFile;
    source.EmulatorSplit = emulatorSplit;
    return source;
}

TStatusTexts StatusBarTexts(TQMVirtualListView& list, const TEmulator* emulator) {
    return StatusBarTexts(list.GetSelectedSize(), list.SelectedCount(), list.TotalSize, emulator);
}

TMainStatusBar::TMainStatusBar(QStatusBar* statusBar, QWidget* viewsParent) {
    static constexpr int kWidths[kPanelCount] = {60, 60, 60, 75, 0, 0, 50};
    static const char* const kHints[kPanelCount] = {"", "", "", "Size of selected items", "Rom handling mode",
                                                    "Emulator name used to play games", ""};
    for (int i = 0; i < kPanelCount; ++i) {
        auto* label = new QLabel;
        label->setObjectName(QString("StatusPanel%1").arg(i));
        label->setTextFormat(Qt::PlainText);
        QWidget* panel = label;
        QWidget* box = nullptr;
        if (i < 3) {
            // A picture and its count in one panel as wide as they need.
            box = new QWidget;
            box->setObjectName(QString("StatusGlyphPanel%1").arg(i));
            auto* layout = new QHBoxLayout(box);
            layout->setContentsMargins(2, 0, 2, 0);
            layout->setSpacing(4);
            auto* glyph = new QLabel;
            glyph->setObjectName(QString("StatusGlyph%1").arg(i));
            layout->addWidget(glyph);
            layout->addWidget(label, 1);
            glyphs_[static_cast<size_t>(i)] = glyph;
            panel = box;
        }
        // Widths follow the font: a count holds six digits (a catalogue has tens of
        // thousands of sets) and the size panel its widest text. The last panel is at
        // least its width and grows with its text.
        const QFontMetrics metrics(label->font());
        if (i < 3) {
            label->setMinimumWidth(metrics.horizontalAdvance(QStringLiteral("999999")));
            box->setMinimumWidth(kWidths[i]);
            box->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
        } else if (i == 3) {
            int widest = 0;
            for (const int64_t size : {int64_t{1023}, int64_t{1048575}, int64_t{9999} << 30})
                widest = std::max(widest, metrics.horizontalAdvance(ui::ToQ(FormatSize(size))));
            panel->setFixedWidth(std::max(kWidths[i], widest + 2 * label->margin() + 8));
        } else if (i == kPanelCount - 1) {
            panel->setMinimumWidth(kWidths[i]);
        }
        if (kHints[i][0] != '\0') panel->setToolTip(ui::ToQ(_(kHints[i])));
        statusBar->addPermanentWidget(panel);
        panels_[static_cast<size_t>(i)] = label;
    }
    listStatus_ = new QLabel(viewsParent);
    listStatus_->setObjectName("ListViewStatusBar");
    treeStatus_ = new QLabel(viewsParent);
    treeStatus_->setObjectName("TreeViewStatusBar");
    for (QLabel* line : {listStatus_, treeStatus_}) {
        line->setTextFormat(Qt::PlainText);
        line->setFrameShape(QFrame::StyledPanel);
        line->setFrameShadow(QFrame::Sunken);
    }
}

void TMainStatusBar::SetGlyphs(const TImageList& flags) {
    for (int i = 0; i < 3; ++i) glyphs_[static_cast<size_t>(i)]->setPixmap(flags.At(i));
}

void TMainStatusBar::SetItemText(const std::optional<std::string>& text) {
    if (text) listStatus_->setText(ui::ToQ(*text));
}

void TMainStatusBar::SetTexts(const TStatusTexts& texts) {
    panels_[3]->setText(ui::ToQ(texts.Size));
    panels_[4]->setText(ui::ToQ(texts.Mode));
    panels_[5]->setText(ui::ToQ(texts.Emulator));
    panels_[6]->setText(ui::ToQ(texts.Selected));
}

void TMainStatusBar::SetCounters(const std::array<std::string, 3>& counters) {
    for (int i = 0; i < 3; ++i) panels_[static_cast<size_t>(i)]->setText(ui::ToQ(counters[static_cast<size_t>(i)]));
}

void TMainStatusBar::SetDatabaseInfo(const std::string& text) { treeStatus_->setText(ui::ToQ(text)); }

}  // namespace qm
