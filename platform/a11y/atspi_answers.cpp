#include "platform/a11y/atspi_answers.h"

#include <algorithm>
#include <cmath>

#include <fmt/format.h>

#include "base/saturate.h"
#include "base/utf8.h"
#include "platform/a11y/atspi_codes.h"
#include "platform/access/access_node.h"

namespace zarn_ui::a11y {

namespace {

constexpr char XML[] = R"xml(<node>
<interface name="org.a11y.atspi.Accessible">
  <property name="version" type="u" access="read"/>
  <property name="Name" type="s" access="read"/>
  <property name="Description" type="s" access="read"/>
  <property name="Parent" type="(so)" access="read"/>
  <property name="ChildCount" type="i" access="read"/>
  <property name="Locale" type="s" access="read"/>
  <property name="AccessibleId" type="s" access="read"/>
  <property name="HelpText" type="s" access="read"/>
  <method name="GetChildAtIndex"><arg direction="in" name="index" type="i"/><arg direction="out" type="(so)"/></method>
  <method name="GetChildren"><arg direction="out" type="a(so)"/></method>
  <method name="GetIndexInParent"><arg direction="out" type="i"/></method>
  <method name="GetRelationSet"><arg direction="out" type="a(ua(so))"/></method>
  <method name="GetRole"><arg direction="out" type="u"/></method>
  <method name="GetRoleName"><arg direction="out" type="s"/></method>
  <method name="GetLocalizedRoleName"><arg direction="out" type="s"/></method>
  <method name="GetState"><arg direction="out" type="au"/></method>
  <method name="GetAttributes"><arg direction="out" type="a{ss}"/></method>
  <method name="GetApplication"><arg direction="out" type="(so)"/></method>
  <method name="GetInterfaces"><arg direction="out" type="as"/></method>
</interface>
<interface name="org.a11y.atspi.Component">
  <property name="version" type="u" access="read"/>
  <method name="Contains"><arg direction="in" name="x" type="i"/><arg direction="in" name="y" type="i"/><arg direction="in" name="coord_type" type="u"/><arg direction="out" type="b"/></method>
  <method name="GetAccessibleAtPoint"><arg direction="in" name="x" type="i"/><arg direction="in" name="y" type="i"/><arg direction="in" name="coord_type" type="u"/><arg direction="out" type="(so)"/></method>
  <method name="GetExtents"><arg direction="in" name="coord_type" type="u"/><arg direction="out" type="(iiii)"/></method>
  <method name="GetPosition"><arg direction="in" name="coord_type" type="u"/><arg direction="out" name="x" type="i"/><arg direction="out" name="y" type="i"/></method>
  <method name="GetSize"><arg direction="out" name="width" type="i"/><arg direction="out" name="height" type="i"/></method>
  <method name="GetLayer"><arg direction="out" type="u"/></method>
  <method name="GetMDIZOrder"><arg direction="out" type="n"/></method>
  <method name="GrabFocus"><arg direction="out" type="b"/></method>
  <method name="GetAlpha"><arg direction="out" type="d"/></method>
  <method name="SetExtents"><arg direction="in" name="x" type="i"/><arg direction="in" name="y" type="i"/><arg direction="in" name="width" type="i"/><arg direction="in" name="height" type="i"/><arg direction="in" name="coord_type" type="u"/><arg direction="out" type="b"/></method>
  <method name="SetPosition"><arg direction="in" name="x" type="i"/><arg direction="in" name="y" type="i"/><arg direction="in" name="coord_type" type="u"/><arg direction="out" type="b"/></method>
  <method name="SetSize"><arg direction="in" name="width" type="i"/><arg direction="in" name="height" type="i"/><arg direction="out" type="b"/></method>
  <method name="ScrollTo"><arg direction="in" name="type" type="u"/><arg direction="out" type="b"/></method>
  <method name="ScrollToPoint"><arg direction="in" name="coord_type" type="u"/><arg direction="in" name="x" type="i"/><arg direction="in" name="y" type="i"/><arg direction="out" type="b"/></method>
</interface>
<interface name="org.a11y.atspi.Action">
  <property name="version" type="u" access="read"/>
  <property name="NActions" type="i" access="read"/>
  <method name="GetDescription"><arg type="i" name="index" direction="in"/><arg type="s" direction="out"/></method>
  <method name="GetName"><arg type="i" name="index" direction="in"/><arg type="s" direction="out"/></method>
  <method name="GetLocalizedName"><arg type="i" name="index" direction="in"/><arg type="s" direction="out"/></method>
  <method name="GetKeyBinding"><arg type="i" name="index" direction="in"/><arg type="s" direction="out"/></method>
  <method name="GetActions"><arg direction="out" type="a(sss)"/></method>
  <method name="DoAction"><arg direction="in" name="index" type="i"/><arg direction="out" type="b"/></method>
</interface>
<interface name="org.a11y.atspi.Text">
  <property name="CharacterCount" type="i" access="read"/>
  <property name="CaretOffset" type="i" access="read"/>
  <method name="GetText"><arg direction="in" name="startOffset" type="i"/><arg direction="in" name="endOffset" type="i"/><arg direction="out" type="s"/></method>
  <method name="GetCharacterAtOffset"><arg direction="in" name="offset" type="i"/><arg direction="out" type="i"/></method>
  <method name="GetStringAtOffset"><arg direction="in" name="offset" type="i"/><arg direction="in" name="granularity" type="u"/><arg direction="out" type="s"/><arg direction="out" name="startOffset" type="i"/><arg direction="out" name="endOffset" type="i"/></method>
  <method name="SetCaretOffset"><arg direction="in" name="offset" type="i"/><arg direction="out" type="b"/></method>
  <method name="GetNSelections"><arg direction="out" type="i"/></method>
  <method name="GetSelection"><arg direction="in" name="selectionNum" type="i"/><arg direction="out" name="startOffset" type="i"/><arg direction="out" name="endOffset" type="i"/></method>
</interface>
<interface name="org.a11y.atspi.EditableText">
  <method name="SetTextContents"><arg direction="in" name="newContents" type="s"/><arg direction="out" type="b"/></method>
</interface>
<interface name="org.a11y.atspi.Application">
  <property name="ToolkitName" type="s" access="read"/>
  <property name="Version" type="s" access="read"/>
  <property name="ToolkitVersion" type="s" access="read"/>
  <property name="AtspiVersion" type="s" access="read"/>
  <property name="InterfaceVersion" type="u" access="read"/>
  <property name="Id" type="i" access="readwrite"/>
  <method name="GetLocale"><arg direction="in" name="lctype" type="u"/><arg direction="out" type="s"/></method>
  <method name="GetApplicationBusAddress"><arg direction="out" type="s"/></method>
</interface>
</node>)xml";

GVariant* ref(AnswerContext const& ctx, std::string_view path) {
  return g_variant_new("(so)", ctx.unique_name.c_str(), std::string(path).c_str());
}
GVariant* null_ref(AnswerContext const& ctx) {
  return ref(ctx, NULL_PATH);
}

GVariant* node_ref(AnswerContext const& ctx, int index) {
  return ref(ctx, ctx.tree.nodes[static_cast<std::size_t>(index)].path);
}

GVariant* parent_ref(AnswerContext const& ctx, ExportedNode const& node) {
  return node.parent == APP_INDEX ? ref(ctx, ROOT_PATH) : node_ref(ctx, node.parent);
}

std::int32_t to_int(double v) {
  return base::saturating_cast<std::int32_t>(std::round(v));
}

/// The offset that takes window coordinates to those of `coord` for `node`.
Point offset_for(AnswerContext const& ctx, ExportedNode const* node, std::uint32_t coord) {
  if (coord == COORD_SCREEN) {
    return ctx.tree.window_origin;
  }
  if (coord == COORD_PARENT && node != nullptr && node->parent != APP_INDEX) {
    Rect const& p = ctx.tree.nodes[static_cast<std::size_t>(node->parent)].bounds;
    return {-p.x0, -p.y0};
  }
  return {0.0, 0.0};
}

/// The deepest descendant of `index` (APP_INDEX: the whole tree) holding the window point,
/// the last drawn first; -1 for none.
int deepest_at(ExportedTree const& tree, int index, Point p) {
  auto const& children = tree.children_of(index);
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    auto const& child = tree.nodes[static_cast<std::size_t>(*it)];
    if (child.bounds.contains(p)) {
      int const deeper = deepest_at(tree, *it, p);
      return deeper >= 0 ? deeper : *it;
    }
  }
  return -1;
}

