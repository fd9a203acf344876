#pragma once
// How a published action is run from outside the process: the effect byte it is invoked with
// and whether it takes its argument (JSON text) as one string parameter.

#include <cstdint>
#include <string>

namespace zarn_ui::bus {

struct ActionSignature {
  std::string id;
  std::uint8_t effect = 2;
  bool takes_argument = true;
};

} // namespace zarn_ui::bus
