// Every fuzz target over its seeds in the normal build, so the entry points keep compiling and
// the seeds keep passing their invariants.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
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
  std::uint8_t const bytes[] = {0x00, 0xff, '{', '[', '"', 0x80};
  (void)GetParam().run({});
  for (std::size_t n = 1; n <= std::size(bytes); ++n) {
    (void)GetParam().run(std::span(bytes, n));
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzSeeds, ::testing::ValuesIn(TARGETS),
                         [](auto const& info) { return std::string(info.param.name); });

} // namespace
} // namespace maps::fuzz
