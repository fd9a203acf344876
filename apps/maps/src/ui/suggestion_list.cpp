#include "ui/suggestion_list.h"

#include <algorithm>

namespace maps {

void step_highlight(std::optional<std::size_t>& highlighted, std::size_t rows, int step) {
  if (rows == 0) {
    highlighted.reset();
    return;
  }
  if (!highlighted || *highlighted >= rows) {
    highlighted = step > 0 ? 0 : rows - 1;
    return;
  }
  if (step > 0) {
    highlighted = std::min(*highlighted + 1, rows - 1);
  } else if (*highlighted > 0) {
    highlighted = *highlighted - 1;
  }
}

} // namespace maps