GVariant* children_variant(AnswerContext const& ctx, int index) {
  GVariantBuilder b;
  g_variant_builder_init(&b, G_VARIANT_TYPE("a(so)"));
  for (int const c : ctx.tree.children_of(index)) {
    g_variant_builder_add_value(&b, node_ref(ctx, c));
  }
  return g_variant_builder_end(&b);
}

GVariant* strings_variant(std::vector<std::string_view> const& items) {
  GVariantBuilder b;
  g_variant_builder_init(&b, G_VARIANT_TYPE("as"));
  for (auto const s : items) {
    g_variant_builder_add(&b, "s", std::string(s).c_str());
  }
  return g_variant_builder_end(&b);
}

CallAnswer reply(GVariant* v) {
  return {v, {}, {}, {}};
}
CallAnswer fail(char const* name, std::string text) {
  return {nullptr, name, std::move(text), {}};
}

CallAnswer root_call(AnswerContext const& ctx, std::string_view interface, std::string_view method,
                     GVariant* params) {
  if (interface == IFACE_APPLICATION) {
    if (method == "GetLocale") {
      return reply(g_variant_new("(s)", ""));
    }
    if (method == "GetApplicationBusAddress") {
      return reply(g_variant_new("(s)", ""));
    }
    return fail(ERROR_UNKNOWN_METHOD, "no such method");
  }
  if (method == "GetChildAtIndex") {
    std::int32_t i = 0;
    g_variant_get(params, "(i)", &i);
    auto const& top = ctx.tree.top;
    return reply(g_variant_new("(@(so))", i >= 0 && static_cast<std::size_t>(i) < top.size()
                                              ? node_ref(ctx, top[static_cast<std::size_t>(i)])
                                              : null_ref(ctx)));
  }
  if (method == "GetChildren") {
    return reply(g_variant_new("(@a(so))", children_variant(ctx, APP_INDEX)));
  }
  if (method == "GetIndexInParent") {
    return reply(g_variant_new("(i)", -1));
  }
  if (method == "GetRelationSet") {
    return reply(
        g_variant_new("(@a(ua(so)))", g_variant_new_array(G_VARIANT_TYPE("(ua(so))"), nullptr, 0)));
  }
  if (method == "GetRole") {
    return reply(g_variant_new("(u)", atspi_role::APPLICATION));
  }
  if (method == "GetRoleName" || method == "GetLocalizedRoleName") {
    return reply(g_variant_new("(s)", "application"));
  }
  if (method == "GetState") {
    GVariantBuilder b;
    g_variant_builder_init(&b, G_VARIANT_TYPE("au"));
    g_variant_builder_add(&b, "u", 0U);
    g_variant_builder_add(&b, "u", 0U);
    return reply(g_variant_new("(au)", &b));
  }
  if (method == "GetAttributes") {
    return reply(
        g_variant_new("(@a{ss})", g_variant_new_array(G_VARIANT_TYPE("{ss}"), nullptr, 0)));
  }
  if (method == "GetApplication") {
    return reply(g_variant_new("(@(so))", ref(ctx, ROOT_PATH)));
  }
  if (method == "GetInterfaces") {
    return reply(g_variant_new("(@as)", strings_variant(object_interfaces(ctx.tree, ROOT_PATH))));
  }
  return fail(ERROR_UNKNOWN_METHOD, "no such method");
}

