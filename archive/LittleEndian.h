// Little-endian fields of the zip structures, read from raw bytes (the central directory
// as the archiver lists it and as the rename engine patches it).
#pragma once

#include <cstdint>

namespace qm {

inline uint16_t Get16(const void* bytes) {
    const auto* u = static_cast<const unsigned char*>(bytes);
    return static_cast<uint16_t>(u[0] | u[1] << 8);
}

inline uint32_t Get32(const void* bytes) {
    const auto* u = static_cast<const unsigned char*>(bytes);
    return u[0] | u[1] << 8 | u[2] << 16 | static_cast<uint32_t>(u[3]) << 24;
}

}  // namespace qm
