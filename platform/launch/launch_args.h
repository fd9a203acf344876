#pragma once
// Parsed command line of a launch: the declared switches and options given, and the
// platform's own screenshot path, image size and text scale.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace zarn_ui::launch {

/// A published action to run at start: --action ID [ARG], ARG being its JSON argument.
struct StartAction {
  std::string id;
  std::optional<std::string> argument;
  bool operator==(StartAction const&) const = default;
};

struct LaunchArgs {
  std::set<std::string, std::less<>> switches;
  std::map<std::string, std::string, std::less<>> options;
  std::optional<std::filesystem::path> screenshot;
  std::optional<std::pair<std::uint32_t, std::uint32_t>> size; // width, height in pixels
  std::optional<float> scale;
  std::optional<StartAction> action; // run by the running instance when there is one
  bool help = false;                 // --help or -h: print the usage and do nothing else
  bool version = false;              // --version: print the version and do nothing else

  bool has(std::string_view name) const { return switches.contains(name); }
  std::optional<std::string> value(std::string_view name) const;
  /// True when any declared switch or option was given (the platform's own do not count).
  bool any_declared() const { return !switches.empty() || !options.empty(); }
};

/// Parses argv[1..] against the declared switches and options. Options take "--name VALUE" or
/// "--name=VALUE". The platform's own: --screenshot PATH, --size WxH (each 1..16384),
/// --scale F (finite, 0.25..8), --action ID [ARG] (ARG when the next word is no switch), and
/// --help, -h and --version, which end the parse (what follows them is not looked at).
/// Anything else is an error with a usage text.
base::Result<LaunchArgs> parse_launch_args(std::span<char const* const> args,
                                           std::span<std::string const> declared_switches,
                                           std::span<std::string const> declared_options);

} // namespace zarn_ui::launch
