#include "catalogue/DatUtil.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "archive/DiskInfo.h"
#include "archive/FilesTools.h"
#include "archive/stringsTools.h"
#include "catalogue/DataFile.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"

namespace qm {

namespace {

// Fixed names of the work files, each inside the job's own private folder.
constexpr const char* kListFileName = "listinfo.dat";
constexpr const char* kOutputFileName = "qmtmpdat.dat";
constexpr const char* kDatutilLogName = "datutil.log";
constexpr const char* kDatutilOutputName = "datutil.out";
constexpr const char* kEmulatorErrorsName = "emulator.err";

// How much of a program's last words goes into an error's detail.
constexpr size_t kTailBytes = 2000;

QString ToQt(const std::string& bytes) { return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size())); }
std::string FromQt(const QString& text) { return text.toUtf8().toStdString(); }

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsFile(const std::string& path) {
    TFileStat st;
    return !path.empty() && Fs().Stat(path, st) == 0 && st.exists && !st.isDir;
}

int64_t SizeOf(const std::string& path) {
    TFileStat st;
    return Fs().Stat(path, st) == 0 && st.exists && !st.isDir ? st.size : -1;
}


// A private folder for one job (mode 0700, unique name), so that no fixed work name is
// ever shared with another run or planted by someone else.
std::string MakeWorkFolder(const std::string& tempDir) {
    const std::string base = WithSlash(tempDir.empty() ? GetTempDirectory() : tempDir);
    std::string pattern = base + "datutil-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!::mkdtemp(buffer.data()))
        throw filestools::EFileError(
            Fmt(_("Cannot create a temporary folder in %1: %2"), {base, SysErrorMessage(errno)}));
    return WithSlash(buffer.data());
}

// Removes a folder with everything in it; what cannot be removed stays (nothing of the
// user's lives there).
void RemoveTree(const std::string& folder) {
    std::vector<TDirEntry> entries;
    if (Fs().ListDir(folder, entries) == 0) {
        for (const auto& entry : entries) {
            const std::string path = WithSlash(folder) + entry.name;
            if (entry.isDir)
                RemoveTree(path);
            else
                Fs().Unlink(path);
        }
    }
    Fs().RemoveDir(folder);
}

