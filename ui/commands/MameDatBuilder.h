#pragma once
// Building a datafile from MAME's own game list, apart from the windows: the checks of
// the dialog's Build button, and the build itself through the datutil wrapper.
// Messages go through the message box hook.
#include <functional>
#include <string>

namespace qm {

class TDatUtil;

// What the user typed into the dialog.
struct TMameDatRequest {
    std::string DatafileName;  // also the emulator version written into the datafile
    std::string Refname;       // the datafile type (emulator reference name)
};

// Where the datafile is written: folder (ending with "/") + the datafile name made
// safe for a file name + ".dat".
std::string MameDatafileDest(const std::string& folder, const std::string& datafileName);

// The datafile version of a build made on that day: year, month and day without
// separators ("20261209").
std::string MameDatafileVersion(int year, int month, int day);
// The same for today (local time).
std::string MameDatafileVersionToday();

// The Build button's checks: both names given, and an existing datafile of that name
// replaced only when the user agrees. True when the dialog may close with OK.
bool CheckMameDatRequest(const TMameDatRequest& request, const std::string& folder);

// Builds the datafile from the MAME executable already set in datutil: fills the
// credits (author "Quarmelle " + programVersion, version of today), runs the build and
// tells the user whether the file was created. Every failure ends in an error box.
// setStatus receives the status text ("Creating dat...", then empty in every case).
void BuildMameDatafile(TDatUtil& datUtil, const TMameDatRequest& request, const std::string& folder,
                       const std::string& programVersion, const std::string& version,
                       const std::function<void(const std::string&)>& setStatus);

}  // namespace qm
