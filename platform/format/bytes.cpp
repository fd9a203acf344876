#include "platform/format/bytes.h"

#include <fmt/format.h>

namespace zarn_ui::format {

std::string bytes(std::uint64_t count) {
  auto const n = static_cast<double>(count);
  if (count >= 1'000'000'000) {
    return fmt::format("{:.1f} GB", n / 1e9);
  }
  if (count >= 1'000'000) {
    return fmt::format("{:.1f} MB", n / 1e6);
  }
  if (count >= 1'000) {
    return fmt::format("{:.1f} KB", n / 1e3);
  }
  return fmt::format("{} B", count);
}

} // namespace zarn_ui::format