class TWorkFolder {
public:
    explicit TWorkFolder(const std::string& tempDir) : path_(MakeWorkFolder(tempDir)) {}
    ~TWorkFolder() { RemoveTree(path_); }
    TWorkFolder(const TWorkFolder&) = delete;
    TWorkFolder& operator=(const TWorkFolder&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

// One child process. Its standard output goes to outputFile when given, else together
// with its errors to errorFile; errors always go to errorFile. Nothing is buffered in
// this process, so a game list of hundreds of megabytes streams straight to disk.
struct TChildRequest {
    std::string program;
    std::vector<std::string> arguments;
    std::string workingDir;
    std::string outputFile;
    std::string errorFile;
    std::chrono::milliseconds timeout{0};
};

struct TChildOutcome {
    bool started = false;
    bool normalExit = false;
    bool timedOut = false;
    int exitCode = -1;
    std::string startError;
};

// Runs a child and waits for it, processing pending messages as the file routines'
// runner does, so the window keeps repainting; a child that outlives the timeout is
// killed.
TChildOutcome RunChild(const TChildRequest& request, bool& abort) {
    TChildOutcome outcome;
    QProcess process;
    QStringList args;
    for (const auto& argument : request.arguments) args << ToQt(argument);
    process.setProgram(ToQt(request.program));
    process.setArguments(args);
    process.setWorkingDirectory(ToQt(request.workingDir));
    process.setStandardInputFile(QProcess::nullDevice());
    if (request.outputFile.empty()) {
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setStandardOutputFile(ToQt(request.errorFile), QIODevice::Truncate);
    } else {
        process.setProcessChannelMode(QProcess::SeparateChannels);
        process.setStandardOutputFile(ToQt(request.outputFile), QIODevice::Truncate);
        process.setStandardErrorFile(ToQt(request.errorFile), QIODevice::Truncate);
    }
    QElapsedTimer clock;
    clock.start();
    process.start();
    if (!process.waitForStarted(-1)) {
        outcome.startError = FromQt(process.errorString());
        return outcome;
    }
    outcome.started = true;
    while (process.state() != QProcess::NotRunning && !process.waitForFinished(30)) {
        ProcessPendingMessages();
        if (abort) {
            abort = false;
            process.kill();
            process.waitForFinished(-1);
            throw EAbortOperation(_("Operation aborted."));
        }
        if (clock.elapsed() >= request.timeout.count()) {
            outcome.timedOut = true;
            process.kill();
            process.waitForFinished(-1);
            return outcome;
        }
    }
    outcome.normalExit = process.exitStatus() == QProcess::NormalExit;
    outcome.exitCode = process.exitCode();
    return outcome;
}

// The last bytes of a text file, from the start of a line; empty when there is none.
// Only the end is read: a tool's log of a whole game list can be large.
std::string TailOf(const std::string& path) {
    const int64_t size = SizeOf(path);
    if (size <= 0) return {};
    std::ifstream in(path, std::ios::binary);
    const int64_t from = size > static_cast<int64_t>(kTailBytes) ? size - static_cast<int64_t>(kTailBytes) : 0;
    in.seekg(from);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (from > 0) {
        const size_t newline = text.find('\n');
        if (newline != std::string::npos) text.erase(0, newline + 1);
    }
    return Trim(text);
}

// What went wrong with one child, in words for the error's detail; empty when it did
// all that was asked of it (exit 0 and a non-empty result).
std::string Failure(const std::string& who, const TChildOutcome& outcome, const std::string& result,
                    std::chrono::milliseconds timeout) {
    if (!outcome.started) return Fmt(_("%1 could not be started: %2"), {who, outcome.startError});
    if (outcome.timedOut)
        return Fmt(_("%1 was stopped after %2 seconds."), {who, std::to_string(timeout.count() / 1000)});
    if (!outcome.normalExit) return Fmt(_("%1 ended abnormally."), {who});
    if (outcome.exitCode != 0) return Fmt(_("%1 exited with code %2."), {who, std::to_string(outcome.exitCode)});
    if (SizeOf(result) <= 0) return Fmt(_("%1 wrote nothing to %2."), {who, result});
    return {};
}

// The first lines of a file that should have been a datafile, for telling what came.
std::string HeadOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text(kTailBytes / 4, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    size_t end = 0;
    for (int line = 0; line < 5 && end != std::string::npos; ++line) {
        end = text.find('\n', end);
        if (end != std::string::npos) ++end;
    }
    if (end != std::string::npos) text.erase(end);
    return Trim(text);
}

// What is wrong with a result that exists and is not empty: empty when the reader takes
// it for a datafile, else why not with the first lines of what it holds.
std::string NotADatafile(const std::string& who, const TChildOutcome& outcome, const std::string& result) {
    try {
        CheckDatafile(result, nullptr);
        return {};
    } catch (const std::exception& e) {
        // The reader's own words on a version would send the user to a newer program.
        const std::string reason = dynamic_cast<const datafile::EBadDatafileVersion*>(&e)
                                       ? _("its [DAT] section gives no version that can be read.")
                                       : std::string(e.what());
        std::string detail =
            Fmt(_("%1 exited with code %2 but wrote no datafile: %3"), {who, std::to_string(outcome.exitCode), reason});
        if (const std::string head = HeadOf(result); !head.empty()) detail += "\n" + _("It begins with:") + "\n" + head;
        return detail;
    }
}

std::string WithTail(std::string detail, const std::string& tail) {
    if (!tail.empty()) detail += "\n" + tail;
    return detail;
}

// The command as a person would type it, for the messages: the program as it is, the
// filled arguments (and any that need it) in double quotes.
std::string CommandText(const std::string& program, const std::vector<std::string>& arguments,
                        const std::vector<bool>& filled) {
    std::string text = program;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool quote = (i < filled.size() && filled[i]) || argument.empty() ||
                           argument.find_first_of(" \t\"") != std::string::npos;
        text += ' ';
        text += quote ? "\"" + argument + "\"" : argument;
    }
    return text;
}

// Clears the status text however the job ends.
class TInfosReset {
public:
    explicit TInfosReset(TDatUtil& owner) : owner_(owner) {}
    ~TInfosReset() { owner_.DoInfos(""); }
    TInfosReset(const TInfosReset&) = delete;
    TInfosReset& operator=(const TInfosReset&) = delete;

private:
    TDatUtil& owner_;
};

// Raises EDiskFull when the disk of an existing folder has no room for bytes; a folder
// that is not there fails later with its own error.
void CheckRoom(const std::string& folder, int64_t bytes) {
    TFileStat st;
    if (folder.empty() || Fs().Stat(folder, st) != 0 || !st.exists) return;
    CheckDiskSpace(folder, bytes);
}

// Where the settings name a datutil that is not there. The default name was also looked
// for on the PATH (see ResolveDatutilExe); a newcomer is told that datutil is a program
// of its own to install.
std::string DatutilMissing(const std::string& program) {
    const auto slash = program.find_last_of('/');
    if (program.substr(slash == std::string::npos ? 0 : slash + 1) == kDefaultDatutilName)
        return Fmt(_("datutil was looked for as %1 and on the PATH, and found in neither. datutil is not part of "
                     "Quarmelle: install it, or set Datutil_exe in the [quarmelle] section of the settings file "
                     "to its full name."),
                   {program});
    return Fmt(_("%1 not found: set Datutil_exe in the [quarmelle] section"), {program});
}

}  // namespace

