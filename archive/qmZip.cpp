#include "archive/qmZip.h"

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "archive/FilesTools.h"
#include "archive/ZipFailure.h"
#include "archive/ZipNameRewriter.h"
#include "archive/stringsTools.h"
#include "platform/FileSystem.h"
#include "platform/RewriteBatch.h"
#include "platform/Finally.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"

namespace qm {

namespace {

std::string Trim(const std::string& text) {
    const char* blanks = " \t\r\n";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

std::string StripTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// The wildcard escape the libraries need for a name taken literally.
std::string EscapeWildcards(const std::string& name, bool escapeDash) {
    std::string out;
    out.reserve(name.size() + 8);
    for (const char c : name) {
        switch (c) {
            case '[': out += "[[]"; break;
            case '*': out += "[*]"; break;
            case '?': out += "[?]"; break;
            case '-':
                if (escapeDash) out += "[-]";
                else out += c;
                break;
            default: out += c;
        }
    }
    return out;
}

// The process's private temporary folder, where the fixed work names of the archiver
// cannot meet another process's; the system's own when that cannot be made.
std::string DefaultTempDir() {
    try {
        return GetTempDirectory();
    } catch (const Exception&) {
        const char* dir = std::getenv("TMPDIR");
        std::string path = dir && *dir ? dir : "/tmp";
        if (path.back() != '/') path += '/';
        return path;
    }
}

// Removes a work file whatever way the scope is left.
class TWorkFile {
public:
    explicit TWorkFile(std::string path) : path_(std::move(path)) {}
    ~TWorkFile() { Fs().Unlink(path_); }
    TWorkFile(const TWorkFile&) = delete;
    TWorkFile& operator=(const TWorkFile&) = delete;

private:
    std::string path_;
};

}  // namespace

// The thread the library calls run on: one for the archiver's whole life, started on
// first use, so that tens of thousands of short calls (a scan lists every archive of a
// rom path) do not each pay for a new thread.
class TArchiveThread {
public:
    ~TArchiveThread() {
        if (!thread_.joinable()) return;
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }

    // Hands job to the thread; returns at once.
    void Start(std::function<void()> job) {
        if (!thread_.joinable()) thread_ = std::thread([this] { Loop(); });
        {
            std::lock_guard lock(mutex_);
            job_ = std::move(job);
        }
        wake_.notify_one();
    }

private:
    void Loop() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stop_ || job_; });
            if (!job_) return;
            std::function<void()> job = std::move(job_);
            job_ = nullptr;
            lock.unlock();
            job();
            lock.lock();
        }
    }

    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::function<void()> job_;
    bool stop_ = false;
};

struct TQMZip::TPending {
    struct TEvent {
        bool listed = false;  // a listed entry, else library text
        std::string text;     // the text, or the entry name
        uint64_t size = 0;
        uint32_t crc = 0;
    };

    std::mutex mutex;
    std::condition_variable wake;
    std::vector<TEvent> events;
    bool done = false;

    void Post(TEvent event) {
        {
            std::lock_guard lock(mutex);
            events.push_back(std::move(event));
        }
        wake.notify_one();
    }
};

TQMZip::TQMZip() : worker_(std::make_unique<TArchiveThread>()) {
    TempDir = DefaultTempDir();
    InitUnzipCallbacks();
    InitZipCallbacks();
}

TQMZip::~TQMZip() = default;

