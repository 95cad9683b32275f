// Listing and changing the datafile folder for the datafile manager.
#include "ui/commands/DatafileFolder.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "archive/FilesTools.h"
#include "archive/archivemanager.h"
#include "archive/stringsTools.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"

namespace qm {

namespace {

bool HasDatExtension(const std::string& name) {
    return name.size() >= 4 && SameText(std::string_view(name).substr(name.size() - 4), ".dat");
}

}  // namespace

std::vector<TLocalDatafile> ListLocalDatafiles(const std::string& folder, TArchiveManager& archives) {
    std::vector<TLocalDatafile> list;
    std::vector<TDirEntry> entries;
    if (Fs().ListDir(folder, entries) != 0) return list;
    for (const TDirEntry& entry : entries) {
        const std::string path = folder + entry.name;
        if (!entry.isDir && archives.IsArchive(entry.name)) {
            TArchiveItems items;
            try {
                archives.GetFileList(path, items);
            } catch (const Exception&) {
                continue;  // a broken archive holds no datafile we could open
            }
            for (const TArchiveItem& item : items) {
                if (item.Name.empty() || !HasDatExtension(item.Name)) continue;
                const std::string inner = item.GetFullName();
                list.push_back({entry.name + " | " + inner, path, inner});
            }
        } else if (!entry.isDir) {
            if (HasDatExtension(entry.name)) list.push_back({entry.name, path, {}});
        } else {
            std::vector<TDirEntry> inside;
            if (Fs().ListDir(path, inside) != 0) continue;
            for (const TDirEntry& file : inside)
                if (!file.isDir) list.push_back({file.name, path + "/" + file.name, {}});
        }
    }
    std::stable_sort(list.begin(), list.end(), [](const TLocalDatafile& a, const TLocalDatafile& b) {
        return CompareText(a.Text, b.Text) < 0;
    });
    return list;
}

void DeleteLocalDatafile(const TLocalDatafile& datafile, TArchiveManager& archives) {
    if (datafile.IsArchiveEntry()) {
        archives.DeleteFile(datafile.FileName, datafile.Entry);
        if (archives.IsArchiveEmpty(datafile.FileName)) {
            // Nothing is left in it, so removing it loses nothing.
            if (const int err = Fs().Unlink(datafile.FileName); err != 0)
                throw datafilefolder::EFileError(datafile.FileName + ": " + SysErrorMessage(err));
        }
        return;
    }
    try {
        ShellDeleteFile(datafile.FileName);
    } catch (const filestools::EFileError& e) {
        throw datafilefolder::EFileError(e.Message());
    }
}

int RowAfterRemoval(size_t count, std::vector<size_t> removed) {
    std::sort(removed.begin(), removed.end());
    removed.erase(std::unique(removed.begin(), removed.end()), removed.end());
    const size_t left = count - std::min(count, removed.size());
    if (left == 0) return -1;
    if (removed.empty()) return 0;
    const size_t last = removed.back();
    if (last + 1 >= count) return 0;  // nothing followed the last removed row
    // Every removed row lies before the follower, so it moves up by their number.
    return static_cast<int>(last + 1 - removed.size());
}

std::string ReplaceQuestion(const std::string& name) {
    return Fmt(_("A file with the name %1 exists in destination folder."), {name}) + "\n\n" +
           _("Would you like to replace it ?");
}

int AddDatafiles(const std::vector<std::string>& files, const std::string& folder) {
    int added = 0;
    for (const std::string& source : files) {
        const std::string name = ExtractFileNameAnySep(source);
        const std::string dest = folder + name;
        TFileStat st;
        const bool exists = Fs().Stat(dest, st) == 0 && st.exists;
        if (exists) {
            std::error_code ec;
            // The file the user picked is already the one in the folder.
            if (std::filesystem::equivalent(source, dest, ec)) continue;
            if (UiHooks().MessageDlg(ReplaceQuestion(name), TMsgDlgType::mtConfirmation, mbYes | mbNo) != mrYes)
                continue;
        }
        // Written beside the destination and renamed into place once complete, so a
        // failed copy leaves the old file as it was.
        if (const int err = Fs().CopyFile(source, dest, exists); err != 0) {
            UiHooks().MessageDlg(_("Can't copy file.") + "\n" + SysErrorMessage(err), TMsgDlgType::mtError, mbOK);
            continue;
        }
        ++added;
    }
    UiHooks().MessageDlg(Fmt(_("%1 datafiles added."), {std::to_string(added)}), TMsgDlgType::mtInformation, mbOK);
    return added;
}

}  // namespace qm
