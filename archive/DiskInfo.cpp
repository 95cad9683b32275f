#include "archive/DiskInfo.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "archive/stringsTools.h"
#include "platform/FileSystem.h"

namespace qm {

namespace {

TSysVolumeProvider& RealProvider() {
    static TSysVolumeProvider provider;
    return provider;
}

IVolumeProvider* g_provider = nullptr;

std::string ReadSmallFile(const std::string& path) {
    std::string text;
    Fs().ReadFile(path, text);
    return text;
}

// Text between blanks in the mount table; "\040" style octal escapes stand for blanks,
// tabs, line feeds and backslashes in names.
std::string DecodeOctal(const std::string& field) {
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && std::isdigit(static_cast<unsigned char>(field[i + 1])) &&
            std::isdigit(static_cast<unsigned char>(field[i + 2])) &&
            std::isdigit(static_cast<unsigned char>(field[i + 3]))) {
            out += static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) | (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

// udev writes unsafe characters of labels as "\xHH".
std::string DecodeHexEscapes(const std::string& name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' &&
            std::isxdigit(static_cast<unsigned char>(name[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(name[i + 3]))) {
            out += static_cast<char>(std::stoi(name.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            out += name[i];
        }
    }
    return out;
}

std::vector<std::string> SplitBlanks(const std::string& line) {
    std::vector<std::string> fields;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ') ++i;
        const size_t start = i;
        while (i < line.size() && line[i] != ' ') ++i;
        if (i > start) fields.push_back(line.substr(start, i - start));
    }
    return fields;
}

// True when folder (no trailing "/" except "/") holds path.
bool Holds(const std::string& folder, const std::string& path) {
    if (folder == "/") return !path.empty() && path[0] == '/';
    if (path.compare(0, folder.size(), folder) != 0) return false;
    return path.size() == folder.size() || path[folder.size()] == '/';
}


// The path with the real folder of its deepest existing ancestor, so that symbolic links
// to another volume are followed; the missing rest is kept as written.
std::string RealPathOf(const std::string& absolute) {
    std::string head = absolute;
    std::string rest;
    for (;;) {
        char buffer[PATH_MAX];
        if (::realpath(head.c_str(), buffer)) {
            std::string real = buffer;
            if (rest.empty()) return real;
            return real == "/" ? "/" + rest : real + "/" + rest;
        }
        if (head == "/" || head.empty()) return absolute;
        const auto slash = head.find_last_of('/');
        const std::string name = head.substr(slash + 1);
        rest = rest.empty() ? name : name + "/" + rest;
        head = slash == 0 ? "/" : head.substr(0, slash);
    }
}

bool IsHexDigits(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c) != 0; });
}

}  // namespace

IVolumeProvider& Volumes() { return g_provider ? *g_provider : RealProvider(); }

void SetVolumeProvider(IVolumeProvider* provider) { g_provider = provider; }

TScopedVolumeProvider::TScopedVolumeProvider(IVolumeProvider& provider) : previous_(g_provider) {
    g_provider = &provider;
}
TScopedVolumeProvider::~TScopedVolumeProvider() { g_provider = previous_; }

std::string RealFolder(const std::string& folder) {
    const std::string real = RealPathOf(AbsolutePath(folder));
    return real == "/" ? real : real + "/";
}

std::string AbsolutePath(const std::string& path) {
    std::string full = path;
    if (full.empty() || full[0] != '/') {
        char buffer[PATH_MAX];
        const std::string cwd = ::getcwd(buffer, sizeof buffer) ? buffer : "/";
        full = full.empty() ? cwd : cwd + "/" + full;
    }
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= full.size()) {
        const size_t next = std::min(full.find('/', i), full.size());
        const std::string part = full.substr(i, next - i);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = next + 1;
    }
    std::string out;
    for (const auto& part : parts) out += "/" + part;
    return out.empty() ? "/" : out;
}

