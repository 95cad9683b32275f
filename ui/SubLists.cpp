#include "ui/SubLists.h"

#include <QAction>
#include <QByteArray>
#include <QMenu>
#include <QVariant>

#include <algorithm>

#include "catalogue/RomsBd.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "ui/MainActions.h"
#include "ui/TextConv.h"

namespace qm {

namespace {

constexpr std::string_view kExtension = ".lst";

bool HasListExtension(std::string_view name) {
    return name.size() > kExtension.size() && SameText(name.substr(name.size() - kExtension.size()), kExtension);
}

// A menu text shows "&" as an accelerator mark unless it is doubled.
QString MenuCaption(const std::string& caption) {
    QString text = ui::ToQ(caption);
    text.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return text;
}

std::string PathOf(const QAction* action) { return action->data().toByteArray().toStdString(); }

}  // namespace

std::vector<TSubListFile> ListSubListFiles(const std::string& folder) {
    std::vector<TDirEntry> entries;
    std::vector<TSubListFile> files;
    if (folder.empty() || Fs().ListDir(folder, entries) != 0) return files;
    const std::string prefix = folder.back() == '/' ? folder : folder + "/";
    for (const TDirEntry& entry : entries) {
        if (entry.isDir || !HasListExtension(entry.name)) continue;
        files.push_back({prefix + entry.name, entry.name.substr(0, entry.name.size() - kExtension.size())});
    }
    std::stable_sort(files.begin(), files.end(), [](const TSubListFile& a, const TSubListFile& b) {
        return CompareText(a.Caption, b.Caption) < 0;
    });
    return files;
}

TSubListNames ParseSubListNames(std::string_view text) {
    TSubListNames names;
    std::vector<std::string_view> lines;
    SplitLines(text, lines);
    names.reserve(lines.size());
    for (std::string_view line : lines) {
        line = TrimView(line);
        if (!line.empty()) names.emplace(line);
    }
    return names;
}

TSubListNames LoadSubListNames(const std::string& fileName) {
    std::string text;
    const int error = Fs().ReadFile(fileName, text);
    if (error != 0) throw Exception(fileName + ": " + SysErrorMessage(error));
    return ParseSubListNames(text);
}

void ApplySubList(TRomsBd* romsBd, bool emulatorSplit, const TSubListNames& names, bool allExcept,
                  TShownGames& shownGames, TShownClones& shownClones) {
    if (romsBd == nullptr) return;
    shownGames.Clear();
    shownClones.Clear();
    TCloneItems all;
    // With Split on every clone is listed under its own name.
    romsBd->Split = true;
    try {
        romsBd->ListClones(all);
    } catch (...) {
        romsBd->Split = emulatorSplit;
        throw;
    }
    romsBd->Split = emulatorSplit;
    const bool filtered = !names.empty();
    for (const auto& [name, clone] : all) {
        if (filtered && (names.find(name) != names.end()) == allExcept) continue;
        shownClones.Add(name, clone);
        if (!shownGames.HasObject(clone->Game)) shownGames.Add(clone->Game->Name, clone->Game);
    }
}

// ---------------------------------------------------------------------------------------

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
    bool appliedListed = false;
    for (const TSubListFile& file : ListSubListFiles(folder)) {
        auto* action = new QAction(MenuCaption(file.Caption), menu);
        action->setCheckable(true);
        action->setData(QByteArray::fromStdString(file.Path));
        menu->addAction(action);
        fileActions_.push_back(action);
        if (file.Path == appliedFile_) appliedListed = true;
        if (OnNewAction) OnNewAction(action);
    }
    const bool dropped = !appliedFile_.empty() && !appliedListed;
    if (dropped) Reset();
    ShowApplied();
    return dropped;
}

void TSubListMenu::Click(QAction* action) {
    QAction* all = actions_.Action(TActionId::ActAll);
    QAction* allExcept = actions_.Action(TActionId::ActAllExcept);
    if (action == allExcept) {
        allExcept_ = allExcept->isChecked();
    } else if (action == all) {
        Reset();
    } else {
        TSubListNames names;
        try {
            names = LoadSubListNames(PathOf(action));
        } catch (...) {
            ShowApplied();
            throw;
        }
        names_ = std::move(names);
        appliedFile_ = PathOf(action);
        allExcept_ = allExcept->isChecked();
    }
    ShowApplied();
}

void TSubListMenu::Reset() {
    names_.clear();
    appliedFile_.clear();
    allExcept_ = false;
    ShowApplied();
}

void TSubListMenu::ShowApplied() {
    QAction* all = actions_.Action(TActionId::ActAll);
    QAction* allExcept = actions_.Action(TActionId::ActAllExcept);
    all->setChecked(appliedFile_.empty());
    for (QAction* action : fileActions_) action->setChecked(!appliedFile_.empty() && PathOf(action) == appliedFile_);
    allExcept->setChecked(allExcept_);
    allExcept->setEnabled(!all->isChecked());
}

}  // namespace qm