CallAnswer accessible_call(AnswerContext const& ctx, ExportedNode const& node, int index,
                           std::string_view method, GVariant* params) {
  if (method == "GetChildAtIndex") {
    std::int32_t i = 0;
    g_variant_get(params, "(i)", &i);
    return reply(
        g_variant_new("(@(so))", i >= 0 && static_cast<std::size_t>(i) < node.children.size()
                                     ? node_ref(ctx, node.children[static_cast<std::size_t>(i)])
                                     : null_ref(ctx)));
  }
  if (method == "GetChildren") {
    return reply(g_variant_new("(@a(so))", children_variant(ctx, index)));
  }
  if (method == "GetIndexInParent") {
    return reply(g_variant_new("(i)", node.index_in_parent));
  }
  if (method == "GetRelationSet") {
    return reply(
        g_variant_new("(@a(ua(so)))", g_variant_new_array(G_VARIANT_TYPE("(ua(so))"), nullptr, 0)));
  }
  if (method == "GetRole") {
    return reply(g_variant_new("(u)", node.role));
  }
  if (method == "GetRoleName" || method == "GetLocalizedRoleName") {
    return reply(g_variant_new("(s)", std::string(atspi_role_name(node.role)).c_str()));
  }
  if (method == "GetState") {
    GVariantBuilder b;
    g_variant_builder_init(&b, G_VARIANT_TYPE("au"));
    g_variant_builder_add(&b, "u", node.states[0]);
    g_variant_builder_add(&b, "u", node.states[1]);
    return reply(g_variant_new("(au)", &b));
  }
  if (method == "GetAttributes") {
    GVariantBuilder b;
    g_variant_builder_init(&b, G_VARIANT_TYPE("a{ss}"));
    if (!node.id_text.empty()) {
      g_variant_builder_add(&b, "{ss}", "id", node.id_text.c_str());
    }
    if (node.live) {
      // Readers that follow live regions rather than announcements speak its text changes.
      g_variant_builder_add(&b, "{ss}", "live", "polite");
      g_variant_builder_add(&b, "{ss}", "container-live", "polite");
    }
    return reply(g_variant_new("(a{ss})", &b));
  }
  if (method == "GetApplication") {
    return reply(g_variant_new("(@(so))", ref(ctx, ROOT_PATH)));
  }
  if (method == "GetInterfaces") {
    return reply(g_variant_new("(@as)", strings_variant(object_interfaces(ctx.tree, node.path))));
  }
  return fail(ERROR_UNKNOWN_METHOD, "no such method");
}

