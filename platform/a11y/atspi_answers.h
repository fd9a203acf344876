#pragma once
// What the exported objects answer: the calls and properties of Accessible, Component, Action,
// Text (a field's text and caret), EditableText (setting the whole text) and Application, read
// from one frame's exported tree. Calls that act (doing an action, grabbing the focus, setting a
// text) are answered by the UI thread; here they only name the node and what to do.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <gio/gio.h>

#include "platform/a11y/tree_export.h"

namespace zarn_ui::a11y {

inline constexpr char const* ERROR_UNKNOWN_OBJECT = "org.freedesktop.DBus.Error.UnknownObject";
inline constexpr char const* ERROR_UNKNOWN_METHOD = "org.freedesktop.DBus.Error.UnknownMethod";
inline constexpr char const* ERROR_INVALID_ARGS = "org.freedesktop.DBus.Error.InvalidArgs";

/// Who answers: this connection's unique name and the application object's data.
struct AnswerContext {
  ExportedTree const& tree;
  std::string const& unique_name;
  std::string const& app_name;
  std::string const& version;
  std::string const& desktop_name; // the registry's root, the application's parent
  std::string const& desktop_path;
  std::int32_t app_id = 0;
};

/// A semantic action to perform on the UI thread.
struct PerformRequest {
  std::string id_text;
  access::AccessAction action = access::AccessAction::Press;
  std::optional<std::string> text; // the text to set (SetValue)
};

struct CallAnswer {
  GVariant* reply = nullptr; // floating; set when answered here
  std::string error_name;    // set when failed
  std::string error_text;
  std::optional<PerformRequest> perform; // set when the UI thread must act
};

/// The answer to method `method` of `interface` at `path`.
CallAnswer answer_call(AnswerContext const& ctx, std::string_view path, std::string_view interface,
                       std::string_view method, GVariant* parameters);

/// The value (floating) of a property; null for an unknown object or property.
GVariant* answer_property(AnswerContext const& ctx, std::string_view path,
                          std::string_view interface, std::string_view property);

/// The interfaces an object at `path` implements; empty for an unknown path.
std::vector<std::string_view> object_interfaces(ExportedTree const& tree, std::string_view path);

/// The introspection description of every interface exported here.
char const* atspi_interfaces_xml();

} // namespace zarn_ui::a11y
