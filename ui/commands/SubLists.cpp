// Reading the sub-list files and applying their names to the shown games and clones.
#include "ui/commands/SubLists.h"

#include <algorithm>

#include "catalogue/RomsBd.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace qm {

namespace {

constexpr std::string_view kExtension = ".lst";

bool HasListExtension(std::string_view name) {
    return name.size() > kExtension.size() && SameText(name.substr(name.size() - kExtension.size()), kExtension);
}

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

void TSubListChoice::ChooseFile(const std::string& fileName, bool allExcept) {
    names_ = LoadSubListNames(fileName);
    appliedFile_ = fileName;
    allExcept_ = allExcept;
}

void TSubListChoice::Reset() {
    names_.clear();
    appliedFile_.clear();
    allExcept_ = false;
}

bool TSubListChoice::KeepListed(const std::vector<TSubListFile>& files) {
    if (appliedFile_.empty()) return false;
    for (const TSubListFile& file : files)
        if (file.Path == appliedFile_) return false;
    Reset();
    return true;
}

}  // namespace qm
