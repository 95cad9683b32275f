#include "ui/SubListMenu.h"

#include <QAction>
#include <QByteArray>
#include <QMenu>
#include <QVariant>

#include "ui/MainActions.h"
#include "ui/commands/TextConv.h"

namespace qm {

namespace {

// A menu text shows "&" as an accelerator mark unless it is doubled.
QString MenuCaption(const std::string& caption) {
    QString text = ui::ToQ(caption);
    text.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return text;
}

std::string PathOf(const QAction* action) { return action->data().toByteArray().toStdString(); }

}  // namespace

TSubListMenu::TSubListMenu(TMainActions& actions) : actions_(actions) {}

TSubListMenu::~TSubListMenu() = default;

bool TSubListMenu::Build(const std::string& folder) {
    QMenu* menu = actions_.SubListMenu();
    if (menu == nullptr) return false;
    // The old file items go once control is back in the event loop: a rebuild may run
    // inside the command of one of them. "All" and "All except" are the window's.
    for (QAction* action : fileActions_) {
        menu->removeAction(action);
        action->deleteLater();
    }
    fileActions_.clear();
    menu->clear();
    menu->addAction(actions_.Action(TActionId::ActAllExcept));
    menu->addAction(actions_.Action(TActionId::ActAll));
    menu->addSeparator();
    const std::vector<TSubListFile> files = ListSubListFiles(folder);
    for (const TSubListFile& file : files) {
        auto* action = new QAction(MenuCaption(file.Caption), menu);
        action->setCheckable(true);
        action->setData(QByteArray::fromStdString(file.Path));
        menu->addAction(action);
        fileActions_.push_back(action);
        if (OnNewAction) OnNewAction(action);
    }
    const bool dropped = choice_.KeepListed(files);
    ShowApplied();
    return dropped;
}

void TSubListMenu::Click(QAction* action) {
    QAction* all = actions_.Action(TActionId::ActAll);
    QAction* allExcept = actions_.Action(TActionId::ActAllExcept);
    if (action == allExcept) {
        choice_.SetAllExcept(allExcept->isChecked());
    } else if (action == all) {
        choice_.Reset();
    } else {
        try {
            choice_.ChooseFile(PathOf(action), allExcept->isChecked());
        } catch (...) {
            ShowApplied();
            throw;
        }
    }
    ShowApplied();
}

void TSubListMenu::Reset() {
    choice_.Reset();
    ShowApplied();
}

void TSubListMenu::ShowApplied() {
    QAction* all = actions_.Action(TActionId::ActAll);
    QAction* allExcept = actions_.Action(TActionId::ActAllExcept);
    const std::string& applied = choice_.AppliedFile();
    all->setChecked(applied.empty());
    for (QAction* action : fileActions_) action->setChecked(!applied.empty() && PathOf(action) == applied);
    allExcept->setChecked(choice_.AllExcept());
    allExcept->setEnabled(!all->isChecked());
}

}  // namespace qm