void TQMZip::InitUnzipCallbacks() {
    userFunctions_ = {};
    // On the worker the events are posted to the caller; a call on the calling thread
    // delivers them at once.
    userFunctions_.print = [this](const char* text, unsigned long length) {
        if (pending_) pending_->Post({false, std::string(text, length), 0, 0});
        else if (direct_) LogMessage(std::string(text, length));
        return static_cast<int>(length);
    };
    userFunctions_.replace = [](const char*) { return 1; };
    userFunctions_.password = [](char*, int, const char*, const char*) { return 1; };
    userFunctions_.SendApplicationMessage =
        [this](uint64_t size, uint64_t, unsigned, unsigned, unsigned, unsigned, unsigned, unsigned,
               char, const char* name, const char*, uint32_t crc,
               char) {
            if (pending_) pending_->Post({true, name, size, crc});
            else if (direct_) AddListedEntry(size, name, crc);
        };
    userFunctions_.ServCallBk = [this](const char* name, uint64_t size) {
        EntryProcessed(name, size);
        if (direct_) {
            // A long read on the calling thread keeps the windows alive and hears Cancel.
            ProcessPendingMessages();
            if (OnPoll) OnPoll();
        }
        return 0;
    };
    userFunctions_.EntryFailed = [this](const char* name, const char* text) {
        if (failedEntries_) failedEntries_->emplace_back(name, text);
    };
}

void TQMZip::InitZipCallbacks() {
    zipUserFunctions_ = {};
    zipUserFunctions_.print = userFunctions_.print;
    zipUserFunctions_.password = userFunctions_.password;
    zipUserFunctions_.ServiceApplication = userFunctions_.ServCallBk;
    ZpInit(zipUserFunctions_);
}

void TQMZip::EntryProcessed(const std::string&, uint64_t) {}

void TQMZip::LogMessage(const std::string& text) {
    std::string cleaned;
    for (const char c : Trim(text))
        if (c != '\n') cleaned += c;
    if (cleaned.empty()) return;
    if (!EntryTestMode) {
        if (OnMessage) OnMessage(cleaned);
    } else if (OnError) {
        OnError(CurrentArchiveName, CurrentFileName, cleaned);
    }
}

void TQMZip::AddListedEntry(uint64_t size, const std::string& entryName, uint32_t crc) {
    if (Items) Items->push_back(TArchiveItem::FromEntry(entryName, static_cast<int64_t>(size), crc));
}

std::string TQMZip::EscapeZipName(const std::string& name) { return EscapeWildcards(name, true); }

bool TQMZip::ArchiveExists(const std::string& archiveName) const {
    TFileStat st;
    return Fs().Stat(archiveName, st) == 0 && st.exists;
}

void TQMZip::CheckIdle(const std::string& archiveName, const std::string& fileName) const {
    if (running_)
        throw archive::EError(_("Another archive operation is under way."), archiveName, fileName);
}

// The archive layer opens archives itself: a pending rewrite of one goes to disk first,
// so that it reads (and writes over) the new archive. A failure to put it in place is
// the failure of this operation.
void TQMZip::SettlePending(const std::string& archiveName) const {
    if (archiveName.empty()) return;
    if (const int err = TRewriteBatch::Settle(archiveName); err != 0)
        throw archive::ESystemError(SysErrorMessage(err), archiveName, CurrentFileName);
}

int TQMZip::RunHere(TOperation operation) {
    CheckIdle(CurrentArchiveName, CurrentFileName);
    SettlePending(CurrentArchiveName);
    running_ = true;
    direct_ = true;
    const TFinally reset([this] {
        running_ = false;
        direct_ = false;
    });
    const char* name = nameList_.c_str();
    const int result = operation == opNamed ? Wiz_SingleEntryUnzip(1, &name, 0, nullptr, dcl_, userFunctions_)
                                            : Wiz_SingleEntryUnzip(0, nullptr, 0, nullptr, dcl_, userFunctions_);
    failure_ = TakeZipFailure();
    return result;
}

