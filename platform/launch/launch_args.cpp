#include "platform/launch/launch_args.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include <fmt/format.h>

namespace zarn_ui::launch {

namespace {

constexpr std::uint32_t MAX_SIDE = 16384;

bool contains(std::span<std::string const> list, std::string_view name) {
  return std::find(list.begin(), list.end(), name) != list.end();
}

std::optional<std::uint32_t> parse_side(std::string_view text) {
  std::uint32_t v = 0;
  auto const [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || v < 1 ||
      v > MAX_SIDE) {
    return std::nullopt;
  }
  return v;
}

base::Result<std::pair<std::uint32_t, std::uint32_t>> parse_size(std::string_view text) {
  auto const x = text.find('x');
  if (x != std::string_view::npos) {
    auto const w = parse_side(text.substr(0, x));
    auto const h = parse_side(text.substr(x + 1));
    if (w && h) {
      return std::pair{*w, *h};
    }
  }
  return base::fail(
      fmt::format("invalid --size '{}': expected WxH with each side 1..{}", text, MAX_SIDE));
}

base::Result<float> parse_scale(std::string_view text) {
  float v = 0.0f;
  auto const [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || !std::isfinite(v) ||
      v < 0.25f || v > 8.0f) {
    return base::fail(fmt::format("invalid --scale '{}': expected a number from 0.25 to 8", text));
  }
  return v;
}

} // namespace

std::optional<std::string> LaunchArgs::value(std::string_view name) const {
  if (auto it = options.find(name); it != options.end()) {
    return it->second;
  }
  return std::nullopt;
}

base::Result<LaunchArgs> parse_launch_args(std::span<char const* const> args,
                                           std::span<std::string const> declared_switches,
                                           std::span<std::string const> declared_options) {
  static constexpr std::string_view own_options[] = {"--screenshot", "--size", "--scale",
                                                     "--action"};
  LaunchArgs out;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view const arg = args[i];
    if (arg == "--help" || arg == "-h" || arg == "--version") {
      (arg == "--version" ? out.version : out.help) = true;
      return out;
    }
    if (!arg.starts_with("--") || arg.size() == 2) {
      return base::fail(fmt::format("unexpected argument '{}'", arg));
    }
    auto const eq = arg.find('=');
    std::string_view const name = arg.substr(0, eq);
    std::optional<std::string_view> inline_value;
    if (eq != std::string_view::npos) {
      inline_value = arg.substr(eq + 1);
    }
    bool const own =
        std::find(std::begin(own_options), std::end(own_options), name) != std::end(own_options);
    if (!own && !contains(declared_options, name)) {
      if (!contains(declared_switches, name)) {
        return base::fail(fmt::format("unknown option '{}'", name));
      }
      if (inline_value) {
        return base::fail(fmt::format("switch '{}' takes no value", name));
      }
      out.switches.emplace(name);
      continue;
    }
    std::string_view value;
    if (inline_value) {
      value = *inline_value;
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      return base::fail(fmt::format("option '{}' needs a value", name));
    }
    if (name == "--screenshot") {
      if (value.empty()) {
        return base::fail("option '--screenshot' needs a path");
      }
      out.screenshot = std::filesystem::path(std::string(value));
    } else if (name == "--size") {
      auto size = parse_size(value);
      if (!size) {
        return base::fail(size.error());
      }
      out.size = *size;
    } else if (name == "--action") {
      if (value.empty() || value.starts_with("--")) {
        return base::fail("option '--action' needs an action id");
      }
      out.action = StartAction{std::string(value), std::nullopt};
      if (i + 1 < args.size() && !std::string_view(args[i + 1]).starts_with("--")) {
        out.action->argument = std::string(args[++i]);
      }
    } else if (name == "--scale") {
      auto scale = parse_scale(value);
      if (!scale) {
        return base::fail(scale.error());
      }
      out.scale = *scale;
    } else {
      out.options.insert_or_assign(std::string(name), std::string(value));
    }
  }
  return out;
}

} // namespace zarn_ui::launch
