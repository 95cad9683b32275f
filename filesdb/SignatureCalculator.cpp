#include "filesdb/SignatureCalculator.h"

#include <QFile>
#include <QTemporaryDir>

#include <filesystem>
#include <memory>
#include <optional>

#include "archive/FilesTools.h"
#include "archive/archive.h"
#include "archive/archivemanager.h"
#include "archive/stringsTools.h"
#include "filesdb/CrcPlugIn.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace qm {

namespace {

const char kErrorSignature[] = "00000000";

// The process's private temporary folder; its base when that cannot be made (the
// extraction folder made inside it for each archive is private all the same).
std::string SystemTempDir() {
    try {
        return GetTempDirectory();
    } catch (const Exception&) {
        return GetTempDirectoryBase();
    }
}

std::string Absolute(const std::string& name) {
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(name, ec);
    return ec ? name : full.string();
}

bool IsExtensionSeparator(char c) { return c == '.' || c == ' ' || c == ';' || c == ',' || c == '\t'; }

// A private folder inside TempDir for the entries of one archive: no other file of
// that folder can be overwritten, deleted or reached through a link by an entry of the
// same name, and two processes never meet. Made on first use, removed with everything
// in it when the calculation ends.
class TExtractFolder {
public:
    explicit TExtractFolder(const std::string& tempDir) : tempDir_(tempDir) {}

    const std::string& Path() {
        if (!dir_) {
            dir_.emplace(QFile::decodeName(QByteArray::fromStdString(Absolute(tempDir_) + "qm-sign-XXXXXX")));
            if (!dir_->isValid()) {
                const std::string reason = dir_->errorString().toStdString();
                dir_.reset();
                throw Exception(reason);
            }
            path_ = WithSlash(QFile::encodeName(dir_->path()).toStdString());
        }
        return path_;
    }

private:
    std::string tempDir_;
    std::optional<QTemporaryDir> dir_;
    std::string path_;
};

}  // namespace

TSignatureCalculator::TSignatureCalculator() : tempDir_(SystemTempDir()) {}

void TSignatureCalculator::SetTempDir(const std::string& value) {
    TFileStat st;
    if (!Trim(value).empty() && Fs().Stat(value, st) == 0 && st.exists && st.isDir) tempDir_ = WithSlash(value);
    else tempDir_ = SystemTempDir();
}

void TSignatureCalculator::SetScanExtensions(const std::string& value) {
    const std::string list = Trim(LowerCase(value));
    scanExtensions_ = list.empty() || list.find('*') != std::string::npos ? "*" : list;
}

void TSignatureCalculator::SetSkipExtensions(const std::string& value) { skipExtensions_ = Trim(LowerCase(value)); }

void TSignatureCalculator::AddItem(const std::string& name, const std::string& signature, const std::string& extension,
                                   int64_t size, const std::string& comment, const std::string& errorText) {
    items_.push_back(TCrcItem{name, extension, signature, size, comment, errorText});
}

