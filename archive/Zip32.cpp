#include "archive/Zip32.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cerrno>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>

#include "archive/UnZip32.h"
#include "archive/ZipFailure.h"
#include "archive/stringsTools.h"
#include "platform/FileSystem.h"
#include "platform/RewriteBatch.h"
#include "platform/Text.h"

namespace qm {

namespace {

constexpr int kOk = 0;
constexpr int kForm = 3;
constexpr int kMemory = 4;
constexpr int kLogic = 5;
constexpr int kAbort = 9;
constexpr int kTemp = 10;
constexpr int kRead = 11;
constexpr int kNone = 12;
constexpr int kWrite = 14;
constexpr int kCreate = 15;
constexpr int kParms = 16;
constexpr int kOpen = 18;

std::mutex g_mutex;
ZIPUSERFUNCTIONS g_functions;
ZPOPT g_options;

// The archive file as libzip sees it. Reading goes to the archive itself; writing goes
// to a temporary file beside it that is flushed to disk and only then renamed over the
// archive, so a crash or a failed write never leaves a half-written archive. The
// removal libzip asks for when the last entry is gone writes the 22-byte empty archive
// instead, as Info-ZIP zip leaves it.
class TArchiveFileSource {
public:
    static zip_source_t* Create(const std::string& path, zip_error_t* error) {
        auto* state = new TArchiveFileSource(path);
        zip_source_t* src = zip_source_function_create(&Callback, state, error);
        if (!src) delete state;
        return src;
    }

private:
    // Through a symbolic link the file it points to is written, so that the link stays.
    explicit TArchiveFileSource(const std::string& path) : path_(FileBehindLinks(path)), alias_(path) {
        zip_error_init(&error_);
    }
    ~TArchiveFileSource() {
        if (in_) std::fclose(in_);
        DropTemp();
        zip_error_fini(&error_);
    }

    void DropTemp() {
        if (out_) std::fclose(out_);
        out_ = nullptr;
        if (!temp_.empty()) ::unlink(temp_.c_str());
        temp_.clear();
    }

    zip_int64_t Fail(int zipError, int sysError) {
        zip_error_set(&error_, zipError, sysError);
        return -1;
    }

    static zip_int64_t Callback(void* state, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
        return static_cast<TArchiveFileSource*>(state)->Handle(data, len, cmd);
    }

