// Launch arguments: the input split at NUL bytes is the command line after the program name;
// what parses against the application's declared switches builds the application.

#include <algorithm>
#include <string>
#include <vector>

#include "platform/launch/launch_args.h"
#include "shell/launch_record.h"
#include "targets.h"

namespace maps::fuzz {

bool launch_args(Bytes data) {
  static auto const spec = maps_launch_spec();
  auto const text = as_text(data);
  std::vector<std::string> words;
  std::size_t start = 0;
  while (start < text.size() && words.size() < 64) {
    auto const end = std::min(text.find('\0', start), text.size());
    words.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  std::vector<char const*> argv;
  argv.reserve(words.size());
  for (auto const& w : words) {
    argv.push_back(w.c_str());
  }
  auto const args = zarn_ui::launch::parse_launch_args(argv, spec.switches, spec.options);
  if (!args) {
    check(!args.error().empty(), "a refused command line without a usage text");
    return false;
  }
  if (args->size) {
    check(args->size->first >= 1 && args->size->first <= 16384 && args->size->second >= 1 &&
              args->size->second <= 16384,
          "an image size outside 1..16384 was accepted");
  }
  if (args->scale) {
    check(*args->scale >= 0.25f && *args->scale <= 8.0f,
          "a text scale outside 0.25..8 was accepted");
  }
  auto const app = spec.create_app_from_args(*args);
  check(app.has_value() && *app != nullptr, "parsed arguments did not build the application");
  return true;
}

} // namespace maps::fuzz
