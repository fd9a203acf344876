#pragma once
// Fuzz entry points: one function per reader of untrusted input. Each is linked into its own
// libFuzzer executable (fuzz_main.cpp) and into the replay test of the normal build, which runs
// it over its seed corpus. Each answers whether the reader accepted the input; a broken
// invariant aborts with a message.

#include <cstdint>
#include <span>
#include <string_view>

namespace maps::fuzz {

using Bytes = std::span<std::uint8_t const>;

bool json_reader(Bytes data);
bool model_json(Bytes data);
bool maps_action(Bytes data);
bool geocode_search(Bytes data);
bool geocode_reverse(Bytes data);
bool poi(Bytes data);
bool route(Bytes data);
bool transit(Bytes data);
bool polyline(Bytes data);
bool png(Bytes data);
bool doc_load(Bytes data);
bool doc_changes(Bytes data);
bool launch_args(Bytes data);
bool session_bus(Bytes data);
bool a11y(Bytes data);
bool settings_portal(Bytes data);
bool location_portal(Bytes data);
bool text_input(Bytes data);

struct Target {
  std::string_view name;   // also the folder of its seeds, fuzz/corpus/<name>
  bool (*run)(Bytes data); // true when the reader accepted the input
};

inline constexpr Target TARGETS[] = {
    {"json_reader", json_reader},
    {"model_json", model_json},
    {"maps_action", maps_action},
    {"geocode_search", geocode_search},
    {"geocode_reverse", geocode_reverse},
    {"poi", poi},
    {"route", route},
    {"transit", transit},
    {"polyline", polyline},
    {"png", png},
    {"doc_load", doc_load},
    {"doc_changes", doc_changes},
    {"launch_args", launch_args},
    {"session_bus", session_bus},
    {"a11y", a11y},
    {"settings_portal", settings_portal},
    {"location_portal", location_portal},
    {"text_input", text_input},
};

/// Reports a broken invariant on stderr and aborts, which the fuzzer records as a finding.
[[noreturn]] void broken(char const* what);

inline void check(bool ok, char const* what) {
  if (!ok) {
    broken(what);
  }
}

inline std::string_view as_text(Bytes data) {
  return {reinterpret_cast<char const*>(data.data()), data.size()};
}

} // namespace maps::fuzz