    zip_int64_t Handle(void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
        switch (cmd) {
            case ZIP_SOURCE_SUPPORTS:
                return ZIP_SOURCE_SUPPORTS_WRITABLE |
                       ZIP_SOURCE_MAKE_COMMAND_BITMASK(ZIP_SOURCE_ACCEPT_EMPTY);
            case ZIP_SOURCE_ACCEPT_EMPTY:
                return 0;  // a 0-byte file is not an archive (Info-ZIP zip says so too)
            case ZIP_SOURCE_OPEN: {
                if (const int err = OpenFile(path_, O_RDONLY, "rb", in_); err != 0) return Fail(ZIP_ER_OPEN, err);
                // What the rewrite is made from: a batch puts it only over this file.
                struct stat sys;
                if (!source_.exists && ::fstat(fileno(in_), &sys) == 0) source_ = TRewriteBatch::TSource::Of(sys);
                return 0;
            }
            case ZIP_SOURCE_READ: {
                const size_t n = std::fread(data, 1, static_cast<size_t>(len), in_);
                if (n < len && std::ferror(in_)) return Fail(ZIP_ER_READ, errno);
                return static_cast<zip_int64_t>(n);
            }
            case ZIP_SOURCE_CLOSE:
                if (in_) std::fclose(in_);
                in_ = nullptr;
                return 0;
            case ZIP_SOURCE_SEEK:
                return Seek(in_, data, len, ZIP_ER_SEEK);
            case ZIP_SOURCE_TELL: {
                const off_t pos = ::ftello(in_);
                return pos < 0 ? Fail(ZIP_ER_TELL, errno) : pos;
            }
            case ZIP_SOURCE_STAT: {
                auto* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, len, &error_);
                if (!st) return -1;
                struct stat sys;
                // libzip takes "read error, no such file" as "the archive is new".
                if (::stat(path_.c_str(), &sys) != 0) return Fail(ZIP_ER_READ, errno);
                zip_stat_init(st);
                st->size = static_cast<zip_uint64_t>(sys.st_size);
                st->mtime = sys.st_mtime;
                st->valid |= ZIP_STAT_SIZE | ZIP_STAT_MTIME;
                return sizeof(zip_stat_t);
            }
            case ZIP_SOURCE_ERROR:
                return zip_error_to_data(&error_, data, len);
            case ZIP_SOURCE_FREE:
                delete this;
                return 0;
            case ZIP_SOURCE_BEGIN_WRITE: {
                // The rewritten archive keeps the mode of the one it replaces.
                struct stat sys;
                const unsigned mode = ::stat(path_.c_str(), &sys) == 0 ? (sys.st_mode & 07777) : 0644;
                if (const int err = CreateTempBeside(path_, temp_, mode); err != 0)
                    return Fail(ZIP_ER_TMPOPEN, err);
                if (const int err = OpenFile(temp_, O_RDWR, "r+b", out_); err != 0) {
                    DropTemp();
                    return Fail(ZIP_ER_TMPOPEN, err);
                }
                return 0;
            }
            case ZIP_SOURCE_WRITE: {
                const size_t n = std::fwrite(data, 1, static_cast<size_t>(len), out_);
                if (n < len) return Fail(ZIP_ER_WRITE, errno);
                return static_cast<zip_int64_t>(n);
            }
            // A seek flushes what the stream holds: its failure is a failed write (a
            // full disk), not a read.
            case ZIP_SOURCE_SEEK_WRITE:
                return Seek(out_, data, len, ZIP_ER_WRITE);
            case ZIP_SOURCE_TELL_WRITE: {
                const off_t pos = ::ftello(out_);
                return pos < 0 ? Fail(ZIP_ER_WRITE, errno) : pos;
            }
            case ZIP_SOURCE_COMMIT_WRITE: {
                // In a batch the flush and the rename are the batch's, with its others.
                TRewriteBatch* batch = TRewriteBatch::Current();
                int err = 0;
                if (std::fflush(out_) != 0 || (!batch && SyncFd(fileno(out_)) != 0)) err = errno;
                if (std::fclose(out_) != 0 && err == 0) err = errno;
                out_ = nullptr;
                if (err != 0) {
                    DropTemp();
                    return Fail(ZIP_ER_WRITE, err);
                }
                if (batch) {
                    // Refused (an earlier rewrite of the batch failed): the old archive stays.
                    err = batch->Defer(temp_, path_, alias_, source_.exists ? &source_ : nullptr);
                    temp_.clear();
                    if (err == 0) return 0;
                    SetZipFailure(alias_, Fmt(_("not written after the failure of %1: %2"),
                                              {batch->FirstFailure(), SysErrorMessage(err)}));
                    return Fail(ZIP_ER_RENAME, err);
                }
                if ((err = Fs().ReplaceWith(temp_, path_)) != 0) {
                    DropTemp();
                    return Fail(ZIP_ER_RENAME, err);
                }
                temp_.clear();
                return 0;
            }
            case ZIP_SOURCE_ROLLBACK_WRITE:
                DropTemp();
                return 0;
            case ZIP_SOURCE_REMOVE: {
                // End-of-central-directory record alone: signature, then 18 zero bytes.
                static const std::string kEmptyArchive("PK\x05\x06" + std::string(18, '\0'));
                if (in_) std::fclose(in_);
                in_ = nullptr;
                if (const int err = Fs().WriteFileAtomic(path_, kEmptyArchive); err != 0)
                    return Fail(ZIP_ER_REMOVE, err);
                return 0;
            }
            default:
                return Fail(ZIP_ER_OPNOTSUPP, 0);
        }
    }

    // The file opened through the file-system seam as a stream: 0 or the errno.
    static int OpenFile(const std::string& path, int flags, const char* mode, FILE*& file) {
        int fd = -1;
        if (const int err = Fs().Open(path, flags, 0, fd); err != 0) return err;
        file = ::fdopen(fd, mode);
        if (file != nullptr) return 0;
        const int err = errno;
        ::close(fd);
        return err;
    }

    zip_int64_t Seek(FILE* file, void* data, zip_uint64_t len, int zipError) {
        auto* args = ZIP_SOURCE_GET_ARGS(zip_source_args_seek_t, data, len, &error_);
        if (!args) return -1;
        if (::fseeko(file, static_cast<off_t>(args->offset), args->whence) != 0)
            return Fail(zipError, errno);
        return 0;
    }

