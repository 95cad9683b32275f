#include "filesdb/CrcPlugIn.h"

#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "archive/stringsTools.h"

#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"

namespace qm {

namespace {

const char kDllType[] = QM_SIGNATURE_PLUGIN_TYPE;

std::string Text(const char* text) { return text ? std::string(text) : std::string(); }

// The part after the last "/" or "\": datafiles written elsewhere may carry either.
std::string NamePart(const std::string& value) {
    const auto pos = value.find_last_of("/\\");
    return pos == std::string::npos ? value : value.substr(pos + 1);
}

bool EndsWithDll(const std::string& name) {
    if (name.size() < 4) return false;
    const std::string ext = name.substr(name.size() - 4);
    return ext[0] == '.' && (ext[1] | 0x20) == 'd' && (ext[2] | 0x20) == 'l' && (ext[3] | 0x20) == 'l';
}

// The file of the folder that holds a plug-in: its logical name is compared without
// regard to case ("ARCADE.DLL" is the arcade plug-in), the exact spelling first, else
// the first spelling in byte order, so that the choice never depends on the listing.
std::string PlugInFile(const std::string& folder, const std::string& name) {
    std::error_code ec;
    if (std::filesystem::exists(folder + name, ec)) return folder + name;
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string entryName = entry.path().filename().string();
        if (SameText(entryName, name)) found.push_back(entryName);
    }
    if (found.empty()) return folder + name;
    return folder + *std::min_element(found.begin(), found.end());
}

}  // namespace

void TCrcPlugIn::SetPath(const std::string& value) {
    if (value.empty()) {
        path_.clear();
        return;
    }
    TFileStat st;
    if (Fs().Stat(value, st) == 0 && st.exists && st.isDir) {
        path_ = value.back() == '/' ? value : value + "/";
        return;
    }
    UiHooks().MessageDlg(Fmt(_("Plug in path [%1] not found."), {value}), TMsgDlgType::mtError, mbOK);
}

void TCrcPlugIn::SetFileName(const std::string& value) {
    fileName_ = NamePart(value);
    LoadPlugIn();
}

std::string TCrcPlugIn::SharedObjectName(const std::string& fileName) {
    if (!EndsWithDll(fileName)) return fileName;
    return fileName.substr(0, fileName.size() - 4) + ".so";
}

void TCrcPlugIn::Unbind() {
    handle_ = nullptr;
    entries_ = TEntries{};
    interfaceVersion_.clear();
    plugInName_.clear();
    author_.clear();
    version_.clear();
    description_.clear();
    webPage_.clear();
    email_.clear();
}

void TCrcPlugIn::LoadPlugIn() {
    Unbind();
    const auto notFound = [this] { return EDllNotFound(Fmt(_("Plug in %1 not found."), {fileName_})); };
    // Without a plug-in folder the loader would search the system's library folders
    // and could load anything of that name: only a name inside the folder is loaded.
    if ((path_.empty() && shippedPath_.empty()) || fileName_.empty()) throw notFound();
    const std::string name = SharedObjectName(fileName_);
    std::error_code ec;
    std::string file = path_.empty() ? std::string() : PlugInFile(path_, name);
    if ((file.empty() || !std::filesystem::exists(file, ec)) && !shippedPath_.empty())
        file = PlugInFile(shippedPath_, name);
    const std::string full = std::filesystem::absolute(file, ec).string();
    if (ec) throw notFound();

    // Loaded libraries are never unloaded: a caller may still hold texts or code of
    // one, and the loader counts repeated loads of the same file. RTLD_NODELETE keeps
    // that true at exit too, when a plug-in's thread-local texts are destroyed last.
    void* handle = ::dlopen(full.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!handle) throw notFound();
    if (!IsSignatureDll(handle)) throw ENotACrcDll(_("Not a quarmelle crc dll"));

    // Bound aside and taken over only once complete.
    TEntries entries;
    std::string interfaceVersion;
    BindExports(handle, entries, interfaceVersion);
    handle_ = handle;
    entries_ = entries;
    interfaceVersion_ = interfaceVersion;
    ReadPlugInInfo();
}

void* TCrcPlugIn::Export(void* handle, const char* name) const {
    void* symbol = ::dlsym(handle, name);
    if (!symbol) return nullptr;
    // dlsym also finds the exports of the libraries the object depends on; only the
    // object's own exports count.
    link_map* map = nullptr;
    Dl_info info{};
    if (::dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map || ::dladdr(symbol, &info) == 0) return nullptr;
    if (!info.dli_fname || !map->l_name || std::string(info.dli_fname) != map->l_name) return nullptr;
    return symbol;
}

bool TCrcPlugIn::IsSignatureDll(void* handle) const {
    const auto getDllType = reinterpret_cast<TQmPlugInTextFunc>(Export(handle, "qm_GetDllType"));
    return getDllType && Text(getDllType()) == kDllType;
}

void TCrcPlugIn::BindExports(void* handle, TEntries& entries, std::string& interfaceVersion) const {
    // The generation is told by which version export exists, not by what it says;
    // the older one wins when a plug-in offers both.
    if (Export(handle, "GetDllInterfaceVersion")) interfaceVersion = "2.50";
    else if (Export(handle, "qm_GetDllInterfaceVersion")) interfaceVersion = "2.62";
    const std::string prefix = interfaceVersion == "2.50" ? "" : "qm_";

    const auto bind = [&](const char* name, auto& entry) {
        const std::string exportName = prefix + name;
        void* symbol = Export(handle, exportName.c_str());
        if (!symbol) throw EFunctionNotFound("Function " + exportName + " not found in " + fileName_);
        entry = reinterpret_cast<std::remove_reference_t<decltype(entry)>>(symbol);
    };
    bind("GetSignature", entries.getSignature);
    bind("GetPlugInName", entries.getPlugInName);
    bind("GetAuthor", entries.getAuthor);
    bind("GetVersion", entries.getVersion);
    bind("GetDescription", entries.getDescription);
    bind("GetWebPage", entries.getWebPage);
    bind("GetEmail", entries.getEmail);
    bind("GetDllInterfaceVersion", entries.getDllInterfaceVersion);
}

void TCrcPlugIn::ReadPlugInInfo() {
    plugInName_ = Text(entries_.getPlugInName());
    author_ = Text(entries_.getAuthor());
    version_ = Text(entries_.getVersion());
    description_ = Text(entries_.getDescription());
    webPage_ = Text(entries_.getWebPage());
    email_ = Text(entries_.getEmail());
}

TSignatureResult TCrcPlugIn::GetSignature(const std::string& fileName, const char* zipCrc) const {
    if (!IsLoaded()) throw EDllNotFound(Fmt(_("Plug in %1 not found."), {fileName_}));
    const char* extension = nullptr;
    int32_t size = 0;
    const char* comment = nullptr;
    const char* errorText = nullptr;
    const char* signature = entries_.getSignature(fileName.c_str(), zipCrc, &extension, &size, &comment, &errorText);
    TSignatureResult result;
    result.Signature = Text(signature);
    result.Extension = Text(extension);
    result.Size = size;
    result.Comment = Text(comment);
    result.ErrorText = Text(errorText);
    return result;
}

}  // namespace qm