std::vector<TSysVolumeProvider::TMount> TSysVolumeProvider::ParseMountInfo(const std::string& text) {
    std::vector<TMount> mounts;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const auto fields = SplitBlanks(text.substr(pos, end - pos));
        pos = end + 1;
        // id parent major:minor root mount-point options [optional...] - type source super
        const auto dash = std::find(fields.begin(), fields.end(), "-");
        if (fields.size() < 5 || dash == fields.end() || fields.end() - dash < 3 || dash - fields.begin() < 6) continue;
        TMount mount;
        mount.mountPoint = DecodeOctal(fields[4]);
        mount.fsType = DecodeOctal(*(dash + 1));
        mount.source = DecodeOctal(*(dash + 2));
        mounts.push_back(std::move(mount));
    }
    return mounts;
}

TSysVolumeProvider::TSysVolumeProvider(std::string sysRoot) : sysRoot_(std::move(sysRoot)) {
    while (!sysRoot_.empty() && sysRoot_.back() == '/') sysRoot_.pop_back();
}

// A name of the fake or real tree, with every symbolic link followed when it can be;
// a dangling link or missing file keeps its lexical form.
std::string TSysVolumeProvider::Resolve(const std::string& path) const {
    char buffer[PATH_MAX];
    if (::realpath(path.c_str(), buffer)) return buffer;
    return AbsolutePath(path);
}

// The entry of folder (a /dev/disk/by-* folder) whose link leads to device.
std::string TSysVolumeProvider::FindLink(const std::string& folder, const std::string& device) const {
    std::vector<TDirEntry> entries;
    if (Fs().ListDir(folder, entries) != 0) return {};
    for (const auto& entry : entries) {
        const std::string link = folder + "/" + entry.name;
        char target[PATH_MAX];
        const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
        std::string resolved;
        if (n > 0) {
            target[n] = '\0';
            resolved = target[0] == '/' ? sysRoot_ + target : folder + "/" + target;
            resolved = Resolve(resolved);
        } else {
            resolved = Resolve(link);
        }
        if (resolved == device) return entry.name;
    }
    return {};
}

bool TSysVolumeProvider::IsRemovable(const std::string& device) const {
    const std::string name = device.substr(device.find_last_of('/') + 1);
    if (name.empty()) return false;
    const std::string blocks = sysRoot_ + "/sys/block";
    std::vector<TDirEntry> entries;
    if (Fs().ListDir(blocks, entries) != 0) return false;
    for (const auto& entry : entries) {
        const std::string folder = blocks + "/" + entry.name;
        TFileStat st;
        // A partition is a sub-folder of its disk: /sys/block/sdb/sdb1.
        if (entry.name != name && (Fs().Stat(folder + "/" + name, st) != 0 || !st.isDir)) continue;
        std::string flag = ReadSmallFile(folder + "/removable");
        return !flag.empty() && flag[0] == '1';
    }
    return false;
}

bool TSysVolumeProvider::Query(const std::string& absolutePath, TVolumeFacts& facts) {
    facts = TVolumeFacts{};
    const std::string path = RealPathOf(AbsolutePath(absolutePath));
    std::vector<TMount> table;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::string text = ReadSmallFile(sysRoot_ + "/proc/self/mountinfo");
        if (text != tableText_ || table_.empty()) {
            table_ = ParseMountInfo(text);
            tableText_ = std::move(text);
        }
        table = table_;
    }
    // The deepest mount point that holds the path; of several mounts on one point the
    // last one in the table is the one in view.
    const TMount* best = nullptr;
    for (const auto& mount : table)
        if (Holds(mount.mountPoint, path) && (!best || mount.mountPoint.size() >= best->mountPoint.size()))
            best = &mount;
    if (!best) return false;
    facts.root = WithSlash(best->mountPoint);
    facts.source = best->source;
    facts.fsType = best->fsType;
    if (!best->source.empty() && best->source[0] == '/') {
        const std::string device = Resolve(sysRoot_ + best->source);
        facts.uuid = FindLink(sysRoot_ + "/dev/disk/by-uuid", device);
        facts.label = DecodeHexEscapes(FindLink(sysRoot_ + "/dev/disk/by-label", device));
        facts.removable = IsRemovable(device);
    }
    // The path may not exist yet: its nearest existing folder on the same volume answers.
    std::string probe = path;
    struct statvfs vfs;
    while (::statvfs(probe.c_str(), &vfs) != 0) {
        if (probe.size() <= facts.root.size() || probe == "/") return true;
        probe = probe.substr(0, std::max<size_t>(1, probe.find_last_of('/')));
    }
    facts.totalBytes = static_cast<int64_t>(vfs.f_blocks) * static_cast<int64_t>(vfs.f_frsize);
    return true;
}