std::string TSignatureCalculator::ExtensionOf(const std::string& name) {
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

bool TSignatureCalculator::ListContains(const std::string& list, const std::string& extension) {
    if (extension.size() < 2 || extension[0] != '.') return false;
    const std::string_view wanted = std::string_view(extension).substr(1);
    size_t i = 0;
    while (i < list.size()) {
        while (i < list.size() && IsExtensionSeparator(list[i])) ++i;
        size_t end = i;
        while (end < list.size() && !IsExtensionSeparator(list[end])) ++end;
        if (end > i && std::string_view(list).substr(i, end - i) == wanted) return true;
        i = end;
    }
    return false;
}

bool TSignatureCalculator::PlugInUsable() const { return crcPlugIn_ && crcPlugIn_->IsLoaded(); }

void TSignatureCalculator::Calculate(const std::string& fileName) {
    items_.clear();
    TFileStat st;
    if (Fs().Stat(fileName, st) != 0 || !st.exists)
        throw ECrcFileNotFound(Fmt(_("File %1 not found."), {fileName}));
    if (archiveManager_ && scanInsideZip_ && archiveManager_->IsArchive(fileName)) CalculateZip(fileName);
    else CalculatePlain(fileName);
}

bool TSignatureCalculator::UsesZipCrc() const {
    // The default plug-in signs a rom with the very CRC the archive stores, so its
    // entries need not be read.
    if (!crcPlugIn_) return useZipCrcForArcade_;
    return LowerCase(crcPlugIn_->FileName()) == "arcade.dll";
}

bool TSignatureCalculator::SignsZipByListing(const std::string& fileName) {
    return archiveManager_ && scanInsideZip_ && UsesZipCrc() && archiveManager_->IsArchive(fileName);
}

void TSignatureCalculator::CalculateListed(const std::string& fileName, int code, const TArchiveItems& entries,
                                           const std::string& why) {
    items_.clear();
    CalculateZip(fileName, &entries, code, why);
}

void TSignatureCalculator::CalculateZip(const std::string& fileName, const TArchiveItems* listed, int listedCode,
                                        const std::string& listedWhy) {
    // A plug-in that did not load is never called.
    const bool zipCrc = UsesZipCrc();
    const bool plugIn = !zipCrc && PlugInUsable();

    TExtractFolder folder(tempDir_);
    std::string current;  // bare name of the entry being handled
    std::string lastExtension;
    int64_t lastSize = 0;
    try {
        TArchiveItems own;
        if (listed != nullptr) archive::CheckUnzipResult(listedCode, true, fileName, "", listedWhy);
        else archiveManager_->GetFileList(fileName, own);
        // The entries the plug-in signs are read in one pass over the archive.
        std::vector<const TArchiveItem*> toSign;
        for (const TArchiveItem& entry : listed != nullptr ? *listed : own) {
            current = entry.Name;
            const std::string extension = LowerCase(ExtensionOf(entry.Name));
            if (scanExtensions_ != "*" && !ListContains(scanExtensions_, extension)) continue;
            if (ListContains(skipExtensions_, extension)) continue;
            if (entry.Name.empty() && entry.Size == 0) continue;  // a folder entry
            if (zipCrc) {
                AddItem(entry.GetFullName(), entry.Crc, "", entry.Size, "", "");
                continue;
            }
            if (!plugIn) throw ENoPlugInAvailable(_("No plug in specified"));
            toSign.push_back(&entry);
        }
        if (!toSign.empty()) {
            std::vector<std::string> names;
            names.reserve(toSign.size());
            for (const TArchiveItem* entry : toSign) names.push_back(entry->GetFullName());
            // Until an entry is handed over, a failure is that entry's.
            current = toSign.front()->Name;
            archiveManager_->ExtractEach(fileName, names, folder.Path(), [&](size_t k, const std::string& extracted) {
                const TArchiveItem& entry = *toSign[k];
                current = entry.Name;
                const TSignatureResult result = crcPlugIn_->GetSignature(extracted, entry.Crc.c_str());
                lastExtension = result.Extension;
                lastSize = result.Size;
                AddItem(entry.Name, LowerCase(result.Signature), result.Extension, result.Size, result.Comment,
                        result.ErrorText);
                if (k + 1 < toSign.size()) current = toSign[k + 1]->Name;
            });
        }
    } catch (const EAbortOperation&) {
        throw;  // a user's abort is no rom error: it ends the whole scan
    } catch (const std::exception& e) {
        AddItem(current, kErrorSignature, lastExtension, lastSize, "", e.what());
    }
}

void TSignatureCalculator::CalculatePlain(const std::string& fileName) {
    if (scanExtensions_ != "*" && !ListContains(scanExtensions_, LowerCase(ExtensionOf(ExtractFileNameAnySep(fileName)))))
        return;
    if (!PlugInUsable()) throw ENoPlugInAvailable(_("No plug in specified"));
    const TSignatureResult result = crcPlugIn_->GetSignature(Absolute(fileName), nullptr);
    AddItem(ExtractFileNameAnySep(fileName), result.Signature, result.Extension, result.Size, result.Comment,
            result.ErrorText);
}

}  // namespace qm
