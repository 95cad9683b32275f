#pragma once
// The game information submenu: the pages of the commands' menu model as radio items.
#include <functional>

#include "ui/commands/GamePages.h"

class QAction;
class QMenu;

namespace qm {

// Fills menu with the model's items (checkable, exclusive, the page index in data())
// and enables or disables gameInfo. onPick runs with the page index when an item is
// triggered.
void FillGameInfoMenu(QMenu& menu, QAction* gameInfo, const TGameInfoMenu& model,
                      const std::function<void(int index)>& onPick);
// The page index of the first checked item of menu, -1 when none.
int CheckedGameInfoPage(const QMenu& menu);

}  // namespace qm
