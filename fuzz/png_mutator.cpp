// The PNG target's mutator: libFuzzer's own mutations, then every chunk's CRC made to match,
// so that mutated inputs reach libspng's decoding instead of its checksum test.

#include <cstddef>
#include <cstdint>

#include "png_chunks.h"

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t max_size);

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size,
                                               std::size_t max_size, unsigned int /*seed*/) {
  std::size_t const n = LLVMFuzzerMutate(data, size, max_size);
  maps::fuzz::fix_chunk_crcs({data, n});
  return n;
}