CallAnswer component_call(AnswerContext const& ctx, ExportedNode const& node, int index,
                          std::string_view method, GVariant* params) {
  if (method == "Contains" || method == "GetAccessibleAtPoint") {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::uint32_t coord = 0;
    g_variant_get(params, "(iiu)", &x, &y, &coord);
    Point const off = offset_for(ctx, &node, coord);
    Point const p{x - off.x, y - off.y};
    if (method == "Contains") {
      return reply(g_variant_new("(b)", node.bounds.contains(p)));
    }
    int const hit = deepest_at(ctx.tree, index, p);
    return reply(g_variant_new("(@(so))", hit >= 0 ? node_ref(ctx, hit) : null_ref(ctx)));
  }
  if (method == "GetExtents" || method == "GetPosition") {
    std::uint32_t coord = 0;
    g_variant_get(params, "(u)", &coord);
    Point const off = offset_for(ctx, &node, coord);
    std::int32_t const x = to_int(node.bounds.x0 + off.x);
    std::int32_t const y = to_int(node.bounds.y0 + off.y);
    if (method == "GetPosition") {
      return reply(g_variant_new("(ii)", x, y));
    }
    return reply(
        g_variant_new("((iiii))", x, y, to_int(node.bounds.width()), to_int(node.bounds.height())));
  }
  if (method == "GetSize") {
    return reply(g_variant_new("(ii)", to_int(node.bounds.width()), to_int(node.bounds.height())));
  }
  if (method == "GetLayer") {
    return reply(g_variant_new("(u)", node.parent == APP_INDEX ? LAYER_WINDOW : LAYER_WIDGET));
  }
  if (method == "GetMDIZOrder") {
    return reply(g_variant_new("(n)", static_cast<gint16>(0)));
  }
  if (method == "GetAlpha") {
    return reply(g_variant_new("(d)", 1.0));
  }
  if (method == "GrabFocus") {
    for (auto const action : node.actions) {
      if (action == access::AccessAction::Focus) {
        return {nullptr, {}, {}, PerformRequest{node.id_text, action, std::nullopt}};
      }
    }
    return reply(g_variant_new("(b)", FALSE));
  }
  if (method == "SetExtents" || method == "SetPosition" || method == "SetSize" ||
      method == "ScrollTo" || method == "ScrollToPoint") {
    return reply(g_variant_new("(b)", FALSE)); // the layout places every node
  }
  return fail(ERROR_UNKNOWN_METHOD, "no such method");
}

CallAnswer action_call(ExportedNode const& node, std::string_view method, GVariant* params) {
  if (method == "GetActions") {
    GVariantBuilder b;
    g_variant_builder_init(&b, G_VARIANT_TYPE("a(sss)"));
    for (auto const action : node.actions) {
      std::string const name(action_name(action));
      g_variant_builder_add(&b, "(sss)", name.c_str(), node.name.c_str(), "");
    }
    return reply(g_variant_new("(a(sss))", &b));
  }
  std::int32_t i = 0;
  g_variant_get(params, "(i)", &i);
  if (i < 0 || static_cast<std::size_t>(i) >= node.actions.size()) {
    return fail(ERROR_INVALID_ARGS, "no action at that index");
  }
  auto const action = node.actions[static_cast<std::size_t>(i)];
  if (method == "DoAction") {
    return {nullptr, {}, {}, PerformRequest{node.id_text, action, std::nullopt}};
  }
  if (method == "GetName" || method == "GetLocalizedName") {
    return reply(g_variant_new("(s)", std::string(action_name(action)).c_str()));
  }
  if (method == "GetDescription") {
    return reply(g_variant_new("(s)", node.name.c_str()));
  }
  if (method == "GetKeyBinding") {
    return reply(g_variant_new("(s)", ""));
  }
  return fail(ERROR_UNKNOWN_METHOD, "no such method");
}

