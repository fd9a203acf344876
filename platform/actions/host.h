#pragma once
// The application's action host: an optional context added to every dispatch, the document
// heads from before the first successful dispatch, and the last dispatched action.

#include <optional>
#include <vector>

#include "platform/actions/action.h"
#include "platform/doc/document.h"

namespace zarn_actions {

struct ActionHost {
  std::optional<ActionContext> default_context;
  std::optional<std::vector<zarn_ui::doc::ChangeHash>> first_heads;
  std::optional<EncodedAction> last_action;
};

} // namespace zarn_actions
