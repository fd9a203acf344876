#pragma once
// How a published action is run from outside the process: the effect byte it is invoked with,
// whether it takes its argument (JSON text) as one string parameter, and that argument's form.

#include <cstdint>
#include <string>

namespace zarn_ui::bus {

struct ActionSignature {
  std::string id;
  std::uint8_t effect = 2;
  bool takes_argument = true;
  bool string_argument = true; // that argument is a JSON string (a query, an id)
};

} // namespace zarn_ui::bus
