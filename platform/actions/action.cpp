#include "platform/actions/action.h"

#include <fmt/format.h>

namespace zarn_actions {

std::string ActionError::display() const {
  switch (kind) {
  case Kind::DecodingFailed:
    return fmt::format("could not decode action in namespace {}: {}", ns, message);
  case Kind::EncodingFailed:
    return fmt::format("could not encode action: {}", message);
  case Kind::UnknownNamespace:
    return fmt::format("no decoder for action namespace {}", ns);
  case Kind::Rejected:
    return fmt::format("action rejected: {}", message);
  case Kind::Handler:
    return message;
  }
  return message;
}

ActionContext ActionContext::enriched_by(ActionContext context, ActionContext const& defaults) {
  if (context.label.empty()) {
    context.label = defaults.label;
  }
  if (!context.origin) {
    context.origin = defaults.origin;
  }
  context.notes.insert(context.notes.end(), defaults.notes.begin(), defaults.notes.end());
  return context;
}

namespace context {

std::string humanize_identifier(std::string_view identifier) {
  // The last segment of a dotted or colon-separated id names the thing.
  if (auto const cut = identifier.find_last_of(".:");
      cut != std::string_view::npos && cut + 1 < identifier.size()) {
    identifier = identifier.substr(cut + 1);
  }
  std::string words;
  auto push_break = [&] {
    if (!words.empty() && words.back() != ' ') {
      words.push_back(' ');
    }
  };
  for (std::size_t i = 0; i < identifier.size(); ++i) {
    char const c = identifier[i];
    if (c == '_' || c == '-' || c == ' ') {
      push_break();
      continue;
    }
    bool const upper = c >= 'A' && c <= 'Z';
    if (upper && i > 0) {
      char const prev = identifier[i - 1];
      bool const prev_lower = (prev >= 'a' && prev <= 'z') || (prev >= '0' && prev <= '9');
      bool const next_lower =
          i + 1 < identifier.size() && identifier[i + 1] >= 'a' && identifier[i + 1] <= 'z';
      bool const prev_upper = prev >= 'A' && prev <= 'Z';
      if (prev_lower || (prev_upper && next_lower)) {
        push_break();
      }
    }
    words.push_back(words.empty() ? c : (upper ? static_cast<char>(c - 'A' + 'a') : c));
  }
  while (!words.empty() && words.back() == ' ') {
    words.pop_back();
  }
  if (!words.empty() && words[0] >= 'a' && words[0] <= 'z') {
    words[0] = static_cast<char>(words[0] - 'a' + 'A');
  }
  return words;
}

} // namespace context
} // namespace zarn_actions