std::string FailureText(const std::exception& error) {
    std::string detail;
    if (const auto* e = dynamic_cast<const datutil::EFileNotFound*>(&error)) detail = e->Detail();
    if (const auto* e = dynamic_cast<const datutil::EDatNotCreated*>(&error)) detail = e->Detail();
    std::string text = error.what();
    if (!detail.empty()) text += "\n" + detail;
    return text;
}

std::string ResolveDatutilExe(const std::string& homeFolder, const std::string& setting) {
    const std::string name = setting.empty() ? std::string(kDefaultDatutilName) : setting;
    if (name[0] == '/') return name;
    const std::string inHome = WithSlash(homeFolder) + name;
    if (IsFile(inHome) || name.find('/') != std::string::npos) return inHome;
    const QString found = QStandardPaths::findExecutable(ToQt(name));
    return found.isEmpty() ? inHome : FromQt(found);
}

void TDatUtil::SetDatutilExe(const std::string& value) {
    datutilExe_ = value;
    if (!IsFile(value)) throw datutil::EFileNotFound(_("File Not Found."));
}

void TDatUtil::DoInfos(const std::string& text) {
    if (OnInfos) OnInfos(text);
}

std::vector<std::string> TDatUtil::BuildArguments(const std::string& output, const std::string& listFile) const {
    std::vector<std::string> arguments;
    const std::pair<const char*, const std::string*> credits[] = {
        {"-A", &Author}, {"-V", &Version}, {"-C", &Comment}, {"-R", &Refname}, {"-F", &EmuVersion}};
    for (const auto& [option, value] : credits) {
        if (value->empty()) continue;
        arguments.push_back(option);
        arguments.push_back(*value);
    }
    arguments.insert(arguments.end(), {"-f", "quarmelle2", "-o", output, listFile});
    return arguments;
}

std::vector<std::string> TDatUtil::ConvertArguments(const std::string& source, const std::string& output,
                                                    std::vector<bool>* filled) const {
    std::vector<std::string> arguments = SplitCommandLine(CommandTemplate);
    std::vector<bool> marks(arguments.size(), false);
    // Both placeholders are looked for in the template's own words, so a file name that
    // happens to hold "%qm" is never filled again. Within one word the later one is
    // filled first, so the earlier one's position still holds.
    struct Place {
        size_t word = std::string::npos;
        size_t at = std::string::npos;
    };
    auto find = [&](const char* key) {
        Place place;
        for (size_t i = 0; i < arguments.size() && place.word == std::string::npos; ++i) {
            const size_t at = arguments[i].find(key);
            if (at != std::string::npos) place = {i, at};
        }
        return place;
    };
    Place cm = find("%cm");
    Place qm = find("%qm");
    const bool qmFirst = cm.word == qm.word && qm.at != std::string::npos && qm.at > cm.at;
    auto fill = [&](const Place& place, const std::string& value) {
        if (place.word == std::string::npos) return;
        arguments[place.word].replace(place.at, 3, value);
        marks[place.word] = true;
    };
    if (qmFirst) {
        fill(qm, output);
        fill(cm, source);
    } else {
        fill(cm, source);
        fill(qm, output);
    }
    if (filled) *filled = marks;
    return arguments;
}

