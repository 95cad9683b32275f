#pragma once
// The wrapper of datutil, the outside converter that turns other catalogue formats into
// our datafiles: the conversion of a ClrMamePro datafile, and a datafile built from an
// emulator's own game list (MAME's -listxml or Raine's -listinfo output).
//
// Every program runs as a child process with an argument list (no shell) in a working
// folder of its own. Everything the programs write goes into a fresh private folder
// inside TempDir, which is removed with its contents when the job ends, whatever the
// outcome. The result replaces the destination only once it is complete: a failed job
// leaves an existing destination as it was.
//
// A job succeeds only when each program started, exited normally with code 0 within
// Timeout, and the file it was to write exists and is not empty. A work folder that
// cannot be made raises filestools::EFileError.
#include <chrono>
#include <exception>
#include <string>
#include <vector>

#include "platform/Exception.h"
#include "platform/Progress.h"

namespace qm {

namespace datutil {

// Message() is the text shown to the user; Detail() says what went wrong with the
// outside program (its exit, its last words), empty when nothing ran.
class EFileNotFound : public Exception {
public:
    explicit EFileNotFound(std::string message, std::string detail = {})
        : Exception(std::move(message)), detail_(std::move(detail)) {}
    const std::string& Detail() const noexcept { return detail_; }

private:
    std::string detail_;
};

class EDatNotCreated : public Exception {
public:
    explicit EDatNotCreated(std::string message, std::string detail = {})
        : Exception(std::move(message)), detail_(std::move(detail)) {}
    const std::string& Detail() const noexcept { return detail_; }

private:
    std::string detail_;
};

}  // namespace datutil

// What a box shows of a failure: its message and, for a failed datutil job, what went
// wrong with the outside program (which one, its exit code, its last lines).
std::string FailureText(const std::exception& error);

// The emulator whose game list BuildDatafile reads.
enum class TDatSourceKind { Mame = 0, Raine = 1 };

// Name under which datutil is looked for when the settings name none.
inline constexpr const char* kDefaultDatutilName = "datutil";

// Where the settings' datutil name points: an absolute name as it stands; a relative
// one inside homeFolder (which ends with "/"). A bare program name that is not found
// there is looked up in the folders of PATH; when it is found nowhere, the name inside
// the home folder is returned, so that the error names the expected place.
std::string ResolveDatutilExe(const std::string& homeFolder, const std::string& setting);

class TDatUtil {
public:
    TDatUtil() = default;
    TDatUtil(const TDatUtil&) = delete;
    TDatUtil& operator=(const TDatUtil&) = delete;

    // Folder in which each job makes its private work folder; empty means the process's
    // private temporary folder (GetTempDirectory).
    std::string TempDir;
    std::string MameExe;
    std::string RaineExe;
    // Credits and emulator data handed to datutil; empty ones are left out.
    std::string Author, Version, Comment, Refname, EmuVersion;
    // datutil's arguments for the ClrMamePro conversion: "%cm" stands for the input,
    // "%qm" for the output. Split into arguments as a shell splits words (blanks
    // separate, double quotes group) before the first of each is filled.
    std::string CommandTemplate = "-o %qm %cm";
    // How long one program may run before it is stopped and the job fails.
    std::chrono::milliseconds Timeout{std::chrono::minutes(10)};

    TProgressEvent OnProgress;  // never fired: the outside programs report no progress
    TInfosEvent OnInfos;
    // Set (by a Cancel button) while a job runs: the running program is stopped and the
    // job raises EAbortOperation, leaving the destination as it was. Cleared by the job.
    bool Abort = false;

    // Stores the name, then raises datutil::EFileNotFound "File Not Found." when it
    // names no existing file (the name stays stored).
    void SetDatutilExe(const std::string& value);
    const std::string& DatutilExe() const { return datutilExe_; }

    // Converts the ClrMamePro datafile source into the datafile dest (replaced when it
    // exists). Raises EDiskFull when the work folder or the destination's disk has no
    // room for a copy of source, datutil::EFileNotFound "Error during clrmame conversion
    // on command [%1]" when datutil fails, EFCantMove when the result cannot be put in
    // place.
    void ConvertClrMame(const std::string& source, const std::string& dest);
    // Builds the datafile dest (replaced when it exists) from the game list of MAME or
    // Raine. Raises datutil::EFileNotFound ("Datutil path not set !", "File Not
    // Found.") before anything runs, datutil::EDatNotCreated "Dat file not created !"
    // when a program fails, EFCantMove when the result cannot be put in place.
    void BuildDatafile(TDatSourceKind kind, const std::string& dest);

    // Calls OnInfos when set (processes no messages).
    void DoInfos(const std::string& text);

    // datutil's arguments for a game list: the credits that are set, then the output
    // and the list. Public so that what is run can be shown and checked.
    std::vector<std::string> BuildArguments(const std::string& output, const std::string& listFile) const;
    // The conversion's arguments: CommandTemplate split, then its first "%cm" filled
    // with source and its first "%qm" with output; a filled value is never searched.
    // filled, when given, receives for each argument whether a value went into it.
    std::vector<std::string> ConvertArguments(const std::string& source, const std::string& output,
                                              std::vector<bool>* filled = nullptr) const;

private:
    std::string datutilExe_;
};

}  // namespace qm