int TQMZip::Run(TOperation operation) {
    CheckIdle(CurrentArchiveName, CurrentFileName);
    SettlePending(operation == opZip || operation == opRecompress || operation == opCopy ? zcl_.lpszZipFN
                                                                                           : CurrentArchiveName);
    if (operation == opCopy) SettlePending(copySource_);
    TPending pending;
    // The zip library's callbacks are process-wide: make sure they reach this object.
    if (operation == opZip || operation == opRecompress || operation == opCopy || operation == opBatch)
        ZpInit(zipUserFunctions_);
    running_ = true;
    pending_ = &pending;
    struct TReset {
        TQMZip& zip;
        ~TReset() {
            zip.running_ = false;
            zip.pending_ = nullptr;
        }
    } reset{*this};

    int result = 0;
    std::exception_ptr workerFailure;
    // The worker has its own copy of the records.
    auto call = [&, dcl = dcl_, zcl = zcl_, nameList = nameList_, copySource = copySource_] {
        try {
            const char* name = nameList.c_str();
            switch (operation) {
                case opExtractAll:
                case opTest:
                case opList:
                    result = Wiz_SingleEntryUnzip(0, nullptr, 0, nullptr, dcl, userFunctions_);
                    break;
                case opNamed:
                    result = Wiz_SingleEntryUnzip(1, &name, 0, nullptr, dcl, userFunctions_);
                    break;
                case opZip:
                    result = ZpArchive(zcl);
                    break;
                case opRecompress:
                    result = ZpRecompress(zcl);
                    break;
                case opCopy:
                    result = ZpCopyEntry(copySource, nameList, zcl, copyUnzipCode_);
                    break;
                case opBatch:
                    result = ZpApplyChanges(zcl.lpszZipFN, batch_, copyUnzipCode_, batchFailed_);
                    break;
            }
            failure_ = TakeZipFailure();
        } catch (...) {
            workerFailure = std::current_exception();
        }
        // Notified under the lock: once the caller sees done it may leave, and the
        // worker must not touch pending after that.
        std::lock_guard lock(pending.mutex);
        pending.done = true;
        pending.wake.notify_one();
    };
    try {
        worker_->Start(call);
    } catch (const std::system_error& e) {
        throw archive::ESystemError(e.what(), CurrentArchiveName, CurrentFileName);
    }

    // The caller's side: deliver what the worker posted and keep the windows alive
    // until it is done. A failure here (a handler that throws) waits for the worker
    // before it goes on, so the worker never outlives the records it uses.
    std::exception_ptr callerFailure;
    std::unique_lock lock(pending.mutex);
    for (;;) {
        std::vector<TPending::TEvent> batch;
        batch.swap(pending.events);
        const bool done = pending.done;
        lock.unlock();
        for (const TPending::TEvent& e : batch) {
            if (callerFailure) break;
            try {
                if (e.listed) AddListedEntry(e.size, e.text, e.crc);
                else LogMessage(e.text);
            } catch (...) {
                callerFailure = std::current_exception();
            }
        }
        if (done) break;
        if (!callerFailure) {
            try {
                ProcessPendingMessages();
            } catch (...) {
                callerFailure = std::current_exception();
            }
        }
        lock.lock();
        pending.wake.wait_for(lock, std::chrono::milliseconds(10),
                              [&] { return pending.done || !pending.events.empty(); });
    }
    if (workerFailure) std::rethrow_exception(workerFailure);
    if (callerFailure) std::rethrow_exception(callerFailure);
    return result;
}

void TQMZip::UnzipOptions(int quiet, int test, int list, int keepPath, int overwrite,
                          const std::string& archive, const std::string& dir) {
    dcl_ = DCL{};
    dcl_.fQuiet = quiet;
    dcl_.ntflag = test;
    dcl_.nvflag = list;
    dcl_.nfflag = list;
    dcl_.ndflag = keepPath;
    dcl_.noflag = overwrite;
    dcl_.C_flag = list ? 0 : 1;
    dcl_.fPrivilege = 1;
    dcl_.lpszZipFN = archive;
    dcl_.lpszExtractDir = dir;
}

void TQMZip::SetZipOptions(bool add, bool remove, const std::string& rootDir) {
    const bool folder = !rootDir.empty();
    ZPOPT options;
    options.szRootDir = rootDir;
    options.szTempDir = folder ? std::string() : TempDir;
    options.fExtra = add || folder ? kZipTrue : 0;
    options.fVerbose = add ? kZipTrue : 0;
    options.fJunkDir = add ? kZipTrue : 0;
    options.fGrow = add ? kZipTrue : 0;
    options.fDeleteEntries = remove ? kZipTrue : 0;
    options.fRecurse = folder ? 1 : 0;
    options.fLevel = std::to_string(CompressionLevel)[0];
    if (ZpSetOptions(options) == 0)
        throw archive::EZE_CantSetZipOption("Error setting Zip Options", CurrentArchiveName,
                                            CurrentFileName);
}

