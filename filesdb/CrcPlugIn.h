#pragma once
// The signature plug-in in use: loads one plug-in shared object from the plug-in
// folder, checks that it is a signature plug-in, binds its exports under interface
// "2.50" or "2.62" and keeps its information texts.
//
// Datafiles, cache files and texts keep the logical name of a plug-in ("arcade.dll");
// the file loaded is the same name with ".so" in place of ".dll", always by an
// absolute name, so that no system library folder is ever searched.
#include <cstdint>
#include <string>

#include "platform/Exception.h"
#include "plugins/common/SignaturePlugIn.h"

namespace qm {

QM_DECLARE_EXCEPTION(EDllNotFound, Exception);
QM_DECLARE_EXCEPTION(ENotACrcDll, Exception);
QM_DECLARE_EXCEPTION(EFunctionNotFound, Exception);

// What one GetSignature call returned, copied out of the plug-in's buffers.
struct TSignatureResult {
    std::string Signature;
    std::string Extension;
    int32_t Size = 0;
    std::string Comment;
    std::string ErrorText;
};

class TCrcPlugIn {
public:
    TCrcPlugIn() = default;
    TCrcPlugIn(const TCrcPlugIn&) = delete;
    TCrcPlugIn& operator=(const TCrcPlugIn&) = delete;

    // Folder of the plug-ins, empty or ending in "/". A value that names no existing
    // folder shows "Plug in path [%1] not found." and keeps the folder held before;
    // it never raises.
    const std::string& Path() const { return path_; }
    void SetPath(const std::string& value);
    // The folder of the plug-ins the program ships (empty: none): a plug-in that Path
    // does not hold is loaded from there, so that a new home, whose plug-in folder
    // starts empty, and a user's own plug-ins beside it both work.
    const std::string& ShippedPath() const { return shippedPath_; }
    void SetShippedPath(const std::string& value) { shippedPath_ = value; }

    // File name of the plug-in, without folder (a folder part of the value is
    // dropped). Every assignment loads the plug-in, also when the name is unchanged;
    // the load's exceptions reach the caller.
    const std::string& FileName() const { return fileName_; }
    void SetFileName(const std::string& value);

    // "2.50", "2.62", or empty when nothing is loaded.
    const std::string& InterfaceVersion() const { return interfaceVersion_; }
    const std::string& PlugInName() const { return plugInName_; }
    const std::string& Author() const { return author_; }
    const std::string& Version() const { return version_; }
    const std::string& Description() const { return description_; }
    const std::string& WebPage() const { return webPage_; }
    const std::string& Email() const { return email_; }

    // True when the last load succeeded. A failed load leaves nothing bound, so that no
    // signature ever comes from an earlier or half-bound plug-in.
    bool IsLoaded() const { return entries_.getSignature != nullptr; }

    // Loads Path + FileName, else ShippedPath + FileName (see SetFileName); raises EDllNotFound, ENotACrcDll or
    // EFunctionNotFound and is then not loaded.
    void LoadPlugIn();

    // Signs one file (an absolute name) through the plug-in; zipCrc is the CRC stored
    // in the archive for an extracted entry, else null. Extension, Size, Comment and
    // ErrorText start empty for every call, so a plug-in that leaves one alone gives
    // empty text and size 0. Raises EDllNotFound when no plug-in is loaded.
    TSignatureResult GetSignature(const std::string& fileName, const char* zipCrc) const;

    // The name loaded for a logical plug-in name: "name.dll" becomes "name.so".
    static std::string SharedObjectName(const std::string& fileName);

private:
    struct TEntries {
        TQmGetSignatureFunc getSignature = nullptr;
        TQmPlugInTextFunc getPlugInName = nullptr;
        TQmPlugInTextFunc getAuthor = nullptr;
        TQmPlugInTextFunc getVersion = nullptr;
        TQmPlugInTextFunc getDescription = nullptr;
        TQmPlugInTextFunc getWebPage = nullptr;
        TQmPlugInTextFunc getEmail = nullptr;
        TQmPlugInTextFunc getDllInterfaceVersion = nullptr;
    };

    void Unbind();
    bool IsSignatureDll(void* handle) const;
    void BindExports(void* handle, TEntries& entries, std::string& interfaceVersion) const;
    void ReadPlugInInfo();
    void* Export(void* handle, const char* name) const;

    std::string path_;
    std::string shippedPath_;
    std::string fileName_;
    std::string interfaceVersion_;
    std::string plugInName_, author_, version_, description_, webPage_, email_;
    void* handle_ = nullptr;
    TEntries entries_;
};

}  // namespace qm