/// The characters [start, end) of a node's text, clamped to it; an end of -1 is the end.
std::string text_run(ExportedNode const& node, std::int32_t start, std::int32_t end) {
  std::int32_t const n = node.character_count;
  if (end < 0 || end > n) {
    end = n;
  }
  start = std::clamp(start, 0, end);
  std::string const& text = *node.text;
  std::size_t const a = base::utf8::offset_of(text, static_cast<std::size_t>(start));
  return text.substr(a, base::utf8::offset_of(text, static_cast<std::size_t>(end)) - a);
}

CallAnswer text_call(ExportedNode const& node, std::string_view method, GVariant* params) {
  if (method == "GetText") {
    std::int32_t start = 0;
    std::int32_t end = 0;
    g_variant_get(params, "(ii)", &start, &end);
    return reply(g_variant_new("(s)", text_run(node, start, end).c_str()));
  }
  if (method == "GetCharacterAtOffset") {
    std::int32_t at = 0;
    g_variant_get(params, "(i)", &at);
    std::int32_t cp = 0;
    if (at >= 0 && at < node.character_count) {
      std::string const one = text_run(node, at, at + 1);
      std::size_t pos = 0;
      cp = static_cast<std::int32_t>(base::utf8::decode(one, pos).value_or(0));
    }
    return reply(g_variant_new("(i)", cp));
  }
  if (method == "GetStringAtOffset") {
    std::int32_t at = 0;
    std::uint32_t granularity = 0;
    g_variant_get(params, "(iu)", &at, &granularity);
    if (at < 0 || at > node.character_count) {
      return reply(g_variant_new("(sii)", "", 0, 0));
    }
    if (granularity == GRANULARITY_CHAR) {
      std::int32_t const end = std::min(at + 1, node.character_count);
      return reply(g_variant_new("(sii)", text_run(node, at, end).c_str(), at, end));
    }
    if (granularity == GRANULARITY_LINE || granularity == GRANULARITY_PARAGRAPH) {
      // The fields are single lines.
      return reply(g_variant_new("(sii)", node.text->c_str(), 0, node.character_count));
    }
    return fail(ERROR_INVALID_ARGS, "only characters, lines and paragraphs are told");
  }
  if (method == "SetCaretOffset") {
    return reply(g_variant_new("(b)", FALSE)); // the caret follows the keyboard only
  }
  bool const selected = node.selection_start < node.selection_end;
  if (method == "GetNSelections") {
    return reply(g_variant_new("(i)", selected ? 1 : 0));
  }
  if (method == "GetSelection") {
    std::int32_t index = 0;
    g_variant_get(params, "(i)", &index);
    if (index != 0 || !selected) {
      return reply(g_variant_new("(ii)", 0, 0));
    }
    return reply(g_variant_new("(ii)", node.selection_start, node.selection_end));
  }
  return fail(ERROR_UNKNOWN_METHOD, "no such method");
}

} // namespace

char const* atspi_interfaces_xml() {
  return XML;
}

std::vector<std::string_view> object_interfaces(ExportedTree const& tree, std::string_view path) {
  if (path == ROOT_PATH) {
    return {IFACE_ACCESSIBLE, IFACE_APPLICATION};
  }
  ExportedNode const* node = tree.find(path);
  if (node == nullptr) {
    return {};
  }
  std::vector<std::string_view> out{IFACE_ACCESSIBLE, IFACE_COMPONENT};
  if (!node->actions.empty()) {
    out.push_back(IFACE_ACTION);
  }
  if (node->text) {
    out.push_back(IFACE_TEXT);
    if (node->has_state(atspi_state::EDITABLE)) {
      out.push_back(IFACE_EDITABLE_TEXT);
    }
  }
  return out;
}

