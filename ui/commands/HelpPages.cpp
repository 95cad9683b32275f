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

std::string FindHelpFolder(const std::string& homeHelp, const std::string& shippedHelp) {
    for (const std::string& candidate : {homeHelp, shippedHelp}) {
        if (candidate.empty()) continue;
        std::string folder = candidate;
        if (folder.back() != '/') folder += '/';
        TFileStat st;
        if (Fs().Stat(folder + HelpPageName(kHelpContents), st) == 0 && st.exists && !st.isDir) return folder;
    }
    return {};
}

}  // namespace qm