    std::string path_;
    std::string alias_;  // the name the archive was opened by
    std::string temp_;
    TRewriteBatch::TSource source_;  // the archive as it was first read
    FILE* in_ = nullptr;
    FILE* out_ = nullptr;
    zip_error_t error_;
};


// The entries of the archive being written, by name, kept up to date while a batch
// changes it: each lookup of a batch then costs the same whatever the archive's size.
// Every list holds its entries in archive order, so its front is the first of a name.
class TNameIndex {
public:
    explicit TNameIndex(zip_t* za) {
        const zip_int64_t count = zip_get_num_entries(za, 0);
        for (zip_int64_t i = 0; i < count; ++i)
            if (const char* raw = zip_get_name(za, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW))
                Add(raw, static_cast<zip_uint64_t>(i));
    }

    void Add(const std::string& raw, zip_uint64_t index) {
        raw_[raw].push_back(index);
        slashed_[ToSlash(raw)].push_back(index);
    }
    void Remove(const std::string& raw, zip_uint64_t index) {
        Erase(raw_, raw, index);
        Erase(slashed_, ToSlash(raw), index);
    }
    // The first entry stored under these bytes, or -1.
    zip_int64_t FirstRaw(const std::string& raw) const { return First(raw_, raw); }
    // The first entry whose name, "\\" read as "/", is this one, or -1.
    zip_int64_t FirstSlashed(const std::string& name) const { return First(slashed_, name); }

private:
    using TMap = std::unordered_map<std::string, std::vector<zip_uint64_t>>;
    static zip_int64_t First(const TMap& map, const std::string& key) {
        const auto it = map.find(key);
        return it == map.end() || it->second.empty() ? -1 : static_cast<zip_int64_t>(it->second.front());
    }
    static void Erase(TMap& map, const std::string& key, zip_uint64_t index) {
        const auto it = map.find(key);
        if (it == map.end()) return;
        std::erase(it->second, index);
    }

    TMap raw_;
    TMap slashed_;
};

// The archive an entry is copied from, read-only. The entry is found as unzip finds a
// name to extract: exact letter case first, then any.
class TSourceArchive {
public:
    TSourceArchive() = default;
    ~TSourceArchive() {
        if (za_) zip_discard(za_);
    }
    TSourceArchive(const TSourceArchive&) = delete;
    TSourceArchive& operator=(const TSourceArchive&) = delete;

    // 0, or the unzip code of an archive that cannot be read.
    int Open(const std::string& path) {
        int error = 0;
        path_ = path;
        za_ = OpenForReading(path, ZIP_RDONLY, error, nullptr);
        if (za_) return 0;
        switch (error) {
            case ZIP_ER_MEMORY: return 4;
            case ZIP_ER_INCONS: return 3;
            default: return 9;
        }
    }

    zip_t* Get() const { return za_; }

    // The entry the pattern names, or -1.
    zip_int64_t Find(const std::string& pattern) {
        if (names_.empty()) {
            const zip_int64_t count = zip_get_num_entries(za_, 0);
            names_.reserve(static_cast<size_t>(count));
            for (zip_int64_t i = 0; i < count; ++i) {
                const char* raw = zip_get_name(za_, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
                names_.push_back(ToSlash(raw ? raw : ""));
            }
        }
        std::string literal;
        if (WildLiteral(pattern, literal)) {
            if (exact_.empty())
                for (size_t i = 0; i < names_.size(); ++i) {
                    exact_.emplace(names_[i], i);
                    folded_.emplace(LowerCase(names_[i]), i);
                }
            if (const auto it = exact_.find(literal); it != exact_.end()) return static_cast<zip_int64_t>(it->second);
            if (const auto it = folded_.find(LowerCase(literal)); it != folded_.end())
                return static_cast<zip_int64_t>(it->second);
            return -1;
        }
        for (int pass = 0; pass < 2; ++pass)
            for (size_t i = 0; i < names_.size(); ++i)
                if (WildMatch(pattern, names_[i], pass == 1)) return static_cast<zip_int64_t>(i);
        return -1;
    }

    // The bytes of a copy go across unread by the target: they are read here, their
    // CRC checked, as an extraction would. 0, or the unzip code with libzip's text.
    int Check(zip_uint64_t index, std::string& text) {
        zip_file_t* zf = zip_fopen_index(za_, index, 0);
        if (!zf) {
            NoteZipError(path_, names_[index], zip_get_error(za_));
            return 2;
        }
        static thread_local char buffer[1 << 16];
        zip_int64_t n;
        while ((n = zip_fread(zf, buffer, sizeof buffer)) > 0) {
        }
        int code = 0;
        if (n < 0) {
            const int error = zip_error_code_zip(zip_file_get_error(zf));
            text = zip_file_strerror(zf);
            NoteZipError(path_, names_[index], zip_file_get_error(zf));
            code = error == ZIP_ER_EOF || error == ZIP_ER_READ ? 51 : error == ZIP_ER_MEMORY ? 4 : 2;
        }
        zip_fclose(zf);
        return code;
    }

private:
    std::string path_;
    zip_t* za_ = nullptr;
    std::vector<std::string> names_;  // "\\" read as "/"
    std::unordered_map<std::string, size_t> exact_;   // first entry of each name
    std::unordered_map<std::string, size_t> folded_;  // the same, names lower-cased
};

// Discards the archive being written when the scope is left before it was closed; it
// must go before the sources its pending entries read from.
struct TDiscardTarget {
    zip_t*& za;
    ~TDiscardTarget() {
        if (za) zip_discard(za);
        za = nullptr;
    }
};

class TZipRun {
public:
    TZipRun(const ZPOPT& options, const ZIPUSERFUNCTIONS& functions)
        : options_(options), functions_(functions) {}
    ~TZipRun() {
        if (za_) zip_discard(za_);
    }

