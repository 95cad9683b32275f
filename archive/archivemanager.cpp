#include "archive/archivemanager.h"

#include <filesystem>
#include <system_error>

#include "archive/FilesTools.h"
#include "archive/qmZip.h"
#include "archive/stringsTools.h"
#include "platform/FileSystem.h"
#include "platform/Finally.h"
#include "platform/Text.h"

namespace qm {

namespace {

std::string BaseName(const std::string& name) {
    const std::string slashed = ToSlash(name);
    const auto slash = slashed.rfind('/');
    return slash == std::string::npos ? slashed : slashed.substr(slash + 1);
}

// The extension: the text from the last "." of the name part, or "".
std::string Extension(const std::string& fileName) {
    const std::string name = BaseName(fileName);
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string FullPath(const std::string& path) {
    std::error_code ec;
    const auto full = std::filesystem::absolute(path, ec);
    return ec ? path : full.lexically_normal().string();
}

// The same file on disk (both existing), or the same full path.
bool SameArchive(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (std::filesystem::equivalent(a, b, ec) && !ec) return true;
    return FullPath(a) == FullPath(b);
}

}  // namespace

TArchiveManager::TArchiveManager() { SetTempDir(GetTempDirectory()); }

void TArchiveManager::SetTempDir(const std::string& value) {
    TempDir = WithSlash(value);
    ZipObject().TempDir = TempDir;
}

void TArchiveManager::SetCompressionLevel(int level) {
    CompressionLevel = level;
    ZipObject().SetCompressionLevel(level);
}

TArchive* TArchiveManager::GetArchiver(const std::string& fileName) {
    if (!SameText(Extension(fileName), ".zip")) return nullptr;
    TArchive& archiver = ZipObject();
    archiver.OnMessage = OnMessage;
    archiver.OnError = OnError;
    archiver.OnPoll = OnPoll;
    return &archiver;
}

bool TArchiveManager::IsArchive(const std::string& fileName) { return GetArchiver(fileName) != nullptr; }

TArchive& TArchiveManager::Require(const std::string& archiveName) {
    TArchive* archiver = GetArchiver(archiveName);
    if (!archiver)
        throw archive::EError(Fmt(_("%1 is not a supported archive."), {archiveName}), archiveName);
    return *archiver;
}

void TArchiveManager::GetFileList(const std::string& archiveName, TArchiveItems& items) {
    Require(archiveName).GetFileList(archiveName, items);
}

void TArchiveManager::ExtractFile(const std::string& archiveName, const std::string& fileName,
                                  const std::string& destDir, bool keepPath) {
    TArchive& archiver = Require(archiveName);
    const std::string dir = WithSlash(destDir);
    // A stale file where the entry lands goes first: the landing name is the bare name
    // unless the inner folders are kept.
    const std::string relative = keepPath ? ToSlash(fileName) : BaseName(fileName);
    // The name is checked before anything is deleted: "../../x" would land, and delete,
    // outside the destination.
    if (!IsSafeName(relative, keepPath))
        throw archive::EError(UnsafeNameMessage(relative, keepPath), archiveName, fileName);
    const std::string landing = dir + relative;
    TFileStat st;
    if (Fs().Stat(landing, st) == 0 && st.exists && !st.isDir) Fs().Unlink(landing);
    archiver.ExtractFile(archiveName, fileName, dir, keepPath);
}

void TArchiveManager::ExtractEach(const std::string& archiveName, const std::vector<std::string>& fileNames,
                                  const std::string& destDir,
                                  const std::function<void(size_t, const std::string&)>& each) {
    Require(archiveName);
    // One pass takes what it can; an entry it stops at goes the single way, which
    // raises for it as it always did, and the pass goes on after it.
    for (size_t next = 0; next < fileNames.size();) {
        const std::vector<std::string> rest(fileNames.begin() + static_cast<std::ptrdiff_t>(next), fileNames.end());
        next += ZipObject().ExtractEach(archiveName, rest, destDir,
                                        [&](size_t k, const std::string& file) { each(next + k, file); });
        if (next == fileNames.size()) break;
        ExtractFile(archiveName, fileNames[next], destDir, false);
        const std::string file = WithSlash(destDir) + BaseName(fileNames[next]);
        const TFinally remove([&] { Fs().Unlink(file); });
        each(next, file);
        ++next;
    }
}

void TArchiveManager::AddFile(const std::string& archiveName, const std::string& fileName) {
    Require(archiveName).AddFile(archiveName, fileName);
}

void TArchiveManager::DeleteFile(const std::string& archiveName, const std::string& fileName) {
    Require(archiveName).DeleteFile(archiveName, fileName);
}

void TArchiveManager::CreateEmptyArchive(const std::string& archiveName) {
    Require(archiveName).CreateEmptyArchive(archiveName);
}

void TArchiveManager::TestArchive(const std::string& archiveName) {
    if (TArchive* archiver = GetArchiver(archiveName)) archiver->TestArchive(archiveName);
}

void TArchiveManager::ExtractAll(const std::string& archiveName, const std::string& destDir) {
    if (TArchive* archiver = GetArchiver(archiveName)) archiver->ExtractAll(archiveName, destDir);
}

void TArchiveManager::AddDirectory(const std::string& dir, const std::string& archiveName) {
    if (TArchive* archiver = GetArchiver(archiveName)) archiver->AddDirectory(dir, archiveName);
}

void TArchiveManager::RenameFiles(const std::string& archiveName, const TRenameList& list) {
    if (list.empty()) return;
    if (TArchive* archiver = GetArchiver(archiveName)) archiver->RenameFiles(archiveName, list, 1);
}

void TArchiveManager::RecompressArchive(const std::string& archiveName) {
    if (!GetArchiver(archiveName)) return;
    TQMZip& zip = ZipObject();
    zip.SetCompressionLevel(CompressionLevel);
    zip.RecompressArchive(archiveName);
}

bool TArchiveManager::IsArchiveEmpty(const std::string& archiveName) {
    TArchive* archiver = GetArchiver(archiveName);
    if (!archiver) return false;
    TArchiveItems items;
    archiver->GetFileList(archiveName, items);
    return items.empty();
}

void TArchiveManager::CopyFileBetweenArchives(const std::string& srcArchive, const std::string& fileName,
                                              const std::string& destArchive, const std::string& newName) {
    Require(srcArchive);
    Require(destArchive);
    if (!IsSafeName(BaseName(newName), false))
        throw archive::EError(UnsafeNameMessage(BaseName(newName), false), destArchive, newName);
    // Zip to zip: the entry goes across without a work file, its compressed bytes
    // copied as they are where the compression level allows.
    ZipObject().CopyEntry(FullPath(srcArchive), fileName, FullPath(destArchive), BaseName(newName));
}

void TArchiveManager::CommitChanges(const std::string& archiveName, const TArchiveChanges& changes) {
    if (changes.empty()) return;
    Require(archiveName);
    TArchiveChanges checked;
    checked.reserve(changes.size());
    for (const TArchiveChange& change : changes) {
        if (change.SrcArchive.empty()) {
            checked.push_back(change);
            continue;
        }
        Require(change.SrcArchive);
        const std::string name = BaseName(change.NewName);
        if (!IsSafeName(name, false))
            throw archive::EError(UnsafeNameMessage(name, false), archiveName, change.NewName);
        checked.push_back({FullPath(change.SrcArchive), change.FileName, name});
    }
    ZipObject().ApplyChanges(archiveName, checked);
}

void TArchiveManager::MoveFileBetweenArchives(const std::string& srcArchive, const std::string& fileName,
                                              const std::string& destArchive, const std::string& newName) {
    // The copy stores the bare new name; when that is the very entry being moved, the
    // add would replace it and the delete then remove it: the entry stays as it is.
    if (SameArchive(srcArchive, destArchive) && BaseName(newName) == ToSlash(fileName)) {
        Require(srcArchive);
        return;
    }
    CopyFileBetweenArchives(srcArchive, fileName, destArchive, newName);
    if (TArchive* archiver = GetArchiver(srcArchive)) archiver->DeleteFile(srcArchive, fileName);
}

}  // namespace qm