void TQMZip::GetFileList(const std::string& archiveName, TArchiveItems& items) {
    CheckIdle(archiveName, {});
    CurrentArchiveName = archiveName;
    failure_.clear();
    CurrentFileName.clear();
    int result = archive::kUnzipArchiveMissing;
    if (ArchiveExists(archiveName)) {
        Items = &items;
        struct TUnset {
            TArchiveItems*& items;
            ~TUnset() { items = nullptr; }
        } unset{Items};
        UnzipOptions(2, 0, 1, 0, 0, archiveName, TempDir);
        result = RunHere(opList);
    }
    archive::CheckUnzipResult(result, true, CurrentArchiveName, CurrentFileName, failure_);
}

int TQMZip::ListEntries(const std::string& archiveName, TArchiveItems& items, std::string* why) {
    DCL dcl;
    dcl.fQuiet = 2;
    dcl.nvflag = 1;
    dcl.nfflag = 1;
    dcl.fPrivilege = 1;
    dcl.lpszZipFN = archiveName;
    USERFUNCTIONS functions;
    functions.SendApplicationMessage = [&items](uint64_t size, uint64_t, unsigned, unsigned, unsigned, unsigned,
                                                unsigned, unsigned, char, const char* name, const char*,
                                                uint32_t crc, char) {
        items.push_back(TArchiveItem::FromEntry(name, static_cast<int64_t>(size), crc));
    };
    // What is on disk is listed, the old archive when its pending rewrite failed.
    TRewriteBatch::Settle(archiveName);
    const int result = Wiz_SingleEntryUnzip(0, nullptr, 0, nullptr, dcl, functions);
    const std::string failure = TakeZipFailure();
    if (why != nullptr) *why = failure;
    // Only a failure asks whether the archive is there at all (a plain stat: any
    // thread may be here).
    struct stat st;
    if (result != 0 && ::stat(archiveName.c_str(), &st) != 0 && errno == ENOENT) return archive::kUnzipArchiveMissing;
    return result;
}

void TQMZip::ExtractFile(const std::string& archiveName, const std::string& fileName,
                         const std::string& destDir, bool keepPath) {
    CheckIdle(archiveName, {});
    CurrentArchiveName = archiveName;
    failure_.clear();
    const std::string name = ToSlash(fileName);
    CurrentFileName = name;
    int result = archive::kUnzipArchiveMissing;
    if (ArchiveExists(archiveName)) {
        MakeDirs(StripTrailingSlash(destDir));
        UnzipOptions(1, 0, 0, keepPath ? 1 : 0, 1, archiveName, destDir);
        nameList_ = EscapeWildcards(name, false);
        result = RunHere(opNamed);
    }
    archive::CheckUnzipResult(result, true, CurrentArchiveName, CurrentFileName, failure_);
}

size_t TQMZip::ExtractEach(const std::string& archiveName, const std::vector<std::string>& fileNames,
                           const std::string& destDir, const std::function<void(size_t, const std::string&)>& each) {
    CheckIdle(archiveName, {});
    if (fileNames.empty() || !ArchiveExists(archiveName)) return 0;
    CurrentArchiveName = archiveName;
    failure_.clear();
    CurrentFileName.clear();
    const std::string dir = WithSlash(destDir);
    MakeDirs(StripTrailingSlash(dir));
    UnzipOptions(1, 0, 0, 0, 1, archiveName, dir);
    dcl_.fWorkFiles = 1;  // each file goes once handed over
    std::vector<std::string> patterns;
    patterns.reserve(fileNames.size());
    for (const std::string& name : fileNames) patterns.push_back(EscapeWildcards(ToSlash(name), false));
    std::vector<const char*> pointers;
    pointers.reserve(patterns.size());
    for (const std::string& pattern : patterns) pointers.push_back(pattern.c_str());

    size_t handed = 0;
    USERFUNCTIONS functions = userFunctions_;
    functions.ServCallBk = [&](const char* stored, uint64_t size) {
        EntryProcessed(stored, size);
        ProcessPendingMessages();
        if (OnPoll) OnPoll();
        // The library goes on past an entry it could not write or skipped: the pass
        // ends there, before the order is lost.
        if (handed >= fileNames.size() || ToSlash(fileNames[handed]) != stored) return 1;
        const std::string file = dir + ExtractFileNameAnySep(stored);
        TFileStat st;
        if (Fs().Stat(file, st) != 0 || !st.exists || st.isDir) return 1;
        TWorkFile remove(file);
        CurrentFileName = stored;
        each(handed, file);
        ++handed;
        return 0;
    };
    running_ = true;
    direct_ = true;
    const TFinally reset([this] {
        running_ = false;
        direct_ = false;
    });
    Wiz_SingleEntryUnzip(static_cast<int>(pointers.size()), pointers.data(), 0, nullptr, dcl_, functions);
    return handed;
}

