#pragma once
// Display text of a byte count with decimal units: "999 B", "1.0 KB", "47.5 MB", "2.3 GB".

#include <cstdint>
#include <string>

namespace zarn_ui::format {

std::string bytes(std::uint64_t count);

} // namespace zarn_ui::format
