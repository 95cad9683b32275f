#pragma once
// The program's help: HTML pages in a "help" folder, one page per help context.
#include <string>

namespace qm {

inline constexpr int kHelpContents = 1000;    // the table of contents
inline constexpr int kHelpMainWindow = 1001;  // the main window
inline constexpr int kHelpPreferences = 1002;
inline constexpr int kHelpScanWindow = 1003;
inline constexpr int kHelpDatafileManager = 1004;

// The page of a help context, without folder; the contents page for an unknown one.
std::string HelpPageName(int context);

// The help folder (ending with "/") that holds the contents page: the home's, else the
// one the program ships; empty when neither holds it.
std::string FindHelpFolder(const std::string& homeHelp, const std::string& shippedHelp);

}  // namespace qm
