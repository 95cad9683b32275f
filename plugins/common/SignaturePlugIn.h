#pragma once
// The binary interface between the program and a signature plug-in (a shared object
// in the plug-in folder). Plain C calls; every text is zero-terminated UTF-8/bytes,
// owned by the plug-in and valid until its next call, so the program copies each one
// at once. Calls come one at a time from one thread.
//
// Two generations of export names exist. Interface "2.50" exports the names without
// prefix (GetSignature, GetPlugInName, ...); interface "2.62" exports them with the
// "qm_" prefix. The type export "qm_GetDllType" carries the prefix in both, and the
// loader tells the generation by which interface-version export is present.
#include <stdint.h>

#define QM_SIGNATURE_PLUGIN_TYPE "quarmelle signature calculator"

#ifdef __cplusplus
extern "C" {
#endif

// An information export: no arguments, a text.
typedef const char* (*TQmPlugInTextFunc)(void);

// Signs one file. fileName is the absolute name of the file to read; zipCrc is the CRC
// the archive stores for it (8 lower-case hex digits) when the file was extracted from
// a zip, else null. The plug-in may set *extension (suggested extension of the rom),
// *size (rom size), *comment and *errorText (non-empty when the file could not be
// read); the caller initialises all four before the call. The result is the signature
// text; null reads as empty.
typedef const char* (*TQmGetSignatureFunc)(const char* fileName, const char* zipCrc, const char** extension,
                                           int32_t* size, const char** comment, const char** errorText);

#ifdef __cplusplus
}
#endif

// Plug-ins are built with hidden visibility; this marks what they export.
#define QM_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
