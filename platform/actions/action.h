#pragma once
// The action records of the platform: an encoded action (namespace and JSON payload), the
// errors of decoding, encoding and execution, the context a dispatch carries (label and the
// application it comes from), and the typed-action interface through which the executor
// applies an action to the document without knowing its type.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "base/result.h"

namespace zarn_ui::doc {
class Document;
}

namespace zarn_actions {

struct EncodedAction {
  std::string ns;                    // "maps.action"
  std::vector<std::uint8_t> payload; // UTF-8 bytes of a compact JSON text
  bool operator==(EncodedAction const&) const = default;
  std::string_view payload_text() const {
    return {reinterpret_cast<char const*>(payload.data()), payload.size()};
  }
};

struct ActionError {
  enum class Kind : std::uint8_t {
    DecodingFailed,   // namespace, reader error
    EncodingFailed,   // writer error
    UnknownNamespace, // namespace
    Rejected,         // the executor refused the action
    Handler,          // a resource verb's handler failed
  };
  Kind kind = Kind::Rejected;
  std::string ns;
  std::string message;

  static ActionError decoding_failed(std::string ns, std::string error) {
    return {Kind::DecodingFailed, std::move(ns), std::move(error)};
  }
  static ActionError encoding_failed(std::string error) {
    return {Kind::EncodingFailed, {}, std::move(error)};
  }
  static ActionError rejected(std::string message) {
    return {Kind::Rejected, {}, std::move(message)};
  }
  /// The display form shown in logs and to callers.
  std::string display() const;
  bool operator==(ActionError const&) const = default;
};

template <class T> using ActionResult = tl::expected<T, ActionError>;

struct AppOrigin {
  std::string id;
  std::string name;
  bool operator==(AppOrigin const&) const = default;
};

struct ActionContext {
  std::string label;
  std::optional<AppOrigin> origin;
  std::vector<std::string> notes; // further texts a platform may attach
  bool operator==(ActionContext const&) const = default;

  /// `context` with what it leaves empty taken from `defaults`.
  static ActionContext enriched_by(ActionContext context, ActionContext const& defaults);
};

/// The 16-byte id of an invoked action that completes later.
using RequestId = std::array<std::uint8_t, 16>;

struct ActionFailure {
  std::string code; // "location_unavailable"
  std::string message;
  bool operator==(ActionFailure const&) const = default;
};

/// The outcome of an action that completed later, for the request it answers.
struct ActionCompletion {
  RequestId request{};
  tl::expected<void, ActionFailure> result;
};

/// An action the executor can apply to the document.
class TypedAction {
public:
  virtual ~TypedAction() = default;
  virtual std::string debug_text() const = 0;
  /// Runs the action's document updater; on an error the executor rolls back what it wrote.
  virtual base::Result<void> apply_action_to_doc(zarn_ui::doc::Document& doc) const = 0;
};

namespace context {

/// A label for an identifier: "ClearRecents" → "Clear recents", "maps.search.clear" → "Search
/// clear", "set_place_saved" → "Set place saved".
std::string humanize_identifier(std::string_view identifier);

} // namespace context

} // namespace zarn_actions
