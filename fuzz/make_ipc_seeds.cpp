#include "make_ipc_seeds.h"

#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

#include <gio/gio.h>

#include "bus_calls.h"
#include "platform/a11y/atspi_answers.h"
#include "platform/bus/app_bus.h"

namespace maps::fuzz {

namespace {

namespace fs = std::filesystem;

/// Writes what FuzzInput reads.
class SeedWriter {
public:
  SeedWriter& byte(std::uint8_t b) {
    out_ += static_cast<char>(b);
    return *this;
  }
  SeedWriter& u16(std::uint32_t v) { return byte(v & 0xff).byte(v >> 8 & 0xff); }
  SeedWriter& u32(std::uint32_t v) { return u16(v & 0xffff).u16(v >> 16); }
  SeedWriter& raw(std::string_view bytes) {
    out_ += bytes;
    return *this;
  }
  SeedWriter& text(std::string_view t) { return u16(static_cast<std::uint32_t>(t.size())).raw(t); }
  SeedWriter& long_text(std::string_view t) {
    return u32(static_cast<std::uint32_t>(t.size())).raw(t);
  }
  /// A value's serialised bytes (takes a floating reference).
  SeedWriter& value(GVariant* v) {
    Variant const held(v);
    return raw(
        {static_cast<char const*>(g_variant_get_data(held.get())), g_variant_get_size(held.get())});
  }
  /// A value with a 32-bit length prefix, as value_of_type reads it.
  SeedWriter& sized_value(GVariant* v) {
    Variant const held(v);
    return long_text(
        {static_cast<char const*>(g_variant_get_data(held.get())), g_variant_get_size(held.get())});
  }
  std::string const& bytes() const { return out_; }

private:
  std::string out_;
};

void write(fs::path const& root, std::string_view target, std::string_view name,
           SeedWriter const& seed) {
  fs::create_directories(root / target);
  std::ofstream(root / target / name, std::ios::binary)
      .write(seed.bytes().data(), static_cast<long>(seed.bytes().size()));
}

GVariant* empty_dict() {
  return g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0);
}

GVariant* string_param(char const* json) {
  GVariant* boxed = g_variant_new_variant(g_variant_new_string(json));
  return g_variant_new_array(G_VARIANT_TYPE_VARIANT, &boxed, 1);
}

GVariant* request_id() {
  std::uint8_t const id[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  return g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, id, 16, 1);
}

void session_bus_seeds(fs::path const& root) {
  Introspection const methods(zarn_ui::bus::introspection_xml("test.zarn.maps.Automation1"));
  auto call = [&](char const* name, char const* interface, char const* method, GVariant* args) {
    SeedWriter seed;
    seed.byte(static_cast<std::uint8_t>(methods.method_index(interface, method))).value(args);
    write(root, "session_bus", name, seed);
  };
  char const* const app = "org.freedesktop.Application";
  char const* const actions = "org.gtk.Actions";
  char const* const automation = "test.zarn.maps.Automation1";
  call("activate", app, "Activate", g_variant_new("(@a{sv})", empty_dict()));
  call("activate_search", app, "ActivateAction",
       g_variant_new("(s@av@a{sv})", "maps.search", string_param("\"museum\""), empty_dict()));
  call("activate_desktop_key", app, "ActivateAction",
       g_variant_new("(s@av@a{sv})", "maps-traffic",
                     g_variant_new_array(G_VARIANT_TYPE_VARIANT, nullptr, 0), empty_dict()));
  call("list", actions, "List", g_variant_new("()"));
  call("describe", actions, "Describe", g_variant_new("(s)", "maps.locate"));
  call("describe_all", actions, "DescribeAll", g_variant_new("()"));
  call("gtk_activate", actions, "Activate",
       g_variant_new("(s@av@a{sv})", "maps.search", string_param("\"caf\\u00e9\""), empty_dict()));
  call("list_resources", automation, "ListResources", g_variant_new("()"));
  call("resolve", automation, "ResolveResource", g_variant_new("(s)", "maps.search"));
  GVariantBuilder args;
  g_variant_builder_init(&args, G_VARIANT_TYPE("a{ss}"));
  g_variant_builder_add(&args, "{ss}", "query", "museum");
  call("invoke", automation, "InvokeResource",
       g_variant_new("(ss@a{ss})", "maps.search", "run", g_variant_builder_end(&args)));
  call("dispatch", automation, "DispatchAction",
       g_variant_new("(ss)", "maps.action", R"({"CommitSearch":{"query":"Marienplatz"}})"));
  call("start_action", automation, "StartAction",
       g_variant_new("(@ayss)", request_id(), "maps.search", "\"museum\""));
  call("take_result", automation, "TakeActionResult", g_variant_new("(@ay)", request_id()));
}

void a11y_seeds(fs::path const& root) {
  Introspection const interfaces(zarn_ui::a11y::atspi_interfaces_xml());
  struct Call {
    char const* name;
    char const* interface;
    char const* method;
    GVariant* (*args)();
  };
  Call const calls[] = {
      {"children", "org.a11y.atspi.Accessible", "GetChildren", [] { return g_variant_new("()"); }},
      {"state", "org.a11y.atspi.Accessible", "GetState", [] { return g_variant_new("()"); }},
      {"at_point", "org.a11y.atspi.Component", "GetAccessibleAtPoint",
       [] { return g_variant_new("(iiu)", 150, 70, 0u); }},
      {"extents", "org.a11y.atspi.Component", "GetExtents",
       [] { return g_variant_new("(u)", 1u); }},
      {"do_action", "org.a11y.atspi.Action", "DoAction", [] { return g_variant_new("(i)", 0); }},
      {"text", "org.a11y.atspi.Text", "GetText", [] { return g_variant_new("(ii)", 1, -1); }},
      {"set_text", "org.a11y.atspi.EditableText", "SetTextContents",
       [] { return g_variant_new("(s)", "Odeonsplatz"); }},
  };
  // Each call at the root, then at each node of the tree in turn.
  for (auto const& c : calls) {
    for (std::uint8_t node = 1; node < 12; ++node) {
      SeedWriter seed;
      seed.text("Caf\xC3\xA9 M\xC3\xBCnchen").u16(3).byte(64).byte(node).byte(1);
      seed.byte(static_cast<std::uint8_t>(interfaces.method_index(c.interface, c.method)));
      seed.value(c.args());
      write(root, "a11y", std::string(c.name) + "_" + std::to_string(node), seed);
    }
  }
  SeedWriter name;
  name.text("Caf\xC3\xA9").u16(0).byte(64).byte(3).byte(0).byte(1);
  write(root, "a11y", "property", name);
}

void portal_seeds(fs::path const& root) {
  SeedWriter settings;
  settings.byte(2).byte(0).byte(0).sized_value(g_variant_new("(v)", g_variant_new_uint32(1)));
  settings.byte(1).byte(0).byte(1).text("u").sized_value(g_variant_new_uint32(1));
  settings.byte(1).byte(1).byte(3).text("b").sized_value(g_variant_new_boolean(FALSE));
  settings.byte(2).byte(0).byte(2).sized_value(
      g_variant_new("(v)", g_variant_new_variant(g_variant_new_uint32(1))));
  settings.byte(0).text("(ssv)").sized_value(g_variant_new(
      "(ssv)", "org.freedesktop.appearance", "color-scheme", g_variant_new_uint32(2)));
  write(root, "settings_portal", "reads_and_changes", settings);

  GVariantBuilder update;
  g_variant_builder_init(&update, G_VARIANT_TYPE("a{sv}"));
  g_variant_builder_add(&update, "{sv}", "Latitude", g_variant_new_double(48.1371));
  g_variant_builder_add(&update, "{sv}", "Longitude", g_variant_new_double(11.5754));
  g_variant_builder_add(&update, "{sv}", "Accuracy", g_variant_new_double(12.0));
  GVariant* fix = g_variant_builder_end(&update);
  SeedWriter granted;
  granted.byte(0).byte(0);
  granted.byte(1).byte(0).sized_value(empty_dict()).u32(0);
  granted.byte(2).byte(0).sized_value(fix);
  write(root, "location_portal", "granted", granted);
  SeedWriter refused;
  refused.byte(1).byte(1).sized_value(empty_dict()).u32(2);
  refused.byte(0).byte(1);
  write(root, "location_portal", "refused_other_path", refused);
}

/// The text field's steps, by their index in its STEPS table.
enum Step : std::uint8_t { KEY = 0, TYPE = 3, PASTE = 4, CLICK = 5, SET_TEXT = 6, DRAW = 10 };

void text_input_seeds(fs::path const& root) {
  SeedWriter typing;
  typing.byte(TYPE).byte(0).text("Marienpl").byte(TYPE).byte(0).text("\xC3\xA4tz");
  typing.byte(KEY).byte(25).byte(0); // Backspace
  typing.byte(KEY).byte(18).byte(0); // ArrowLeft
  typing.byte(KEY).byte(30).byte(0); // Delete
  typing.byte(KEY).byte(22).byte(0); // Home
  typing.byte(DRAW).byte(CLICK).byte(100).byte(128).byte(0).byte(KEY).byte(14).byte(0);
  write(root, "text_input", "typing", typing);
  SeedWriter paste;
  std::string pasted;
  for (int i = 0; i < 40; ++i) {
    pasted += "Stra\xC3\x9F"
              "e \xE2\x86\x92 \xF0\x9F\x97\xBA\t\n";
  }
  paste.byte(SET_TEXT).long_text("Odeon\xFF").byte(PASTE).long_text(pasted).byte(DRAW);
  paste.byte(CLICK).byte(30).byte(128).byte(0).byte(KEY).byte(19).byte(1);
  write(root, "text_input", "paste", paste);
}

} // namespace

void write_ipc_seeds(fs::path const& root) {
  session_bus_seeds(root);
  a11y_seeds(root);
  portal_seeds(root);
  text_input_seeds(root);
}

} // namespace maps::fuzz
