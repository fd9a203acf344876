#pragma once
// PNG chunk checksums for fuzzing: libspng refuses a chunk whose CRC does not match, which
// would stop nearly every mutation at the first chunk it touches.

#include <cstdint>
#include <span>

namespace maps::fuzz {

/// Recomputes the CRC of every complete chunk after the 8-byte signature, in place.
void fix_chunk_crcs(std::span<std::uint8_t> png);

} // namespace maps::fuzz
