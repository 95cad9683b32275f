// The default signature plug-in: the CRC-32 of the whole file (the signature arcade
// datafiles list), as 8 lower-case hexadecimal digits, with the file size. It suggests
// no extension and gives no comment.
#include <fcntl.h>
#include <unistd.h>
#include <isa-l/crc.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "SignaturePlugIn.h"
#include "ThreadState.h"

namespace {

// Reads big enough that system calls cost little, small enough to stay in the L2
// cache between the copy and the CRC. The CRC is ISA-L's vectorised one (zlib's value
// bit for bit), so that reading, not the sum, sets the pace.
constexpr size_t kChunk = 1 << 18;

// What one thread's calls keep.
struct TThreadState {
    std::string signature;
    std::string error;
    std::vector<unsigned char> buffer = std::vector<unsigned char>(kChunk);
};

std::string HexCrc(uint32_t crc) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(crc));
    return text;
}

// Reads the whole file through buffer; false with the system's reason when it cannot.
bool CrcOfFile(const char* fileName, std::vector<unsigned char>& buffer, uint32_t& crc, int64_t& size,
               std::string& error) {
    crc = 0;
    size = 0;
    const int fd = ::open(fileName, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            error = std::strerror(errno);
            ok = false;
            break;
        }
        if (n == 0) break;
        crc = crc32_gzip_refl(crc, buffer.data(), static_cast<uint64_t>(n));
        size += n;
    }
    ::close(fd);
    return ok;
}

}  // namespace

QM_PLUGIN_EXPORT const char* qm_GetDllType() { return QM_SIGNATURE_PLUGIN_TYPE; }
QM_PLUGIN_EXPORT const char* qm_GetDllInterfaceVersion() { return "2.62"; }
QM_PLUGIN_EXPORT const char* qm_GetPlugInName() { return "Arcade"; }
QM_PLUGIN_EXPORT const char* qm_GetAuthor() { return "Quarmelle"; }
QM_PLUGIN_EXPORT const char* qm_GetVersion() { return "1.0"; }
QM_PLUGIN_EXPORT const char* qm_GetDescription() { return "CRC32 of the whole file"; }
QM_PLUGIN_EXPORT const char* qm_GetWebPage() { return ""; }
QM_PLUGIN_EXPORT const char* qm_GetEmail() { return ""; }

QM_PLUGIN_EXPORT const char* qm_GetSignature(const char* fileName, const char* /*zipCrc*/, const char** extension,
                                             int32_t* size, const char** comment, const char** errorText) {
    uint32_t crc = 0;
    int64_t bytes = 0;
    TThreadState& state = qm_plugin::ThreadState<TThreadState>();
    std::string& signature = state.signature;
    std::string& error = state.error;
    error.clear();
    if (!fileName || !CrcOfFile(fileName, state.buffer, crc, bytes, error)) {
        if (error.empty()) error = "No file name";
        if (errorText) *errorText = error.c_str();
        signature = "00000000";
        return signature.c_str();
    }
    if (extension) *extension = "";
    if (comment) *comment = "";
    // The interface carries a 32-bit size: a larger file reports it as unknown.
    if (size) *size = bytes <= std::numeric_limits<int32_t>::max() ? static_cast<int32_t>(bytes) : -1;
    signature = HexCrc(crc);
    return signature.c_str();
}
