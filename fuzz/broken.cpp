#include <cstdio>
#include <cstdlib>

#include "targets.h"

namespace maps::fuzz {

void broken(char const* what) {
  std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
  std::abort();
}

} // namespace maps::fuzz
