#pragma once
// The second start of an application whose id is already owned on the bus: it asks the running
// instance to raise its window and, when given, to run one published action.

#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"

namespace zarn_ui::bus {

struct ForwardedAction {
  std::string id;
  std::optional<std::string> argument; // JSON text
};

/// Calls Activate, then ActivateAction for `action`, on the owner of `app_id`. The error is the
/// bus's or the running instance's answer.
base::Result<void> hand_off(std::string_view app_id, std::optional<std::string> const& address,
                            std::optional<ForwardedAction> const& action);

} // namespace zarn_ui::bus