    int Add(const ZCL& command);
    int Delete(const ZCL& command);
    int Recompress(const ZCL& command);
    int CopyEntry(const std::string& srcZip, const std::string& srcEntry, const ZCL& command,
                  int& unzipCode);
    int Apply(const std::string& zipFN, const std::vector<ZCHANGE>& changes, int& unzipCode, int& failed);

private:
    struct TSource {
        std::string path;
        std::string entryName;
        bool isFolder = false;
    };

    void Print(const std::string& text) {
        if (functions_.print) functions_.print(text.c_str(), static_cast<unsigned long>(text.size()));
    }
    int Open(const std::string& archive, bool create);
    int Close();
    int Collect(const std::string& argument, std::vector<TSource>& out);
    void Walk(const std::string& folder, const std::string& prefix, std::vector<TSource>& out);
    void SetCompression(zip_uint64_t index);
    // Index of the entry whose stored name is these bytes, or -1.
    zip_int64_t FindRaw(const std::string& name);
    // Index of the entry written, or -1.
    zip_int64_t AddOrReplace(const std::string& name, zip_source_t* src);
    // The entry of source that the pattern names, its data read and checked; -1 with
    // the unzip code of the failure in unzipCode when it cannot be copied.
    zip_int64_t SourceEntry(TSourceArchive& source, const std::string& srcEntry, int& unzipCode);
    // Adds that entry under name; its compressed bytes go across where the level allows.
    int Take(TSourceArchive& source, zip_uint64_t index, const std::string& name);
    // Deletes what one pattern names (a plain name: the first entry of it); 12 when
    // it names nothing.
    int DeleteMatching(const std::string& pattern);
    bool Stop(const std::string& name, uint64_t size) {
        return functions_.ServiceApplication && functions_.ServiceApplication(name.c_str(), size) != 0;
    }

    // The code of the archive's last libzip error, its cause noted.
    int Failed();