bool TStaticVolumeProvider::Query(const std::string& absolutePath, TVolumeFacts& facts) {
    const TVolumeFacts* best = nullptr;
    for (const auto& volume : volumes) {
        std::string root = volume.root;
        while (root.size() > 1 && root.back() == '/') root.pop_back();
        if (Holds(root, absolutePath) && (!best || volume.root.size() >= best->root.size())) best = &volume;
    }
    if (!best) return false;
    facts = *best;
    facts.root = WithSlash(facts.root);
    return true;
}

uint32_t VolumeSerial(const TVolumeFacts& facts) {
    std::string digits;
    for (char c : facts.uuid)
        if (c != '-') digits += c;
    if (digits.size() >= 8 && IsHexDigits(digits.substr(0, 8)))
        return static_cast<uint32_t>(std::stoul(digits.substr(0, 8), nullptr, 16));
    if (facts.source.empty() && facts.fsType.empty()) return 0;
    // Never the kernel's fsid or device number: they change from boot to boot.
    const std::string key = facts.source + '\0' + facts.fsType;
    return static_cast<uint32_t>(
        ::crc32(0L, reinterpret_cast<const Bytef*>(key.data()), static_cast<uInt>(key.size())));
}

TDriveType VolumeDriveType(const TVolumeFacts& facts) {
    std::string type = facts.fsType;
    if (type.compare(0, 5, "fuse.") == 0) type = type.substr(5);
    static const char* const network[] = {"nfs", "nfs4", "cifs", "smb3", "smbfs", "sshfs", "9p", "afs", "ncpfs"};
    for (const char* name : network)
        if (type == name) return dtNetwork;
    const std::string device = facts.source.substr(facts.source.find_last_of('/') + 1);
    if (type == "iso9660" || type == "udf" || device.compare(0, 2, "sr") == 0) return dtCDROM;
    if (type == "tmpfs" || type == "ramfs") return dtRAM;
    if (facts.removable) return dtFloppy;
    if (type.empty()) return dtUnknown;
    return dtFixed;
}

std::string FormatVolumeSerial(uint32_t serial) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (int shift = 28; shift >= 0; shift -= 4) {
        out += hex[(serial >> shift) & 0xF];
        if (shift == 16) out += '-';
    }
    return out;
}

TDiskInfo::TDiskInfo() { SetDisk("/"); }

TDiskInfo::TDiskInfo(const std::string& disk) { SetDisk(disk); }

void TDiskInfo::SetDisk(const std::string& path) {
    const std::string absolute = AbsolutePath(path);
    serial_ = 0;
    label_.clear();
    fileSystem_.clear();
    diskSize_ = 0;
    diskFree_ = 0;
    TVolumeFacts facts;
    if (!Volumes().Query(absolute, facts)) {
        disk_ = WithSlash(absolute);
        driveType_ = dtNoDrive;
        return;
    }
    disk_ = facts.root;
    driveType_ = VolumeDriveType(facts);
    serial_ = VolumeSerial(facts);
    if (serial_ != 0) {
        label_ = facts.label;
        fileSystem_ = facts.fsType;
    }
    // A failed query leaves 0, never the figures of the volume read before: a free-space
    // check must not pass on another disk's numbers.
    const int64_t free = Fs().FreeSpace(absolute);
    if (free >= 0) {
        diskFree_ = free;
        diskSize_ = facts.totalBytes >= 0 ? std::max(facts.totalBytes, free) : free;
    }
}

}  // namespace qm
