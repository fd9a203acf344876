#include "doc/save_notice.h"

namespace maps {

void tell_save_state(SaveNotice& notice, std::string& status,
                     zarn_ui::persist::Persistence const& persistence) {
  auto const& problem = persistence.save_problem();
  if (problem) {
    if (persistence.failed_saves() != notice.failures_told) {
      notice.failures_told = persistence.failed_saves();
      status = *problem;
      notice.told = *problem;
    }
    return;
  }
  // Saved again: the failure goes, unless the user already sees something newer.
  if (notice.told && status == *notice.told) {
    status.clear();
  }
  notice.told.reset();
}

} // namespace maps