    const ZPOPT options_;
    const ZIPUSERFUNCTIONS functions_;
    std::string archive_;  // the archive being written
    zip_t* za_ = nullptr;
    TNameIndex* names_ = nullptr;  // while a batch runs
};

int OpenErrorCode(int zipError) {
    switch (zipError) {
        case ZIP_ER_MEMORY: return kMemory;
        case ZIP_ER_OPEN: return kOpen;
        case ZIP_ER_READ:
        case ZIP_ER_SEEK: return kRead;
        default: return kForm;
    }
}

int CloseErrorCode(int zipError) {
    switch (zipError) {
        case ZIP_ER_TMPOPEN: return kTemp;
        case ZIP_ER_WRITE:
        case ZIP_ER_CLOSE:
        case ZIP_ER_REMOVE: return kWrite;
        case ZIP_ER_RENAME:
        case ZIP_ER_RDONLY: return kCreate;
        case ZIP_ER_READ:
        case ZIP_ER_OPEN:
        case ZIP_ER_NOENT:
        case ZIP_ER_SEEK:
        case ZIP_ER_EOF: return kRead;
        case ZIP_ER_MEMORY: return kMemory;
        case ZIP_ER_CANCELLED: return kAbort;
        case ZIP_ER_CRC:
        case ZIP_ER_ZLIB:
        case ZIP_ER_COMPRESSED_DATA:
        case ZIP_ER_INCONS:
        case ZIP_ER_COMPNOTSUPP:
        case ZIP_ER_ENCRNOTSUPP: return kForm;
        default: return kLogic;
    }
}

int TZipRun::Failed() {
    NoteZipError(archive_, {}, zip_get_error(za_));
    return CloseErrorCode(zip_error_code_zip(zip_get_error(za_)));
}

int TZipRun::Open(const std::string& archive, bool create) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* src = TArchiveFileSource::Create(archive, &error);
    if (src) {
        za_ = zip_open_from_source(src, create ? ZIP_CREATE : 0, &error);
        if (!za_) zip_source_free(src);
    }
    int code = kOk;
    archive_ = archive;
    if (!za_) {
        NoteZipError(archive, {}, &error);
        Print("zip error: " + archive + ": " + zip_error_strerror(&error) + "\n");
        code = OpenErrorCode(zip_error_code_zip(&error));
    }
    zip_error_fini(&error);
    return code;
}

int TZipRun::Close() {
    if (zip_close(za_) == 0) {
        za_ = nullptr;
        return kOk;
    }
    const int code = Failed();
    Print(std::string("zip error: ") + zip_strerror(za_) + "\n");
    return code;  // the destructor discards: the rollback removed the temporary file
}

zip_int64_t TZipRun::FindRaw(const std::string& name) {
    if (names_) return names_->FirstRaw(name);
    const zip_int64_t count = zip_get_num_entries(za_, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* stored = zip_get_name(za_, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
        if (stored && name == stored) return i;
    }
    return -1;
}

zip_int64_t TZipRun::AddOrReplace(const std::string& name, zip_source_t* src) {
    // The entry of that name is found by its stored bytes. libzip's own lookup compares
    // names turned into UTF-8 (a name stored without the UTF-8 flag is read as CP437),
    // even when asked for raw names: it would miss the entry and add a second one of
    // the same name, or find another entry and refuse.
    const zip_int64_t existing = FindRaw(name);
    if (existing >= 0) {
        if (zip_file_replace(za_, static_cast<zip_uint64_t>(existing), src, 0) != 0) return -1;
        return existing;
    }
    const zip_int64_t added = zip_file_add(za_, name.c_str(), src, ZIP_FL_ENC_GUESS);
    if (added >= 0 && names_) names_->Add(name, static_cast<zip_uint64_t>(added));
    return added;
}

void TZipRun::SetCompression(zip_uint64_t index) {
    const int level = options_.fLevel - '0';
    if (level == 0) zip_set_file_compression(za_, index, ZIP_CM_STORE, 0);
    else zip_set_file_compression(za_, index, ZIP_CM_DEFLATE, static_cast<zip_uint32_t>(level));
}

void TZipRun::Walk(const std::string& folder, const std::string& prefix, std::vector<TSource>& out) {
    std::vector<TDirEntry> entries;
    if (Fs().ListDir(folder, entries) != 0) return;
    for (const TDirEntry& e : entries) {
        const std::string path = folder + "/" + e.name;
        const std::string name = options_.fJunkDir ? e.name : prefix + e.name;
        if (e.isDir) {
            if (!options_.fNoDirEntries && !options_.fJunkDir) out.push_back({path, name + "/", true});
            Walk(path, name + "/", out);
        } else {
            out.push_back({path, name, false});
        }
    }
}

// The sources one argument names; 18 when it names nothing.
int TZipRun::Collect(const std::string& argument, std::vector<TSource>& out) {
    std::string folderPart;
    std::string namePattern = argument;
    if (const auto slash = argument.rfind('/'); slash != std::string::npos) {
        folderPart = argument.substr(0, slash + 1);
        namePattern = argument.substr(slash + 1);
    }
    std::string literalFolder;
    if (!WildLiteral(folderPart, literalFolder)) literalFolder = folderPart;
    std::string base = literalFolder;
    if (!options_.szRootDir.empty() && (base.empty() || base[0] != '/')) {
        base = options_.szRootDir + (options_.szRootDir.back() == '/' ? "" : "/") + base;
    }

    std::vector<std::string> names;
    std::string literalName;
    if (WildLiteral(namePattern, literalName)) {
        names.push_back(literalName);
    } else {
        std::vector<TDirEntry> entries;
        Fs().ListDir(base.empty() ? "." : base, entries);
        for (const TDirEntry& e : entries)
            if (WildMatch(namePattern, e.name, false)) names.push_back(e.name);
    }

    bool found = false;
    for (const std::string& name : names) {
        std::string path = base + name;
        TFileStat st;
        if (Fs().Stat(path.empty() ? "." : path, st) != 0 || !st.exists) continue;
        // The entry name is the argument's own relative path, without "./" or "/".
        std::string entry = literalFolder + name;
        while (entry.rfind("./", 0) == 0) entry.erase(0, 2);
        while (!entry.empty() && entry[0] == '/') entry.erase(0, 1);
        if (entry == ".") entry.clear();
        if (st.isDir) {
            if (!options_.fRecurse) continue;
            while (!path.empty() && path.size() > 1 && path.back() == '/') path.pop_back();
            const std::string prefix = entry.empty() || options_.fJunkDir ? "" : entry + "/";
            if (!prefix.empty() && !options_.fNoDirEntries) out.push_back({path, prefix, true});
            Walk(path.empty() ? "." : path, prefix, out);
        } else {
            if (options_.fJunkDir) {
                if (const auto slash = entry.rfind('/'); slash != std::string::npos) entry.erase(0, slash + 1);
            }
            out.push_back({path, entry, false});
        }
        found = true;
    }
    if (!found) {
        Print("zip warning: name not matched: " + argument + "\n");
        return kOpen;
    }
    return kOk;
}

int TZipRun::Add(const ZCL& command) {
    std::vector<TSource> sources;
    for (int k = 0; k < command.argc; ++k)
        if (const int code = Collect(command.FNV[static_cast<size_t>(k)], sources); code != kOk) return code;
    if (sources.empty()) {
        Print("zip error: Nothing to do! (" + command.lpszZipFN + ")\n");
        return kNone;
    }
    if (const int code = Open(command.lpszZipFN, true); code != kOk) return code;
    for (const TSource& s : sources) {
        if (s.entryName.empty()) continue;
        if (s.isFolder) {
            if (FindRaw(s.entryName) >= 0) continue;
            if (zip_dir_add(za_, s.entryName.c_str(), ZIP_FL_ENC_GUESS) < 0) return Failed();
            if (options_.fVerbose || !options_.fQuiet) Print("  adding: " + s.entryName + "\n");
            continue;
        }
        zip_source_t* src = zip_source_file(za_, s.path.c_str(), 0, -1);
        if (!src) return kRead;
        const zip_int64_t index =
            AddOrReplace(s.entryName, src);
        if (index < 0) {
            zip_source_free(src);
            Print(std::string("zip error: ") + zip_strerror(za_) + "\n");
            return Failed();
        }
        SetCompression(static_cast<zip_uint64_t>(index));
        if (options_.fVerbose || !options_.fQuiet) Print("  adding: " + s.entryName + "\n");
        TFileStat st;
        Fs().Stat(s.path, st);
        if (Stop(s.entryName, static_cast<uint64_t>(st.size < 0 ? 0 : st.size))) return kAbort;
    }
    return Close();
}

int TZipRun::Delete(const ZCL& command) {
    TFileStat st;
    Fs().Stat(command.lpszZipFN, st);
    if (!st.exists || st.size == 0) {
        Print("zip warning: " + command.lpszZipFN + " not found or empty\n");
        Print("zip error: Nothing to do! (" + command.lpszZipFN + ")\n");
        return kNone;
    }
    if (const int code = Open(command.lpszZipFN, false); code != kOk) return code;
    const zip_int64_t count = zip_get_num_entries(za_, 0);
    std::vector<std::string> names;
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* raw = zip_get_name(za_, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
        names.push_back(ToSlash(raw ? raw : ""));
    }
    int deleted = 0;
    for (int k = 0; k < command.argc; ++k) {
        const std::string& pattern = command.FNV[static_cast<size_t>(k)];
        // A name without wildcards stands for one entry: of two entries of that name
        // (an appended archive) only the first goes, never its twin with it.
        std::string literal;
        const bool single = WildLiteral(pattern, literal);
        bool matched = false;
        for (size_t i = 0; i < names.size(); ++i) {
            if (!WildMatch(pattern, names[i], false)) continue;
            if (single && matched) break;
            matched = true;
            if (zip_delete(za_, i) == 0) {
                ++deleted;
                Print("deleting: " + names[i] + "\n");
            }
        }
        if (!matched) Print("zip warning: name not matched: " + pattern + "\n");
    }
    if (deleted == 0) {
        Print("zip error: Nothing to do! (" + command.lpszZipFN + ")\n");
        return kNone;
    }
    return Close();
}

int TZipRun::Recompress(const ZCL& command) {
    if (const int code = Open(command.lpszZipFN, false); code != kOk) return code;
    const zip_int64_t count = zip_get_num_entries(za_, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        zip_stat_t st;
        if (zip_stat_index(za_, index, 0, &st) != 0) return kForm;
        const std::string name = st.name ? st.name : "";
        if (!name.empty() && name.back() == '/') continue;
        // Without its password an entry cannot be read to be written anew.
        if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE) {
            SetZipFailure(archive_, Fmt(_("entry %1 is encrypted"), {name}));
            Print("zip error: " + name + ": encrypted\n");
            return kLogic;
        }
        // The entry reads itself decompressed (its CRC checked), so libzip writes it
        // anew at the wanted level.
        zip_source_t* src = zip_source_zip(za_, za_, index, 0, 0, -1);
        if (!src) return Failed();
        if (zip_file_replace(za_, index, src, 0) != 0) {
            zip_source_free(src);
            return Failed();
        }
        zip_file_set_mtime(za_, index, st.mtime, 0);
        SetCompression(index);
    }
    return Close();
}

zip_int64_t TZipRun::SourceEntry(TSourceArchive& source, const std::string& srcEntry, int& unzipCode) {
    const zip_int64_t found = source.Find(srcEntry);
    if (found < 0) {
        Print("caution: filename not matched:  " + srcEntry + "\n");
        unzipCode = 11;
        return -1;
    }
    std::string text;
    if ((unzipCode = source.Check(static_cast<zip_uint64_t>(found), text)) != 0) {
        if (!text.empty()) Print("error:  " + srcEntry + ": " + text + "\n");
        return -1;
    }
    return found;
}

int TZipRun::Take(TSourceArchive& source, zip_uint64_t index, const std::string& name) {
    zip_source_t* data = zip_source_zip(za_, source.Get(), index, ZIP_FL_COMPRESSED, 0, -1);
    if (!data) return Failed();
    const zip_int64_t added = AddOrReplace(name, data);
    if (added < 0) {
        zip_source_free(data);
        return Failed();
    }
    SetCompression(static_cast<zip_uint64_t>(added));
    if (options_.fVerbose || !options_.fQuiet) Print("  adding: " + name + "\n");
    return kOk;
}

int TZipRun::CopyEntry(const std::string& srcZip, const std::string& srcEntry, const ZCL& command,
                       int& unzipCode) {
    unzipCode = 0;
    TSourceArchive source;
    if ((unzipCode = source.Open(srcZip)) != 0) return kOk;
    // The source is read before the target is opened: a missing or damaged entry
    // leaves the target untouched, not even created.
    const zip_int64_t index = SourceEntry(source, srcEntry, unzipCode);
    if (index < 0) return kOk;
    const TDiscardTarget discard{za_};
    if (const int code = Open(command.lpszZipFN, true); code != kOk) return code;
    if (const int code = Take(source, static_cast<zip_uint64_t>(index), command.FNV[0]); code != kOk) return code;
    return Close();
}

int TZipRun::DeleteMatching(const std::string& pattern) {
    std::vector<zip_uint64_t> doomed;
    std::string literal;
    if (WildLiteral(pattern, literal)) {
        if (const zip_int64_t first = names_->FirstSlashed(literal); first >= 0)
            doomed.push_back(static_cast<zip_uint64_t>(first));
    } else {
        const zip_int64_t count = zip_get_num_entries(za_, 0);
        for (zip_int64_t i = 0; i < count; ++i) {
            const char* raw = zip_get_name(za_, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
            if (raw && WildMatch(pattern, ToSlash(raw), false)) doomed.push_back(static_cast<zip_uint64_t>(i));
        }
    }
    if (doomed.empty()) {
        Print("zip warning: name not matched: " + pattern + "\n");
        return kNone;
    }
    for (const zip_uint64_t index : doomed) {
        const std::string raw = zip_get_name(za_, index, ZIP_FL_ENC_RAW);
        if (zip_delete(za_, index) != 0) return Failed();
        names_->Remove(raw, index);
        Print("deleting: " + ToSlash(raw) + "\n");
    }
    return kOk;
}

int TZipRun::Apply(const std::string& zipFN, const std::vector<ZCHANGE>& changes, int& unzipCode, int& failed) {
    unzipCode = 0;
    failed = -1;
    // Declared before the target's guard: the target goes first.
    std::map<std::string, std::unique_ptr<TSourceArchive>> sources;
    const TDiscardTarget discard{za_};
    if (const int code = Open(zipFN, true); code != kOk) return code;
    TNameIndex names(za_);
    names_ = &names;
    struct TUnset {
        TNameIndex*& names;
        ~TUnset() { names = nullptr; }
    } unset{names_};
    for (size_t k = 0; k < changes.size(); ++k) {
        const ZCHANGE& change = changes[k];
        failed = static_cast<int>(k);
        int code = kOk;
        if (change.srcZip.empty()) {
            code = DeleteMatching(change.srcEntry);
        } else {
            std::unique_ptr<TSourceArchive>& source = sources[change.srcZip];
            if (!source) {
                source = std::make_unique<TSourceArchive>();
                if ((unzipCode = source->Open(change.srcZip)) != 0) return kOk;
            }
            const zip_int64_t index = SourceEntry(*source, change.srcEntry, unzipCode);
            if (index < 0) return kOk;
            code = Take(*source, static_cast<zip_uint64_t>(index), change.name);
        }
        if (code != kOk || unzipCode != 0) return code;
    }
    failed = -1;
    return Close();
}

template <class F>
int Guarded(F&& f) {
    try {
        return f();
    } catch (const std::bad_alloc&) {
        return kMemory;
    }
}

// One run over a snapshot of the settings, so that a change of them while it works
// reaches only the next run.
template <typename F>
int RunWithSettings(F&& f) {
    ZPOPT options;
    ZIPUSERFUNCTIONS functions;
    ClearZipFailure();
    {
        std::lock_guard lock(g_mutex);
        options = g_options;
        functions = g_functions;
    }
    return Guarded([&] {
        TZipRun run(options, functions);
        return f(run, options);
    });
}

}  // namespace

int ZpInit(const ZIPUSERFUNCTIONS& functions) {
    std::lock_guard lock(g_mutex);
    g_functions = functions;
    return 1;
}

int ZpSetOptions(const ZPOPT& options) {
    if (options.fLevel < '0' || options.fLevel > '9') return 0;
    std::lock_guard lock(g_mutex);
    g_options = options;
    return 1;
}

int ZpArchive(const ZCL& command) {
    if (command.lpszZipFN.empty() || command.argc < 1 ||
        static_cast<size_t>(command.argc) > command.FNV.size())
        return kParms;
    return RunWithSettings([&](TZipRun& run, const ZPOPT& options) {
        return options.fDeleteEntries ? run.Delete(command) : run.Add(command);
    });
}

int ZpRecompress(const ZCL& command) {
    if (command.lpszZipFN.empty()) return kParms;
    return RunWithSettings([&](TZipRun& run, const ZPOPT&) {
        return run.Recompress(command);
    });
}

int ZpCopyEntry(const std::string& srcZip, const std::string& srcEntry, const ZCL& command,
                int& unzipCode) {
    unzipCode = 0;
    if (srcZip.empty() || command.lpszZipFN.empty() || command.FNV.empty() || command.FNV[0].empty())
        return kParms;
    return RunWithSettings([&](TZipRun& run, const ZPOPT&) {
        return run.CopyEntry(srcZip, srcEntry, command, unzipCode);
    });
}

int ZpApplyChanges(const std::string& zipFN, const std::vector<ZCHANGE>& changes, int& unzipCode,
                   int& failed) {
    unzipCode = 0;
    failed = -1;
    if (zipFN.empty()) return kParms;
    for (const ZCHANGE& change : changes)
        if (change.srcEntry.empty() || (!change.srcZip.empty() && change.name.empty())) return kParms;
    return RunWithSettings([&](TZipRun& run, const ZPOPT&) {
        return run.Apply(zipFN, changes, unzipCode, failed);
    });
}

}  // namespace qm
