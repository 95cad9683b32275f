#pragma once
// CRC-32 as zip archives and datafiles give it, at memory speed: ISA-L's vectorised
// routine, which gives zlib's crc32 bit for bit (about four times libdeflate's and ten
// times zlib's rate on the machines we build for).
#include <cstddef>
#include <cstdint>

namespace qm {

// Chains like zlib's crc32: Crc32(Crc32(0, a), b) is the CRC of a followed by b, and
// the CRC of nothing is 0.
uint32_t Crc32(uint32_t crc, const void* data, size_t size);

}  // namespace qm
