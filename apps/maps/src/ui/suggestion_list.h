#pragma once
// What the lists of suggested places share: how long their searches wait for the typing to
// pause, how many rows they show and how the arrow keys move the highlighted row through them.

#include <chrono>
#include <cstddef>
#include <optional>

namespace maps {

/// Requests are debounced this long after the last edit.
inline constexpr auto INPUT_DEBOUNCE = std::chrono::milliseconds(280);

/// Rows a suggestion list shows at most.
inline constexpr std::size_t MAX_SUGGESTION_ROWS = 6;

/// Moves the highlight one row down (`step` 1) or up (-1) through the rows on show, starting at
/// the first or last row.
void step_highlight(std::optional<std::size_t>& highlighted, std::size_t rows, int step);

} // namespace maps
