#include "platform/Crc32.h"

#include <isa-l/crc.h>

namespace qm {

uint32_t Crc32(uint32_t crc, const void* data, size_t size) {
    if (size == 0) return crc;
    return crc32_gzip_refl(crc, static_cast<const unsigned char*>(data), size);
}

}  // namespace qm
