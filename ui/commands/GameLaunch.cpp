// Which file of a game the emulator runs.
#include "ui/commands/GameLaunch.h"

#include "archive/stringsTools.h"
#include "catalogue/RomsBd.h"
#include "filesdb/filesBd.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"

namespace qm {

bool IsPlayableFile(const TFile& file) {
    return file.Path != nullptr && file.Path->IsVolumeAvailable() &&
           file.GetMissingRomCount() + file.GetAvailableElsewhereCount() == 0 && !file.HasBadRomNames() &&
           !file.NeedsRename();
}

TPlayChoice ChoosePlayTarget(const TCommandObject& object) {
    TPlayChoice choice;
    if (object.File != nullptr) {
        choice.Found = true;
        choice.Target = object.File->FullPath;
        return choice;
    }
    if (object.RomFile != nullptr) {
        if (object.RomFile->File == nullptr) return choice;
        choice.Found = true;
        choice.Target = object.RomFile->File->FullPath;
        return choice;
    }
    std::vector<TFile*> files;
    std::string bareName;
    if (object.Game != nullptr) {
        object.Game->CollectFiles(files);
        bareName = object.Game->Name;
    } else {
        const TClone* clone = object.Clone != nullptr      ? object.Clone
                              : object.CloneRom != nullptr ? object.CloneRom->Clone
                                                           : nullptr;
        if (clone == nullptr) return choice;
        clone->CollectFiles(files);
        bareName = clone->GetDisplayName();
    }
    choice.Found = true;
    for (const TFile* file : files) {
        if (IsPlayableFile(*file)) {
            choice.Target = file->FullPath;
            return choice;
        }
    }
    choice.Confirm = true;
    choice.Target = files.empty() ? bareName : files.back()->FullPath;
    return choice;
}

}  // namespace qm