CallAnswer answer_call(AnswerContext const& ctx, std::string_view path, std::string_view interface,
                       std::string_view method, GVariant* parameters) {
  if (path == ROOT_PATH) {
    return root_call(ctx, interface, method, parameters);
  }
  auto const it = ctx.tree.by_path.find(std::string(path));
  if (it == ctx.tree.by_path.end()) {
    return fail(ERROR_UNKNOWN_OBJECT, "the object is gone");
  }
  auto const& node = ctx.tree.nodes[static_cast<std::size_t>(it->second)];
  if (interface == IFACE_ACCESSIBLE) {
    return accessible_call(ctx, node, it->second, method, parameters);
  }
  if (interface == IFACE_COMPONENT) {
    return component_call(ctx, node, it->second, method, parameters);
  }
  if (interface == IFACE_ACTION && !node.actions.empty()) {
    return action_call(node, method, parameters);
  }
  if (interface == IFACE_TEXT && node.text) {
    return text_call(node, method, parameters);
  }
  if (interface == IFACE_EDITABLE_TEXT && node.text && node.has_state(atspi_state::EDITABLE) &&
      method == "SetTextContents") {
    char const* text = nullptr;
    g_variant_get(parameters, "(&s)", &text);
    if (!g_utf8_validate(text, -1, nullptr)) {
      return fail(ERROR_INVALID_ARGS, "the text is not UTF-8");
    }
    if (g_utf8_strlen(text, -1) > static_cast<glong>(access::MAX_TEXT_FIELD_CHARS)) {
      return fail(ERROR_INVALID_ARGS, fmt::format("the text is longer than {} characters",
                                                  access::MAX_TEXT_FIELD_CHARS));
    }
    return {nullptr,
            {},
            {},
            PerformRequest{node.id_text, access::AccessAction::SetValue, std::string(text)}};
  }
  return fail(ERROR_UNKNOWN_METHOD, "no such interface");
}

GVariant* answer_property(AnswerContext const& ctx, std::string_view path,
                          std::string_view interface, std::string_view property) {
  if (path == ROOT_PATH) {
    if (interface == IFACE_APPLICATION) {
      if (property == "ToolkitName") {
        return g_variant_new_string("zarn");
      }
      if (property == "Version" || property == "ToolkitVersion") {
        return g_variant_new_string(ctx.version.c_str());
      }
      if (property == "AtspiVersion") {
        return g_variant_new_string("2.1");
      }
      if (property == "InterfaceVersion") {
        return g_variant_new_uint32(1);
      }
      if (property == "Id") {
        return g_variant_new_int32(ctx.app_id);
      }
      return nullptr;
    }
    if (property == "Name") {
      return g_variant_new_string(ctx.app_name.c_str());
    }
    if (property == "Parent") {
      return g_variant_new("(so)", ctx.desktop_name.c_str(), ctx.desktop_path.c_str());
    }
    if (property == "ChildCount") {
      return g_variant_new_int32(static_cast<std::int32_t>(ctx.tree.top.size()));
    }
  } else {
    ExportedNode const* node = ctx.tree.find(path);
    if (node == nullptr) {
      return nullptr;
    }
    if (interface == IFACE_ACTION) {
      return property == "NActions"
                 ? g_variant_new_int32(static_cast<std::int32_t>(node->actions.size()))
             : property == "version" ? g_variant_new_uint32(1)
                                     : nullptr;
    }
    if (interface == IFACE_TEXT) {
      return !node->text                    ? nullptr
             : property == "CharacterCount" ? g_variant_new_int32(node->character_count)
             : property == "CaretOffset"    ? g_variant_new_int32(node->caret)
                                            : nullptr;
    }
    if (property == "Name") {
      return g_variant_new_string(node->name.c_str());
    }
    if (property == "Description") {
      return g_variant_new_string(node->description.c_str());
    }
    if (property == "Parent") {
      return parent_ref(ctx, *node);
    }
    if (property == "ChildCount") {
      return g_variant_new_int32(static_cast<std::int32_t>(node->children.size()));
    }
    if (property == "AccessibleId") {
      return g_variant_new_string(node->id_text.c_str());
    }
  }
  if (property == "version") {
    return g_variant_new_uint32(1);
  }
  if (property == "Description" || property == "Locale" || property == "AccessibleId" ||
      property == "HelpText") {
    return g_variant_new_string("");
  }
  return nullptr;
}

} // namespace zarn_ui::a11y
