// The zip listing, testing and extraction of our archive layer on arbitrary archives,
// extracted into a private folder: nothing may be written outside the destination,
// every file-system change must stay below it, and no half-written file may be left.
#include <set>
#include <string>
#include <vector>

#include "archive/UnZip32.h"
#include "archive/archive.h"
#include "archive/archivemanager.h"
#include "archive/qmZip.h"
#include "archive/stringsTools.h"
#include "platform/FileSystem.h"
#include "support/FuzzSupport.h"

using namespace qm;
using qm::fuzz::Check;
using qm::fuzz::Printable;

namespace {

// Lets every call through to the real file system, but a change outside the folder
// given is a finding.
class TWatchedFileSystem : public TRealFileSystem {
public:
    std::string allowed;  // ends with "/"

    void Inside(const std::string& path, const char* call) const {
        Check(path.compare(0, allowed.size(), allowed) == 0 && path.find("/../") == std::string::npos &&
                  (path.size() < 3 || path.compare(path.size() - 3, 3, "/..") != 0),
              std::string(call) + " outside the destination: " + Printable(path));
    }
    int RenameNoReplace(const std::string& from, const std::string& to) override {
        Inside(from, "rename"), Inside(to, "rename");
        return TRealFileSystem::RenameNoReplace(from, to);
    }
    int ReplaceWith(const std::string& temporary, const std::string& target) override {
        Inside(temporary, "replace"), Inside(target, "replace");
        return TRealFileSystem::ReplaceWith(temporary, target);
    }
    int Unlink(const std::string& path) override { return Inside(path, "unlink"), TRealFileSystem::Unlink(path); }
    int MakeDir(const std::string& path) override { return Inside(path, "mkdir"), TRealFileSystem::MakeDir(path); }
    int RemoveDir(const std::string& path) override { return Inside(path, "rmdir"), TRealFileSystem::RemoveDir(path); }
    int WriteFileAtomic(const std::string& path, const std::string& data) override {
        return Inside(path, "write"), TRealFileSystem::WriteFileAtomic(path, data);
    }
    int CopyFile(const std::string& from, const std::string& to, bool overwrite) override {
        return Inside(to, "copy"), TRealFileSystem::CopyFile(from, to, overwrite);
    }
};

// The name after the last separator (entries may use either), a folder's too.
std::string LastPart(const std::string& path) { return ExtractFileNameAnySep(NoSlash(path)); }

int Unzip(const std::string& archive, const std::string& dir, int test, int list, int keepPath,
          const std::vector<std::string>& patterns, std::vector<std::string>* names) {
    DCL dcl;
    dcl.fQuiet = 2;
    dcl.ntflag = test;
    dcl.nvflag = list;
    dcl.ndflag = keepPath;
    dcl.noflag = 1;
    dcl.lpszZipFN = archive;
    dcl.lpszExtractDir = dir;
    USERFUNCTIONS f;
    f.print = [](const char*, unsigned long length) { return static_cast<int>(length); };
    f.replace = [](const char*) { return 1; };
    f.SendApplicationMessage = [names](uint64_t, uint64_t, unsigned, unsigned, unsigned, unsigned, unsigned,
                                       unsigned, char, const char* entryName, const char*, uint32_t, char) {
        if (names) names->push_back(entryName);
    };
    std::vector<const char*> argv;
    for (const auto& p : patterns) argv.push_back(p.c_str());
    return Wiz_SingleEntryUnzip(static_cast<int>(argv.size()), argv.data(), 0, nullptr, dcl, f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string base = qm::fuzz::FreshDir("zip");
    const std::string archive = base + "in.zip";
    const std::string dest = qm::fuzz::FreshDir("zip/d1/d2/d3/dest");
    qm::fuzz::WriteBytes(archive, std::string_view(reinterpret_cast<const char*>(data), size));

    static TWatchedFileSystem watched;
    watched.allowed = dest;
    TScopedFileSystem scope(watched);

    std::vector<std::string> names;
    Unzip(archive, "", 0, 1, 0, {}, &names);
    Unzip(archive, "", 1, 0, 0, {}, nullptr);
    Unzip(archive, dest + "tree", 0, 0, 1, {}, nullptr);
    Unzip(archive, dest + "flat", 0, 0, 0, {}, nullptr);
    for (size_t i = 0; i < names.size() && i < 4; ++i)
        Unzip(archive, dest + "one", 0, 0, i % 2, {TQMZip::EscapeZipName(names[i])}, nullptr);

    // Many names at once: the selection looks them up instead of matching each.
    if (names.size() > 1) {
        std::vector<std::string> patterns;
        for (size_t i = 0; i < names.size() && i < 8; ++i) patterns.push_back(TQMZip::EscapeZipName(names[i]));
        Unzip(archive, dest + "many", 0, 0, 0, patterns, nullptr);
    }

    TQMZip zip;
    zip.TempDir = dest + "work/";
    TArchiveItems items;
    try {
        zip.GetFileList(archive, items);
        for (const auto& item : items) {
            Check(item.Crc.size() == 8, "a CRC text that is not 8 digits");
            Check(item.Path.empty() || item.Path.back() == '/', "an inner path without its \"/\"");
            // Only an entry stored with a leading "/" at the top keeps that "/" in its
            // name, so that its full name finds it again.
            const size_t from = item.Path == "/" && !item.Name.empty() && item.Name[0] == '/' ? 1 : 0;
            Check(item.Name.find('/', from) == std::string::npos, "an entry name with a folder: " + Printable(item.Name));
        }
        if (!items.empty()) zip.ExtractFile(archive, items.front().GetFullName(), dest + "named", items.size() % 2);
    } catch (const qm::Exception&) {
    }
    // The manager's view of the same archive, through the program's one archiver.
    static TArchiveManager manager;
    manager.SetTempDir(dest + "work/");
    try {
        TArchiveItems again;
        manager.GetFileList(archive, again);
        Check(again.size() == items.size(), "the manager lists another number of entries");
        Check(manager.IsArchiveEmpty(archive) == again.empty(), "IsArchiveEmpty differs from the listing");
    } catch (const qm::Exception&) {
    }
    // One pass over the listed entries, and a batch copying them into an archive of
    // the destination under plain names, then deleting one.
    std::vector<std::string> fullNames;
    for (size_t i = 0; i < items.size() && i < 8; ++i) fullNames.push_back(items[i].GetFullName());
    try {
        manager.ExtractEach(archive, fullNames, dest + "each", [&](size_t k, const std::string& file) {
            Check(k < fullNames.size(), "a pass hands over an entry it was not asked for");
            TFileStat st;
            Check(Fs().Stat(file, st) == 0 && st.exists && !st.isDir, "a pass hands over no file: " + Printable(file));
        });
    } catch (const qm::Exception&) {
    }
    try {
        TArchiveChanges changes;
        for (size_t k = 0; k < fullNames.size(); ++k)
            changes.push_back({archive, fullNames[k], "e" + std::to_string(k) + ".bin"});
        if (!changes.empty()) changes.push_back({"", "e0.bin", ""});
        manager.CommitChanges(dest + "batch.zip", changes);
    } catch (const qm::Exception&) {
    }
    try {
        zip.TestArchive(archive);
    } catch (const qm::Exception&) {
    }
    try {
        zip.ExtractAll(archive, dest + "all/");
    } catch (const qm::Exception&) {
    }

    // Only the archive, the folders on the way and what lies below the destination.
    // An entry may itself be named like one of our temporary files; only a name the
    // archive does not hold is a leftover of ours.
    std::set<std::string> entryNames;
    for (const std::string& name : names) entryNames.insert(LastPart(name));
    for (const auto& item : items) entryNames.insert(item.Name);
    for (const std::string& path : qm::fuzz::ListTree(base)) {
        const bool expected = path == "in.zip" || path == "d1/" || path == "d1/d2/" || path == "d1/d2/d3/" ||
                              path.compare(0, 14, "d1/d2/d3/dest/") == 0;
        Check(expected, "written outside the destination: " + Printable(path));
        Check(path.find(".qmtmp-") == std::string::npos || entryNames.count(LastPart(path)) != 0,
              "a half-written file is left: " + Printable(path));
    }
    return 0;
}
