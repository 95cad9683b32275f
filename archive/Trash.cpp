#include "archive/Trash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <map>
#include <mutex>

#include "archive/DiskInfo.h"
#include "archive/FilesTools.h"
#include "archive/stringsTools.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace qm {

namespace {

std::string ParentOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The device of the nearest existing folder of path.
bool DeviceOf(std::string path, dev_t& device) {
    struct stat st;
    for (;;) {
        if (::stat(path.c_str(), &st) == 0) {
            device = st.st_dev;
            return true;
        }
        if (path == "/" || path == ".") return false;
        path = ParentOf(path);
    }
}

// The top folder of the volume of path: its last ancestor on the same device.
std::string VolumeTop(const std::string& path, dev_t device) {
    std::string top = ParentOf(path);
    for (;;) {
        if (top == "/") break;
        const std::string up = ParentOf(top);
        struct stat upSt;
        if (::stat(up.c_str(), &upSt) != 0 || upSt.st_dev != device) break;
        top = up;
    }
    return top;
}

// Creates a trash folder that only its owner may enter; an existing one must be a real
// folder (not a link) so that nobody can redirect deleted files elsewhere.
int MakePrivateFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return errno;
    if (!S_ISDIR(st.st_mode)) return ENOTDIR;
    return 0;
}

int MakePrivateFolders(const std::string& path) {
    if (path.empty() || path == "/") return 0;
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    if (int err = MakePrivateFolders(ParentOf(path))) return err;
    return MakePrivateFolder(path);
}

std::string DeletionDate() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

int WriteInfo(const std::string& infoName, const std::string& content) {
    const int fd = ::open(infoName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return errno;
    int err = 0;
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            err = errno;
            break;
        }
        done += static_cast<size_t>(n);
    }
    if (err == 0 && SyncFd(fd) != 0) err = errno;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err != 0) ::unlink(infoName.c_str());
    return err;
}

// "name", "name (2)", "name (3).ext" ...: the names tried in files/.
std::string Candidate(const std::string& name, int n) {
    if (n == 1) return name;
    const auto dot = name.find_last_of('.');
    const std::string number = " (" + std::to_string(n) + ")";
    if (dot == std::string::npos || dot == 0) return name + number;
    return name.substr(0, dot) + number + name.substr(dot);
}

std::mutex g_keptOutMutex;
// Given folder text -> its real path and how often it was kept out.
std::map<std::string, std::pair<std::string, int>>& KeptOut() {
    static std::map<std::string, std::pair<std::string, int>> folders;
    return folders;
}

// True when the trash folder would lie in a folder kept free of it.
bool InKeptOutFolder(const std::string& trashDir) {
    std::lock_guard lock(g_keptOutMutex);
    for (const auto& [given, entry] : KeptOut()) {
        const std::string& folder = entry.first;
        if (folder == "/" || trashDir == folder ||
            (trashDir.size() > folder.size() && trashDir.compare(0, folder.size(), folder) == 0 &&
             trashDir[folder.size()] == '/'))
            return true;
    }
    return false;
}

}  // namespace

void KeepTrashOutOf(const std::string& folder) {
    if (folder.empty()) return;
    std::lock_guard lock(g_keptOutMutex);
    auto& entry = KeptOut()[NoSlash(folder)];
    if (entry.second++ == 0) entry.first = NoSlash(RealFolder(folder));
}

void AllowTrashIn(const std::string& folder) {
    std::lock_guard lock(g_keptOutMutex);
    auto it = KeptOut().find(NoSlash(folder));
    if (it != KeptOut().end() && --it->second.second <= 0) KeptOut().erase(it);
}

std::string HomeTrashFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && *data == '/') return NoSlash(data) + "/Trash";
    const char* home = std::getenv("HOME");
    return NoSlash(home && *home ? home : "/") + "/.local/share/Trash";
}

std::string EncodeTrashPath(const std::string& path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
            c == '.' || c == '~' || c == '/') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0xF];
        }
    }
    return out;
}

int PutIntoTrash(const std::string& trashDir, const std::string& path, const std::string& infoPath,
                 std::string& trashedAs) {
    if (int err = MakePrivateFolders(trashDir)) return err;
    if (int err = MakePrivateFolder(trashDir + "/files")) return err;
    if (int err = MakePrivateFolder(trashDir + "/info")) return err;
    const std::string name = path.substr(path.find_last_of('/') + 1);
    const std::string content =
        "[Trash Info]\nPath=" + EncodeTrashPath(infoPath) + "\nDeletionDate=" + DeletionDate() + "\n";
    for (int n = 1; n < 10000; ++n) {
        const std::string candidate = Candidate(name, n);
        const std::string infoName = trashDir + "/info/" + candidate + ".trashinfo";
        // The record is written first and exclusively: it reserves the name.
        int err = WriteInfo(infoName, content);
        if (err == EEXIST) continue;
        if (err != 0) return err;
        const std::string target = trashDir + "/files/" + candidate;
        // The home trash may lie on another volume (when a volume's own trash would
        // fall into a rom path): the entry is then copied and the source removed.
        err = MoveToNewName(path, target);
        if (err == 0) {
            trashedAs = target;
            return 0;
        }
        ::unlink(infoName.c_str());
        if (err != EEXIST) return err;
    }
    return EEXIST;
}

bool MoveToTrash(const std::string& given, std::string& reason, std::string* trashedAs) {
    std::string path = NoSlash(AbsolutePath(given));
    // The entry itself is trashed, but through the real folder that holds it, so that the
    // volume's top folder is found even when the path runs through a link.
    char real[PATH_MAX];
    if (path != "/" && ::realpath(ParentOf(path).c_str(), real)) {
        const std::string folder = real;
        path = (folder == "/" ? "" : folder) + "/" + path.substr(path.find_last_of('/') + 1);
    }
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) {
        reason = SysErrorMessage(errno);
        return false;
    }
    std::string placed;
    const std::string home = HomeTrashFolder();
    dev_t homeDevice;
    const std::string volumeTop = VolumeTop(path, st.st_dev);
    const std::string uid = std::to_string(::geteuid());
    const std::string topText = volumeTop == "/" ? "" : volumeTop;
    const bool volumeTrashKeptOut = InKeptOutFolder(topText + "/.Trash") || InKeptOutFolder(topText + "/.Trash-" + uid);
    if ((DeviceOf(home, homeDevice) && homeDevice == st.st_dev) || volumeTrashKeptOut) {
        const int err = PutIntoTrash(home, path, path, placed);
        if (err != 0) {
            reason = Fmt(_("Cannot use the trash folder %1: %2"), {home, SysErrorMessage(err)});
            return false;
        }
        if (trashedAs) *trashedAs = placed;
        return true;
    }
    const std::string& top = volumeTop;
    const std::string relative = path.substr(top == "/" ? 1 : top.size() + 1);
    const std::string shared = (top == "/" ? "" : top) + "/.Trash";
    struct stat sharedSt;
    int err = ENOENT;
    if (::lstat(shared.c_str(), &sharedSt) == 0 && S_ISDIR(sharedSt.st_mode) && (sharedSt.st_mode & S_ISVTX)) {
        err = PutIntoTrash(shared + "/" + uid, path, relative, placed);
    }
    if (err != 0) {
        const std::string own = (top == "/" ? "" : top) + "/.Trash-" + uid;
        err = PutIntoTrash(own, path, relative, placed);
        if (err != 0) {
            reason = Fmt(_("Cannot use the trash folder %1: %2"), {own, SysErrorMessage(err)});
            return false;
        }
    }
    if (trashedAs) *trashedAs = placed;
    return true;
}

}  // namespace qm