void TQMZip::AddFile(const std::string& archiveName, const std::string& fileName) {
    CheckIdle(archiveName, {});
    CurrentArchiveName = archiveName;
    failure_.clear();
    CurrentFileName = fileName;
    if (Trim(archiveName).empty())
        throw archive::ENoFileSpecified("[1] No filename specified", CurrentArchiveName, CurrentFileName);
    if (Trim(fileName).empty())
        throw archive::ENoFileSpecified("[2] No filename specified", CurrentArchiveName, CurrentFileName);
    SetZipOptions(true, false, {});
    zcl_ = ZCL{1, archiveName, {EscapeWildcards(fileName, true)}};
    const int result = Run(opZip);
    archive::CheckZipResult(result, CurrentArchiveName, CurrentFileName, failure_);
}

void TQMZip::DeleteFile(const std::string& archiveName, const std::string& fileName) {
    CheckIdle(archiveName, {});
    if (Trim(archiveName).empty())
        throw archive::ENoFileSpecified("[DE1] No filename specified", archiveName, fileName);
    CurrentArchiveName = archiveName;
    failure_.clear();
    CurrentFileName = fileName;
    SetZipOptions(false, true, {});
    zcl_ = ZCL{1, archiveName, {EscapeZipName(ToSlash(fileName))}};
    const int result = Run(opZip);
    archive::CheckZipResult(result, CurrentArchiveName, CurrentFileName, failure_);
}

void TQMZip::CreateEmptyArchive(const std::string& archiveName) {
    CheckIdle(archiveName, {});
    std::error_code ec;
    const std::string full = std::filesystem::absolute(archiveName, ec).string();
    const std::string& target = ec ? archiveName : full;
    // An empty work file goes in and out again: what is left is the archive as it was,
    // or the empty archive when there was none.
    const std::string workFile = TempDir + "void.tmp";
    Fs().Unlink(workFile);
    if (const int err = Fs().WriteFileAtomic(workFile, ""); err != 0)
        throw archive::EZE_TEMP(SysErrorMessage(err), target, workFile);
    // A new archive that cannot be brought to its empty state goes again: left as it
    // is, it would hold the work file under a set's name.
    const bool existed = ArchiveExists(target);
    try {
        {
            TWorkFile removeAfterwards(workFile);
            AddFile(target, workFile);
        }
        DeleteFile(target, "void.tmp");
    } catch (...) {
        if (!existed) Fs().Unlink(target);
        throw;
    }
}

void TQMZip::ExtractAll(const std::string& archiveName, const std::string& destDir) {
    CheckIdle(archiveName, {});
    CurrentArchiveName = archiveName;
    failure_.clear();
    CurrentFileName.clear();
    int result = 0;
    TFileStat st;
    if (Fs().Stat(StripTrailingSlash(destDir), st) == 0 && st.exists) result = 101;
    if (!ArchiveExists(archiveName)) result = archive::kUnzipArchiveMissing;
    if (result == 0) {
        const std::string dir = StripTrailingSlash(destDir);
        MakeDirs(dir);
        UnzipOptions(1, 0, 0, 1, 1, archiveName, dir);
        result = Run(opExtractAll);
    }
    archive::CheckUnzipResult(result, true, CurrentArchiveName, CurrentFileName, failure_);
}

