#pragma once
// Makes a mutated document file consistent again so that the fuzzer's changes reach the change
// decoder instead of stopping at the checksum or the hash chain: the magic and version are set,
// each change's sequence number follows its author's previous one, its dependencies are
// re-pointed at earlier changes, the heads are recomputed and the checksum is taken anew. The
// operations inside each change are left as mutated; what cannot be framed is cut off.

#include <cstdint>
#include <vector>

#include "targets.h"

namespace maps::fuzz {

std::vector<std::uint8_t> repair_document(Bytes file);

} // namespace maps::fuzz
