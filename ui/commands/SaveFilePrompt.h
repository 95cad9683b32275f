#pragma once
// The save dialog of the report and export commands, behind a small interface so that
// the commands run without a window (tests answer it with a scripted name).
#include <string>

namespace qm {

struct TSaveFileRequest {
    std::string Title;          // empty: the dialog's own title
    std::string Filter;         // one Qt name filter, "Text files (*.txt *.TXT)"
    std::string InitialFolder;  // ends with "/"
    std::string DefaultSuffix;  // without the dot; added to a name typed without one
    std::string DefaultName;    // the file name proposed, without folder
};

class ISaveFilePrompt {
public:
    virtual ~ISaveFilePrompt() = default;
    // True with the chosen file's full name; false when the user cancelled. The dialog
    // itself asks before an existing file is chosen.
    virtual bool PromptSaveFile(const TSaveFileRequest& request, std::string& fileName) = 0;
};

}  // namespace qm
