// The libFuzzer entry of one target; MAPS_FUZZ_TARGET names its function.

#include <cstddef>
#include <cstdint>

#include "targets.h"

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  (void)maps::fuzz::MAPS_FUZZ_TARGET({data, size});
  return 0;
}
