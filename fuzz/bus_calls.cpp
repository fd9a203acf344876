#include "bus_calls.h"

#include <cstring>
#include <utility>

namespace maps::fuzz {

Variant value_from_bytes(GVariantType const* type, Bytes bytes) {
  // From GBytes, which copies misaligned data to the type's alignment.
  GBytes* owned = g_bytes_new(bytes.data(), bytes.size());
  GVariant* raw = g_variant_new_from_bytes(type, owned, FALSE);
  g_bytes_unref(owned);
  Variant held(raw);
  return Variant(g_variant_get_normal_form(held.get()));
}

Variant value_of_any_type(FuzzInput& in, GVariantType const* fallback) {
  std::string const name(in.text());
  // Values have definite types only ("?" and "*" are valid type strings, but of no value).
  bool const valid = g_variant_type_string_is_valid(name.c_str()) &&
                     g_variant_type_is_definite(G_VARIANT_TYPE(name.c_str()));
  GVariantType const* type = valid ? G_VARIANT_TYPE(name.c_str()) : fallback;
  return value_of_type(in, type);
}

Variant value_of_type(FuzzInput& in, GVariantType const* type) {
  return value_from_bytes(type, in.take(in.u32()));
}

Introspection::Introspection(std::string const& xml) {
  GError* error = nullptr;
  node_ = g_dbus_node_info_new_for_xml(xml.c_str(), &error);
  check(node_ != nullptr, "the introspection document does not parse");
}

Introspection::~Introspection() {
  g_dbus_node_info_unref(node_);
}

PropertyRead Introspection::property(FuzzInput& in) const {
  std::vector<std::pair<GDBusInterfaceInfo const*, GDBusPropertyInfo const*>> properties;
  for (auto* const* i = node_->interfaces; i && *i; ++i) {
    for (auto* const* p = (*i)->properties; p && *p; ++p) {
      properties.emplace_back(*i, *p);
    }
  }
  check(!properties.empty(), "an introspection document without properties");
  auto const [interface, property] = properties[in.pick(properties.size())];
  return {interface->name, property->name, property->signature};
}

GVariantType* args_type(GDBusArgInfo* const* args) {
  std::vector<GVariantType const*> items;
  for (auto* const* a = args; a && *a; ++a) {
    items.push_back(G_VARIANT_TYPE((*a)->signature));
  }
  return g_variant_type_new_tuple(items.data(), static_cast<gint>(items.size()));
}

namespace {

std::vector<std::pair<GDBusInterfaceInfo const*, GDBusMethodInfo const*>>
all_methods(GDBusNodeInfo const* node) {
  std::vector<std::pair<GDBusInterfaceInfo const*, GDBusMethodInfo const*>> methods;
  for (auto* const* i = node->interfaces; i && *i; ++i) {
    for (auto* const* m = (*i)->methods; m && *m; ++m) {
      methods.emplace_back(*i, *m);
    }
  }
  check(!methods.empty(), "an introspection document without methods");
  return methods;
}

} // namespace

std::size_t Introspection::method_index(std::string_view interface, std::string_view method) const {
  auto const methods = all_methods(node_);
  for (std::size_t i = 0; i < methods.size(); ++i) {
    if (methods[i].first->name == interface && methods[i].second->name == method) {
      return i;
    }
  }
  broken("no such method");
}

MethodCall Introspection::call(FuzzInput& in) const {
  auto const methods = all_methods(node_);
  auto const [interface, method] = methods[in.pick(methods.size())];
  GVariantType* type = args_type(method->in_args);
  MethodCall out{interface->name, method->name, method, value_from_bytes(type, in.rest())};
  g_variant_type_free(type);
  return out;
}

void check_reply(MethodCall const& call, GVariant* reply) {
  check(reply != nullptr, "a reply without a value");
  GVariantType* type = args_type(call.info->out_args);
  bool const fits = g_variant_is_of_type(reply, type);
  g_variant_type_free(type);
  check(fits, "a reply does not have the method's out-signature");
}

void check_error(std::string_view name, std::string_view message) {
  check(g_dbus_is_interface_name(std::string(name).c_str()), "an error name is not valid");
  check(g_utf8_validate(message.data(), static_cast<gssize>(message.size()), nullptr),
        "an error message is not UTF-8");
}

void fatal_glib_criticals() {
  static bool const once = [] {
    g_log_set_always_fatal(static_cast<GLogLevelFlags>(G_LOG_LEVEL_CRITICAL | G_LOG_FATAL_MASK));
    return true;
  }();
  (void)once;
}

} // namespace maps::fuzz