void TQMZip::AddDirectory(const std::string& dir, const std::string& archiveName) {
    CheckIdle(archiveName, {});
    const std::string folder = StripTrailingSlash(dir);
    CurrentArchiveName = archiveName;
    failure_.clear();
    CurrentFileName.clear();
    if (Trim(archiveName).empty())
        throw archive::ENoFileSpecified("[1] No filename specified", CurrentArchiveName, CurrentFileName);
    if (Trim(folder).empty())
        throw archive::ENoFileSpecified("[2] No filename specified", CurrentArchiveName, CurrentFileName);
    TFileStat st;
    if (Fs().Stat(folder, st) != 0 || !st.isDir)
        throw archive::EPathExist("[3] Path " + folder + " doesn't exist", CurrentArchiveName,
                                  CurrentFileName);
    if (ArchiveExists(archiveName))
        throw archive::EFileExist("[4] File " + archiveName + " already exist", CurrentArchiveName,
                                  CurrentFileName);
    InitZipCallbacks();
    // The folder is the library's root for the argument ".": the process's current
    // folder is never changed.
    SetZipOptions(false, false, folder);
    zcl_ = ZCL{1, archiveName, {"."}};
    const int result = Run(opZip);
    archive::CheckZipResult(result, CurrentArchiveName, CurrentFileName, failure_);
}

void TQMZip::TestArchive(const std::string& archiveName) {
    CheckIdle(archiveName, {});
    EntryTestMode = false;
    CurrentArchiveName = archiveName;
    failure_.clear();
    CurrentFileName.clear();
    if (OnMessage) OnMessage("File " + archiveName);
    int result = archive::kUnzipArchiveMissing;
    // One pass reads every entry; the entries that failed are kept with the library's
    // text about each, and reported only when the archive as a whole reads as "errors
    // in some entries".
    std::vector<std::pair<std::string, std::string>> failed;
    if (ArchiveExists(archiveName)) {
        UnzipOptions(1, 1, 0, 0, 0, archiveName, TempDir);
        failedEntries_ = OnError ? &failed : nullptr;
        const TFinally unset([this] { failedEntries_ = nullptr; });
        result = RunHere(opTest);
    } else if (OnMessage) {
        OnMessage("File not found");
    }
    archive::CheckUnzipResult(result, false, CurrentArchiveName, CurrentFileName, failure_);
    if (OnError) {
        switch (result) {
            case 2: {
                EntryTestMode = true;
                struct TOff {
                    bool& mode;
                    ~TOff() { mode = false; }
                } off{EntryTestMode};
                for (const auto& [name, text] : failed) {
                    CurrentFileName = name;
                    LogMessage(text);
                }
                break;
            }
            case 3: OnError(archiveName, "", _("Severes errors in zipfile")); break;
            case 9: OnError(archiveName, "", archive::WithCause(_("Probably not a zip"), failure_)); break;
            case 51: OnError(archiveName, "", _("Unexpected EOF")); break;
            default: break;
        }
    }
    if (OnMessage) OnMessage("\r\n");
}

void TQMZip::RenameFiles(const std::string& archiveName, const TRenameList& list, int) {
    CheckIdle(archiveName, {});
    CurrentArchiveName = archiveName;
    failure_.clear();
    CurrentFileName.clear();
    // The libraries cannot rename: the engine works on the archive's own structures.
    // It lets windows work while it copies, so it counts as a running operation: a
    // command started meanwhile must not touch the archive it is rewriting.
    running_ = true;
    struct TReset {
        bool& running;
        ~TReset() { running = false; }
    } reset{running_};
    RewriteZipNames(archiveName, list, 0);
}

