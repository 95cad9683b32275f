#include "ui/GameInfoMenu.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>

#include "ui/commands/TextConv.h"

namespace qm {

void FillGameInfoMenu(QMenu& menu, QAction* gameInfo, const TGameInfoMenu& model,
                      const std::function<void(int index)>& onPick) {
    menu.clear();
    for (QActionGroup* old : menu.findChildren<QActionGroup*>(QString(), Qt::FindDirectChildrenOnly)) delete old;
    auto* group = new QActionGroup(&menu);
    group->setExclusive(true);
    for (size_t i = 0; i < model.Captions.size(); ++i) {
        // A "&" of the caption is shown as it is, not taken as a shortcut mark.
        QAction* item = menu.addAction(ui::ToQ(model.Captions[i]).replace(QLatin1Char('&'), QLatin1String("&&")));
        item->setCheckable(true);
        item->setData(static_cast<int>(i));
        item->setChecked(static_cast<int>(i) == model.Checked);
        group->addAction(item);
        const int index = static_cast<int>(i);
        QObject::connect(item, &QAction::triggered, &menu, [onPick, index] {
            if (onPick) onPick(index);
        });
    }
    if (gameInfo != nullptr) gameInfo->setEnabled(model.Enabled);
}

int CheckedGameInfoPage(const QMenu& menu) {
    for (const QAction* item : menu.actions())
        if (item->isCheckable() && item->isChecked()) return item->data().toInt();
    return -1;
}

}  // namespace qm
