// Every fuzz target over its seeds in the normal build, so the entry points keep compiling and
// the seeds keep passing their invariants.

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "targets.h"

namespace maps::fuzz {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> read_bytes(fs::path const& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FuzzSeeds : public ::testing::TestWithParam<Target> {};

TEST_P(FuzzSeeds, TargetRunsOverItsSeeds) {
  auto const& target = GetParam();
  fs::path const dir = fs::path(MAPS_FUZZ_CORPUS) / target.name;
  ASSERT_TRUE(fs::is_directory(dir)) << dir;
  // A reader that refuses every seed would leave the fuzzer at its front door.
  std::size_t seeds = 0;
  std::size_t accepted = 0;
  for (auto const& entry : fs::directory_iterator(dir)) {
    SCOPED_TRACE(entry.path().filename().string());
    auto const bytes = read_bytes(entry.path());
    accepted += target.run(bytes) ? 1 : 0;
    ++seeds;
  }
  EXPECT_GT(seeds, 0u) << "no seeds in " << dir;
  EXPECT_GT(accepted, 0u) << "no seed in " << dir << " is accepted";
}

TEST_P(FuzzSeeds, TargetRefusesShortInputsQuietly) {
  // The prefixes of these bytes, from none to all six: no reader may abort on them, and each
  // refuses them except where taking them is the reader's design.
  static constexpr std::uint8_t bytes[] = {0x00, 0xff, '{', '[', '"', 0x80};
  struct Accepting {
    std::string_view target;
    std::array<bool, std::size(bytes) + 1> accepted;
  } const accepting[] = {
      // No words at all is the plain start.
      {"launch_args", {true, false, false, false, false, false, false}},
      // Any bytes are repaired into a document before it is loaded.
      {"doc_changes", {true, true, true, true, true, true, true}},
      // The first byte picks the precision; "\xff{[\"" reads as whole polyline values.
      {"polyline", {false, false, false, false, false, true, true}},
      // Missing bytes read as zeros: the first method with empty arguments, a valid call that
      // the bus answers.
      {"session_bus", {true, true, true, true, true, true, true}},
      {"a11y", {true, true, true, true, true, true, true}},
  };
  std::array<bool, std::size(bytes) + 1> expected{};
  for (auto const& a : accepting) {
    if (a.target == GetParam().name) {
      expected = a.accepted;
    }
  }
  for (std::size_t n = 0; n <= std::size(bytes); ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(GetParam().run(std::span(bytes, n)), expected[n]);
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzSeeds, ::testing::ValuesIn(TARGETS),
                         [](auto const& info) { return std::string(info.param.name); });

} // namespace
} // namespace maps::fuzz
