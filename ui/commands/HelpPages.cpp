// Finding the help page of a help context.
#include "ui/commands/HelpPages.h"

#include "platform/FileSystem.h"

namespace qm {

std::string HelpPageName(int context) {
    switch (context) {
        case kHelpMainWindow:
            return "main.html";
        case kHelpPreferences:
            return "options.html";
        case kHelpScanWindow:
            return "scan.html";
        case kHelpDatafileManager:
            return "datafiles.html";
        default:
            return "index.html";
    }
}

std::string FindHelpFolder(const std::string& homePath, const std::string& programFolder) {
    for (const std::string& base : {homePath, programFolder}) {
        if (base.empty()) continue;
        std::string folder = base;
        if (folder.back() != '/') folder += '/';
        folder += "help/";
        TFileStat st;
        if (Fs().Stat(folder + HelpPageName(kHelpContents), st) == 0 && st.exists && !st.isDir) return folder;
    }
    return {};
}

}  // namespace qm
