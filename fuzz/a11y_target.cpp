// The accessibility bus: any method or property of the exported interfaces, at any object
// path, against a small tree whose text field holds text from the input. An answer is a valid
// error, a reply at the method's out-signature, or a request to act on a node of the tree.

#include <string>
#include <vector>

#include "base/utf8.h"
#include "bus_calls.h"
#include "platform/a11y/atspi_answers.h"
#include "platform/a11y/atspi_codes.h"
#include "platform/a11y/tree_export.h"
#include "targets.h"

namespace maps::fuzz {

namespace {

using zarn_ui::access::AccessNode;

AccessNode leaf(std::uint8_t role, char const* id, char const* name, zarn_ui::Rect bounds) {
  AccessNode n = AccessNode{}.with_id(id).with_name(name).with_bounds(bounds);
  n.role = role;
  return n;
}

/// A window with a button, a toggle, a search field, a list of two rows and a hidden dialog.
AccessNode small_tree(std::string field_text, std::size_t caret) {
  namespace access = zarn_ui::access;
  AccessNode field = leaf(access::ROLE_SEARCH_FIELD, "maps.search", "Search", {10, 10, 300, 40});
  field.editable_text = true;
  field.focused = true;
  field.caret = std::min(caret, base::utf8::length(field_text));
  field.text = std::move(field_text);
  AccessNode toggle =
      leaf(access::ROLE_TOGGLE_BUTTON, "maps.traffic", "Traffic", {320, 10, 360, 40});
  toggle.state = 1;
  AccessNode dialog = leaf(access::ROLE_WINDOW, "maps.dialog", "Dialog", {0, 0, 100, 100});
  dialog.hidden = true;
  dialog.modal = true;
  dialog.children.push_back(leaf(access::ROLE_BUTTON, "maps.dialog.ok", "OK", {0, 0, 50, 20}));
  AccessNode root;
  root.role = access::ROLE_WINDOW;
  return std::move(root).with_name("Maps").with_children(
      {leaf(access::ROLE_BUTTON, "maps.zoom-in", "Zoom in", {0, 50, 40, 90}), std::move(toggle),
       std::move(field), leaf(access::ROLE_LIST_ITEM, "maps.hit:0", "Café", {10, 50, 300, 80}),
       leaf(access::ROLE_LIST_ITEM, "maps.hit:1", "Museum", {10, 80, 300, 110}),
       std::move(dialog)});
}

zarn_ui::a11y::ExportedTree tree_for(FuzzInput& in) {
  std::string text = base::utf8::lossy(in.text());
  std::size_t const caret = in.u16();
  zarn_ui::access::AccessPresentation presentation;
  presentation.canvas = leaf(zarn_ui::access::ROLE_CANVAS, "maps.map", "Map", {0, 0, 1280, 800});
  presentation.lists.push_back({"maps.hit:", "Results"});
  auto const root =
      zarn_ui::a11y::present_for_bus(small_tree(std::move(text), caret), presentation);
  double const scale = 0.5 + in.byte() / 64.0;
  return zarn_ui::a11y::export_tree(root, {100, 50}, {0, 0, 1280, 800}, scale);
}

std::string path_for(FuzzInput& in, zarn_ui::a11y::ExportedTree const& tree) {
  auto const choice = in.byte();
  if (choice == 0) {
    std::string path(in.text()); // any path the bus lets through
    if (g_variant_is_object_path(path.c_str())) {
      return path;
    }
  }
  if (choice == 1 || tree.nodes.empty()) {
    return zarn_ui::a11y::ROOT_PATH;
  }
  return tree.nodes[choice % tree.nodes.size()].path;
}

bool known_node(zarn_ui::a11y::ExportedTree const& tree, std::string_view id_text) {
  for (auto const& n : tree.nodes) {
    if (!id_text.empty() && n.id_text == id_text) {
      return true;
    }
  }
  return false;
}

} // namespace

bool a11y(Bytes data) {
  fatal_glib_criticals();
  static Introspection const interfaces(zarn_ui::a11y::atspi_interfaces_xml());
  static std::string const unique_name = ":1.7";
  static std::string const app_name = "Maps";
  static std::string const version = "1.0";
  static std::string const desktop_name = "org.a11y.atspi.Registry";
  static std::string const desktop_path = "/org/a11y/atspi/accessible/root";
  FuzzInput in(data);
  auto const tree = tree_for(in);
  zarn_ui::a11y::AnswerContext const ctx{tree,         unique_name,  app_name, version,
                                         desktop_name, desktop_path, 7};
  auto const path = path_for(in, tree);
  (void)zarn_ui::a11y::object_interfaces(tree, path);

  if (in.byte() % 4 == 0) {
    auto const read = interfaces.property(in);
    Variant const value(zarn_ui::a11y::answer_property(ctx, path, read.interface, read.property));
    check(!value.get() || g_variant_is_of_type(value.get(), G_VARIANT_TYPE(read.signature.c_str())),
          "a property does not have its declared type");
    return value.get() != nullptr;
  }
  auto const call = interfaces.call(in);
  auto answer =
      zarn_ui::a11y::answer_call(ctx, path, call.interface, call.method, call.parameters.get());
  Variant const reply(answer.reply);
  if (answer.perform) {
    check(!reply.get() && answer.error_name.empty(), "an action request also answered");
    check(known_node(tree, answer.perform->id_text), "an action request names no node");
    check(!answer.perform->text || base::utf8::is_valid(*answer.perform->text),
          "a text to set is not UTF-8");
    return true;
  }
  if (!reply.get()) {
    check(!answer.error_name.empty(), "a call got neither a reply nor an error");
    check_error(answer.error_name, answer.error_text);
    return false;
  }
  check_reply(call, reply.get());
  return true;
}

} // namespace maps::fuzz