void TDatUtil::ConvertClrMame(const std::string& source, const std::string& dest) {
    // The child runs in a folder of its own, so both names must stand on their own.
    const std::string input = AbsolutePath(source);
    const std::string target = AbsolutePath(dest);
    const std::string program = datutilExe_.empty() || datutilExe_[0] == '/' ? datutilExe_ : AbsolutePath(datutilExe_);

    TWorkFolder work(TempDir);
    // datutil writes under the destination's own name, in a folder apart from its log
    // and output, so that no name can meet theirs.
    const std::string outputFolder = work / "out";
    if (int err = Fs().MakeDir(outputFolder))
        throw filestools::EFileError(
            Fmt(_("Cannot create a temporary folder in %1: %2"), {work.Path(), SysErrorMessage(err)}));
    const std::string output = outputFolder + "/" + NameOf(target);
    std::vector<bool> filled;
    const std::vector<std::string> arguments = ConvertArguments(input, output, &filled);
    const std::string command = CommandText(datutilExe_, arguments, filled);

    // The result is written twice (work folder, then beside dest): room is checked for
    // both before anything runs.
    const int64_t room = std::max<int64_t>(SizeOf(input), 0);
    CheckRoom(work.Path(), room);
    CheckRoom(FolderOf(target), room);

    std::string detail;
    Abort = false;
    if (program.empty()) {
        detail = _("Datutil path not set !");
    } else if (!IsFile(program)) {
        detail = DatutilMissing(program);
    } else {
        TChildRequest request;
        request.program = program;
        request.arguments = arguments;
        request.workingDir = work.Path();
        request.errorFile = work / kDatutilOutputName;
        request.timeout = Timeout;
        const TChildOutcome outcome = RunChild(request, Abort);
        detail = Failure(NameOf(program), outcome, output, Timeout);
        if (!detail.empty()) {
            const std::string log = TailOf(work / kDatutilLogName);
            detail = WithTail(detail, log.empty() ? TailOf(request.errorFile) : log);
        } else {
            // Whatever datutil says of itself, only a datafile the reader takes may
            // stand for the converted one.
            detail = NotADatafile(NameOf(program), outcome, output);
        }
    }
    if (!detail.empty())
        throw datutil::EFileNotFound(Fmt(_("Error during clrmame conversion on command [%1]"), {command}), detail);
    PutFileInPlace(output, target);
}

void TDatUtil::BuildDatafile(TDatSourceKind kind, const std::string& dest) {
    TInfosReset infosReset(*this);
    const std::string target = AbsolutePath(dest);

    // Everything that can be checked is checked before anything is written.
    if (Trim(datutilExe_).empty()) throw datutil::EFileNotFound(_("Datutil path not set !"));
    if (!IsFile(datutilExe_)) throw datutil::EFileNotFound(_("File Not Found."), DatutilMissing(datutilExe_));
    std::string emulator;
    std::string listOption;
    std::string infos;
    std::string who;  // the emulator named when none is set
    switch (kind) {
    case TDatSourceKind::Mame:
        who = "mame";
        emulator = MameExe;
        listOption = "-listxml";
        infos = _("Extracting games list from mame...");
        break;
    case TDatSourceKind::Raine:
        who = "raine";
        emulator = RaineExe;
        listOption = "-listinfo";
        infos = _("Extracting games list from raine...");
        break;
    default:
        throw datutil::EDatNotCreated(_("Dat file not created !"));
    }
    if (!IsFile(emulator))
        throw datutil::EFileNotFound(_("File Not Found."),
                                     Fmt(_("%1 not found: set the emulator's program in the preferences"),
                                         {emulator.empty() ? who : emulator}));
    Abort = false;
    const std::string datutilProgram = AbsolutePath(datutilExe_);
    const std::string emulatorProgram = AbsolutePath(emulator);

    TWorkFolder work(TempDir);
    const std::string listFile = work / kListFileName;

    DoInfos(infos);
    TChildRequest list;
    list.program = emulatorProgram;
    list.arguments = {listOption};
    // MAME finds its own ini and support files in its folder; Raine's listing needs
    // nothing, and everything it might leave lands in the work folder.
    list.workingDir = kind == TDatSourceKind::Mame ? FolderOf(emulatorProgram) : work.Path();
    list.outputFile = listFile;
    list.errorFile = work / kEmulatorErrorsName;
    list.timeout = Timeout;
    const TChildOutcome listed = RunChild(list, Abort);
    if (std::string detail = Failure(NameOf(emulatorProgram), listed, listFile, Timeout); !detail.empty())
        throw datutil::EDatNotCreated(_("Dat file not created !"), WithTail(detail, TailOf(list.errorFile)));

    DoInfos(_("Converting datafile..."));
    TChildRequest convert;
    convert.program = datutilProgram;
    // datutil writes its result and its log into its working folder, the work folder.
    convert.arguments = BuildArguments(kOutputFileName, listFile);
    convert.workingDir = work.Path();
    convert.errorFile = work / kDatutilOutputName;
    convert.timeout = Timeout;
    const TChildOutcome converted = RunChild(convert, Abort);
    const std::string output = work / kOutputFileName;
    if (std::string detail = Failure(NameOf(datutilProgram), converted, output, Timeout); !detail.empty()) {
        const std::string log = TailOf(work / kDatutilLogName);
        throw datutil::EDatNotCreated(_("Dat file not created !"),
                                      WithTail(detail, log.empty() ? TailOf(convert.errorFile) : log));
    }
    if (std::string detail = NotADatafile(NameOf(datutilProgram), converted, output); !detail.empty())
        throw datutil::EDatNotCreated(_("Dat file not created !"), detail);
    PutFileInPlace(output, target);
}

}  // namespace qm
