#pragma once
// The calls the application's bus object accepts, as plain values: parsed on the bus thread
// from a method call (a malformed call becomes a D-Bus error there), applied on the UI thread.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <gio/gio.h>

#include "base/result.h"
#include "platform/actions/action.h"
#include "platform/bus/action_signature.h"

namespace zarn_ui::bus {

namespace request {
struct Activate {
  /// The launcher's token ("activation-token", else "desktop-startup-id" in the platform data)
  /// that lets the window be raised and ends the launcher's busy cursor; empty without one.
  std::string activation_token;
};
struct RunAction { // org.freedesktop.Application.ActivateAction, org.gtk.Actions.Activate
  std::string id;
  std::uint8_t effect = 2;
  std::string argument; // JSON text; "null" for an action without argument
};
struct ListActions {};
struct DescribeAction {
  std::string id;
};
struct DescribeAll {};
struct ListResources {};
struct ResolveResource {
  std::string id;
};
struct InvokeResource {
  std::string resource;
  std::string verb;
  std::map<std::string, std::string, std::less<>> args;
};
struct DispatchAction {
  std::string ns;
  std::string payload;
};
struct StartAction {
  zarn_actions::RequestId request{};
  std::string id;
  std::uint8_t effect = 2;
  std::string argument;
};
struct TakeActionResult {
  zarn_actions::RequestId request{};
};
} // namespace request

using Request =
    std::variant<request::Activate, request::RunAction, request::ListActions,
                 request::DescribeAction, request::DescribeAll, request::ListResources,
                 request::ResolveResource, request::InvokeResource, request::DispatchAction,
                 request::StartAction, request::TakeActionResult>;

/// A D-Bus error: its name and a message saying what was wrong.
struct CallError {
  std::string name;
  std::string message;
};

/// The error names used for refused calls.
inline constexpr char const* INVALID_ARGS = "org.freedesktop.DBus.Error.InvalidArgs";
inline constexpr char const* NOT_SUPPORTED = "org.freedesktop.DBus.Error.NotSupported";
inline constexpr char const* ACCESS_DENIED = "org.freedesktop.DBus.Error.AccessDenied";
inline constexpr char const* UNKNOWN_METHOD = "org.freedesktop.DBus.Error.UnknownMethod";

/// How much of what a caller sent an error message quotes, in characters: enough to recognise
/// the call, never the whole of a large input.
inline constexpr std::size_t QUOTE_LIMIT = 80;
/// The longest message a reply carries, in characters (texts of the application included).
inline constexpr std::size_t MESSAGE_LIMIT = 240;

/// `text` cut after `limit` characters, marked with "…" when cut.
std::string shortened(std::string_view text, std::size_t limit);
/// What a caller sent, in single quotes, cut after QUOTE_LIMIT characters.
std::string quoted_input(std::string_view sent);

/// Parses one method call. `actions` are the published actions with their signatures;
/// org.freedesktop.Application.ActivateAction also takes the desktop-file form of an id, with
/// dashes for its dots. An action's argument must be JSON of the form its signature declares;
/// anything malformed is refused here with InvalidArgs, before the application sees it.
/// `parameters` has the method's in-signature (the bus checked it against the introspection).
tl::expected<Request, CallError> parse_call(std::string_view interface, std::string_view method,
                                            GVariant* parameters,
                                            std::vector<ActionSignature> const& actions);

/// The object path of an application id: "test.zarn.maps" → "/test/zarn/maps".
std::string object_path_for(std::string_view app_id);

} // namespace zarn_ui::bus
