#include "platform/bus/bus_request.h"

#include <algorithm>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "base/utf8.h"

namespace zarn_ui::bus {

namespace {

ActionSignature const* find_action(std::vector<ActionSignature> const& actions,
                                   std::string_view id) {
  auto const it =
      std::find_if(actions.begin(), actions.end(), [&](auto const& a) { return a.id == id; });
  return it == actions.end() ? nullptr : &*it;
}

std::string child_string(GVariant* parameters, std::size_t index) {
  GVariant* child = g_variant_get_child_value(parameters, index);
  std::string out = g_variant_get_string(child, nullptr);
  g_variant_unref(child);
  return out;
}

tl::expected<ActionSignature const*, CallError>
known_action(std::vector<ActionSignature> const& actions, std::string_view id) {
  if (auto const* a = find_action(actions, id)) {
    return a;
  }
  return tl::unexpected(CallError{INVALID_ARGS, "no published action named " + quoted_input(id)});
}

/// Refuses an argument that is not JSON, or not the JSON string the action reads.
std::optional<CallError> check_argument(ActionSignature const& action, std::string_view argument) {
  if (!action.takes_argument) {
    return std::nullopt;
  }
  if (!nlohmann::json::accept(argument)) {
    return CallError{INVALID_ARGS, fmt::format("the argument of '{}' is not JSON: {}", action.id,
                                               quoted_input(argument))};
  }
  auto const first = argument.find_first_not_of(" \t\n\r");
  if (action.string_argument && argument[first] != '"') {
    return CallError{INVALID_ARGS, fmt::format("the argument of '{}' must be a JSON string, not {}",
                                               action.id, quoted_input(argument))};
  }
  return std::nullopt;
}

/// A desktop file's action key allows no dots: "maps-locate" stands for "maps.locate".
ActionSignature const* find_desktop_action(std::vector<ActionSignature> const& actions,
                                           std::string_view key) {
  ActionSignature const* found = nullptr;
  for (auto const& a : actions) {
    std::string desktop = a.id;
    std::replace(desktop.begin(), desktop.end(), '.', '-');
    if (desktop == key) {
      if (found) {
        return nullptr; // ambiguous
      }
      found = &a;
    }
  }
  return found;
}

/// The argument of an action from the av parameter list of the standard interfaces.
tl::expected<request::RunAction, CallError>
run_action(GVariant* parameters, std::vector<ActionSignature> const& actions, bool desktop_keys) {
  std::string id = child_string(parameters, 0);
  if (auto const* alias =
          desktop_keys && !find_action(actions, id) ? find_desktop_action(actions, id) : nullptr) {
    id = alias->id;
  }
  auto action = known_action(actions, id);
  if (!action) {
    return tl::unexpected(action.error());
  }
  GVariant* list = g_variant_get_child_value(parameters, 1);
  std::size_t const n = g_variant_n_children(list);
  request::RunAction out{id, (*action)->effect, "null"};
  tl::expected<request::RunAction, CallError> result = out;
  if (!(*action)->takes_argument) {
    if (n != 0) {
      result = tl::unexpected(
          CallError{INVALID_ARGS, fmt::format("action '{}' takes no parameter", id)});
    }
  } else {
    GVariant* boxed = n == 1 ? g_variant_get_child_value(list, 0) : nullptr;
    GVariant* inner = boxed ? g_variant_get_variant(boxed) : nullptr;
    if (inner && g_variant_is_of_type(inner, G_VARIANT_TYPE_STRING)) {
      result->argument = g_variant_get_string(inner, nullptr);
      if (auto refused = check_argument(**action, result->argument)) {
        result = tl::unexpected(std::move(*refused));
      }
    } else {
      result = tl::unexpected(CallError{
          INVALID_ARGS,
          fmt::format("action '{}' takes one string parameter holding its JSON argument", id)});
    }
    if (inner) {
      g_variant_unref(inner);
    }
    if (boxed) {
      g_variant_unref(boxed);
    }
  }
  g_variant_unref(list);
  return result;
}

tl::expected<zarn_actions::RequestId, CallError> request_id(GVariant* parameters,
                                                            std::size_t index) {
  GVariant* bytes = g_variant_get_child_value(parameters, index);
  gsize n = 0;
  auto const* data = static_cast<std::uint8_t const*>(g_variant_get_fixed_array(bytes, &n, 1));
  tl::expected<zarn_actions::RequestId, CallError> out = zarn_actions::RequestId{};
  if (n != out->size()) {
    out = tl::unexpected(
        CallError{INVALID_ARGS, fmt::format("the request id must be 16 bytes, not {}", n)});
  } else {
    std::copy_n(data, n, out->begin());
  }
  g_variant_unref(bytes);
  return out;
}

} // namespace

std::string shortened(std::string_view text, std::size_t limit) {
  // A code point takes at most four bytes: the first 4 * limit bytes hold the first `limit`
  // characters, so a large text is never read whole.
  std::string_view const head = text.substr(0, 4 * limit + 4);
  std::string const valid =
      base::utf8::is_valid(head) ? std::string(head) : base::utf8::lossy(head);
  std::size_t const end = base::utf8::offset_of(valid, limit);
  if (end >= valid.size() && head.size() == text.size()) {
    return valid;
  }
  return valid.substr(0, end) + "\xE2\x80\xA6";
}

std::string quoted_input(std::string_view sent) {
  return "'" + shortened(sent, QUOTE_LIMIT) + "'";
}

std::string object_path_for(std::string_view app_id) {
  std::string path = "/";
  for (char const c : app_id) {
    bool const plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    path += c == '.' ? '/' : (plain ? c : '_');
  }
  return path;
}

namespace {

/// The activation token of an Activate call's platform data: Wayland's name first, then the
/// X11 startup id; empty when neither is a text.
std::string activation_token(GVariant* parameters) {
  if (parameters == nullptr || !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(a{sv})"))) {
    return {};
  }
  GVariant* data = g_variant_get_child_value(parameters, 0);
  std::string token;
  for (char const* key : {"activation-token", "desktop-startup-id"}) {
    char const* value = nullptr;
    if (g_variant_lookup(data, key, "&s", &value) && value != nullptr && *value != '\0') {
      token = value;
      break;
    }
  }
  g_variant_unref(data);
  return token;
}

} // namespace

tl::expected<Request, CallError> parse_call(std::string_view interface, std::string_view method,
                                            GVariant* parameters,
                                            std::vector<ActionSignature> const& actions) {
  auto unknown = [&] {
    return tl::unexpected(
        CallError{UNKNOWN_METHOD, fmt::format("no method {}.{}", interface, method)});
  };
  if (interface == "org.freedesktop.Application") {
    if (method == "Activate") {
      return request::Activate{activation_token(parameters)};
    }
    if (method == "Open") {
      return tl::unexpected(
          CallError{NOT_SUPPORTED, "this application opens no files or addresses"});
    }
    if (method == "ActivateAction") {
      return run_action(parameters, actions, true);
    }
    return unknown();
  }
  if (interface == "org.gtk.Actions") {
    if (method == "List") {
      return request::ListActions{};
    }
    if (method == "Describe") {
      std::string id = child_string(parameters, 0);
      if (auto a = known_action(actions, id); !a) {
        return tl::unexpected(a.error());
      }
      return request::DescribeAction{std::move(id)};
    }
    if (method == "DescribeAll") {
      return request::DescribeAll{};
    }
    if (method == "Activate") {
      return run_action(parameters, actions, false);
    }
    return unknown();
  }
  if (method == "ListResources") {
    return request::ListResources{};
  }
  if (method == "ResolveResource") {
    return request::ResolveResource{child_string(parameters, 0)};
  }
  if (method == "InvokeResource") {
    request::InvokeResource out{child_string(parameters, 0), child_string(parameters, 1), {}};
    GVariant* dict = g_variant_get_child_value(parameters, 2);
    GVariantIter iter;
    g_variant_iter_init(&iter, dict);
    char const* key = nullptr;
    char const* value = nullptr;
    while (g_variant_iter_next(&iter, "{&s&s}", &key, &value)) {
      out.args.insert_or_assign(key, value);
    }
    g_variant_unref(dict);
    return out;
  }
  if (method == "DispatchAction") {
    return request::DispatchAction{child_string(parameters, 0), child_string(parameters, 1)};
  }
  if (method == "StartAction") {
    auto id = request_id(parameters, 0);
    if (!id) {
      return tl::unexpected(id.error());
    }
    std::string name = child_string(parameters, 1);
    auto action = known_action(actions, name);
    if (!action) {
      return tl::unexpected(action.error());
    }
    std::string argument = child_string(parameters, 2);
    if (auto refused = check_argument(**action, argument)) {
      return tl::unexpected(std::move(*refused));
    }
    return request::StartAction{*id, std::move(name), (*action)->effect, std::move(argument)};
  }
  if (method == "TakeActionResult") {
    auto id = request_id(parameters, 0);
    if (!id) {
      return tl::unexpected(id.error());
    }
    return request::TakeActionResult{*id};
  }
  return unknown();
}

} // namespace zarn_ui::bus