void TQMZip::RecompressArchive(const std::string& archiveName) {
    CheckIdle(archiveName, {});
    CurrentArchiveName = archiveName;
    failure_.clear();
    CurrentFileName.clear();
    if (!ArchiveExists(archiveName))
        archive::CheckUnzipResult(archive::kUnzipArchiveMissing, true, CurrentArchiveName, CurrentFileName);
    ZPOPT options;
    options.fLevel = std::to_string(CompressionLevel)[0];
    if (ZpSetOptions(options) == 0)
        throw archive::EZE_CantSetZipOption("Error setting Zip Options", CurrentArchiveName,
                                            CurrentFileName);
    zcl_ = ZCL{1, archiveName, {}};
    const int result = Run(opRecompress);
    archive::CheckZipResult(result, CurrentArchiveName, CurrentFileName, failure_);
}

void TQMZip::CopyEntry(const std::string& srcArchive, const std::string& fileName,
                       const std::string& destArchive, const std::string& newName) {
    CheckIdle(srcArchive, fileName);
    CurrentArchiveName = srcArchive;
    failure_.clear();
    CurrentFileName = ToSlash(fileName);
    if (!ArchiveExists(srcArchive))
        archive::CheckUnzipResult(archive::kUnzipArchiveMissing, true, CurrentArchiveName, CurrentFileName);
    if (Trim(destArchive).empty())
        throw archive::ENoFileSpecified("[1] No filename specified", destArchive, newName);
    if (Trim(newName).empty())
        throw archive::ENoFileSpecified("[2] No filename specified", destArchive, newName);
    SetZipOptions(true, false, {});
    copySource_ = srcArchive;
    nameList_ = EscapeWildcards(CurrentFileName, false);
    zcl_ = ZCL{1, destArchive, {newName}};
    copyUnzipCode_ = 0;
    const int result = Run(opCopy);
    if (copyUnzipCode_ != 0)
        archive::CheckUnzipResult(copyUnzipCode_, true, CurrentArchiveName, CurrentFileName, failure_);
    CurrentArchiveName = destArchive;
    CurrentFileName = newName;
    archive::CheckZipResult(result, CurrentArchiveName, CurrentFileName, failure_);
}

void TQMZip::ApplyChanges(const std::string& archiveName, const TArchiveChanges& changes) {
    CheckIdle(archiveName, {});
    CurrentArchiveName = archiveName;
    failure_.clear();
    CurrentFileName.clear();
    if (Trim(archiveName).empty())
        throw archive::ENoFileSpecified("[1] No filename specified", CurrentArchiveName, CurrentFileName);
    SetZipOptions(true, false, {});
    zcl_ = ZCL{0, archiveName, {}};
    batch_.clear();
    for (const TArchiveChange& c : changes) {
        const std::string name = ToSlash(c.FileName);
        if (c.SrcArchive.empty()) batch_.push_back({{}, EscapeZipName(name), {}});
        else batch_.push_back({c.SrcArchive, EscapeWildcards(name, false), c.NewName});
    }
    copyUnzipCode_ = 0;
    batchFailed_ = -1;
    const TFinally release([this] { batch_.clear(); });
    // The sources are read as they are now: a pending rewrite of one goes in place first.
    const std::string* settled = nullptr;
    for (const TArchiveChange& c : changes) {
        if (settled != nullptr && *settled == c.SrcArchive) continue;
        SettlePending(c.SrcArchive);
        settled = &c.SrcArchive;
    }
    const int result = Run(opBatch);
    const TArchiveChange* atFault = batchFailed_ >= 0 ? &changes[static_cast<size_t>(batchFailed_)] : nullptr;
    if (copyUnzipCode_ != 0 && atFault != nullptr)
        archive::CheckUnzipResult(copyUnzipCode_, true, atFault->SrcArchive, ToSlash(atFault->FileName), failure_);
    if (atFault != nullptr) CurrentFileName = atFault->SrcArchive.empty() ? ToSlash(atFault->FileName) : atFault->NewName;
    archive::CheckZipResult(result, CurrentArchiveName, CurrentFileName, failure_);
}

TQMZip& ZipObject() {
    static TQMZip zip;
    return zip;
}

}  // namespace qm
