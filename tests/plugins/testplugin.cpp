// One source for the plug-ins the loader and calculator tests use; each CMake variant
// picks which exports exist through these switches:
//   TP_V250        exports the unprefixed names and GetDllInterfaceVersion
//   TP_V262        exports the "qm_" names and qm_GetDllInterfaceVersion
//   TP_TYPE        the type text (default: the right one); TP_NO_TYPE: no type export
//   TP_NO_AUTHOR   leaves out the author export of every set
//   TP_NO_VERSION  leaves out both interface-version exports
// The signature is the CRC-32 in upper case, so that callers' normalisation shows. A
// file whose name starts with "err" is reported unreadable; one starting with "null"
// gets a null result and no out-parameter is touched. The comment tells what the
// plug-in was called with.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "SignaturePlugIn.h"
#include "ThreadState.h"

#ifndef TP_TYPE
#define TP_TYPE QM_SIGNATURE_PLUGIN_TYPE
#endif

namespace {

struct TTexts {
    std::string signature, comment;
};

const char* Sign(const char* fileName, const char* zipCrc, const char** extension, int32_t* size,
                 const char** comment, const char** errorText) {
    std::string path = fileName ? fileName : "";
    const std::string base = path.substr(path.find_last_of('/') + 1);
    if (base.rfind("null", 0) == 0) return nullptr;
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    char text[9];
    std::snprintf(text, sizeof text, "%08lX",
                  crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
    TTexts& texts = qm_plugin::ThreadState<TTexts>();
    texts.signature = text;
    texts.comment = "file=" + path + " zipcrc=" + (zipCrc ? zipCrc : "null");
    *extension = ".tst";
    *size = static_cast<int32_t>(bytes.size());
    *comment = texts.comment.c_str();
    if (!in || base.rfind("err", 0) == 0) *errorText = "cannot read this rom";
    return texts.signature.c_str();
}

}  // namespace

#ifndef TP_NO_TYPE
QM_PLUGIN_EXPORT const char* qm_GetDllType() { return TP_TYPE; }
#endif

#ifdef TP_V250
#ifndef TP_NO_VERSION
QM_PLUGIN_EXPORT const char* GetDllInterfaceVersion() { return "2.50"; }
#endif
QM_PLUGIN_EXPORT const char* GetSignature(const char* f, const char* z, const char** e, int32_t* s, const char** c,
                                          const char** r) {
    return Sign(f, z, e, s, c, r);
}
QM_PLUGIN_EXPORT const char* GetPlugInName() { return "Test 2.50"; }
#ifndef TP_NO_AUTHOR
QM_PLUGIN_EXPORT const char* GetAuthor() { return "Author 2.50"; }
#endif
QM_PLUGIN_EXPORT const char* GetVersion() { return "1.250"; }
QM_PLUGIN_EXPORT const char* GetDescription() { return "Description 2.50"; }
QM_PLUGIN_EXPORT const char* GetWebPage() { return "http://web/250"; }
QM_PLUGIN_EXPORT const char* GetEmail() { return "mail@250"; }
#endif

#ifdef TP_V262
#ifndef TP_NO_VERSION
QM_PLUGIN_EXPORT const char* qm_GetDllInterfaceVersion() { return "2.62"; }
#endif
QM_PLUGIN_EXPORT const char* qm_GetSignature(const char* f, const char* z, const char** e, int32_t* s,
                                             const char** c, const char** r) {
    return Sign(f, z, e, s, c, r);
}
QM_PLUGIN_EXPORT const char* qm_GetPlugInName() { return "Test 2.62"; }
#ifndef TP_NO_AUTHOR
QM_PLUGIN_EXPORT const char* qm_GetAuthor() { return "Author 2.62"; }
#endif
QM_PLUGIN_EXPORT const char* qm_GetVersion() { return "1.262"; }
QM_PLUGIN_EXPORT const char* qm_GetDescription() { return "Description 2.62"; }
QM_PLUGIN_EXPORT const char* qm_GetWebPage() { return "http://web/262"; }
QM_PLUGIN_EXPORT const char* qm_GetEmail() { return "mail@262"; }
#endif
