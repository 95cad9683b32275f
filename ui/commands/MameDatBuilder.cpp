// Building a datafile from MAME's own game list.
#include "ui/commands/MameDatBuilder.h"

#include <cstdio>
#include <ctime>

#include "archive/stringsTools.h"
#include "catalogue/DatUtil.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"
#include "ui/commands/DatafileFolder.h"

namespace qm {

namespace {

bool FileExists(const std::string& name) {
    TFileStat st;
    return Fs().Stat(name, st) == 0 && st.exists && !st.isDir;
}

}  // namespace

std::string MameDatafileDest(const std::string& folder, const std::string& datafileName) {
    // The name is typed by the user; a "/" in it must not lead out of the folder.
    return folder + MakeValidFileName(datafileName) + ".dat";
}

std::string MameDatafileVersion(int year, int month, int day) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d%02d%02d", year, month, day);
    return text;
}

std::string MameDatafileVersionToday() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    return MameDatafileVersion(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

bool CheckMameDatRequest(const TMameDatRequest& request, const std::string& folder) {
    if (request.DatafileName.empty()) {
        UiHooks().MessageDlg(_("Please give a name to the datafile."), TMsgDlgType::mtWarning, mbOK);
        return false;
    }
    if (request.Refname.empty()) {
        UiHooks().MessageDlg(_("Please give a name to the datafile type."), TMsgDlgType::mtWarning, mbOK);
        return false;
    }
    if (FileExists(MameDatafileDest(folder, request.DatafileName)))
        return UiHooks().MessageDlg(ReplaceQuestion(request.DatafileName), TMsgDlgType::mtConfirmation,
                                    mbYes | mbNo) == mrYes;
    return true;
}

void BuildMameDatafile(TDatUtil& datUtil, const TMameDatRequest& request, const std::string& folder,
                       const std::string& programVersion, const std::string& version,
                       const std::function<void(const std::string&)>& setStatus) {
    const auto status = [&](const std::string& text) {
        if (setStatus) setStatus(text);
    };
    ProcessPendingMessages(true);
    TBusyCursor busy;
    status(_("Creating dat..."));
    try {
        datUtil.Author = "Quarmelle " + programVersion;
        datUtil.Version = version;
        datUtil.Refname = request.Refname;
        datUtil.EmuVersion = request.DatafileName;
        const std::string dest = MameDatafileDest(folder, request.DatafileName);
        datUtil.BuildDatafile(TDatSourceKind::Mame, dest);
        ProcessPendingMessages(true);
        if (FileExists(dest))
            UiHooks().MessageDlg(Fmt(_("Datafile %1 created."), {request.DatafileName}), TMsgDlgType::mtInformation,
                                 mbOK);
        else
            UiHooks().MessageDlg(_("File not created ! An error occured."), TMsgDlgType::mtError, mbOK);
    } catch (const std::exception& e) {
        UiHooks().MessageDlg(FailureText(e), TMsgDlgType::mtError, mbOK);
    }
    status("");
}

}  // namespace qm
