#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/render/atomic_file.h"

namespace fs = std::filesystem;
using zarn_ui::atomic_file::write_creating_parent;

namespace {

class AtomicFile : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("atomic_file_test_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  static std::string read(fs::path const& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  static void write(fs::path const& p, std::string const& text) {
    std::ofstream(p, std::ios::binary) << text;
  }
  static std::vector<std::uint8_t> bytes(std::string const& text) {
    return {text.begin(), text.end()};
  }
  // Every entry of a folder, recursively (a leftover temporary file shows up here).
  static std::vector<std::string> entries(fs::path const& p) {
    std::vector<std::string> out;
    for (auto const& e : fs::recursive_directory_iterator(p)) {
      out.push_back(fs::relative(e.path(), p).string());
    }
    std::sort(out.begin(), out.end());
    return out;
  }

  fs::path dir_;
};

} // namespace

TEST_F(AtomicFile, ReplacesTheWholeFileAndCreatesMissingParents) {
  fs::path const target = dir_ / "a" / "b" / "shot.png";
  ASSERT_TRUE(write_creating_parent(target, bytes("first version, longer")));
  EXPECT_EQ(read(target), "first version, longer");
  auto r = write_creating_parent(target, bytes("second"));
  ASSERT_TRUE(r) << r.error();
  EXPECT_EQ(read(target), "second");
  EXPECT_EQ(entries(dir_), (std::vector<std::string>{"a", "a/b", "a/b/shot.png"}));
  ASSERT_TRUE(write_creating_parent(target, {}));
  EXPECT_EQ(read(target), "");
}

TEST_F(AtomicFile, FailureKeepsTheOldFileAndLeavesNoTemporaryFile) {
  write(dir_ / "blocker", "i am a file");
  fs::create_directories(dir_ / "target_is_dir" / "child");
  write(dir_ / "old.txt", "old content");
  struct Case {
    char const* name;
    fs::path target;
    char const* error_part;
  } const cases[] = {
      {"parent is a regular file", dir_ / "blocker" / "shot.png", "blocker"},
      {"target is a folder", dir_ / "target_is_dir", "target_is_dir"},
      {"no file name", dir_ / "sub" / "", "not a file path"},
  };
  auto const before = entries(dir_);
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    auto r = write_creating_parent(c.target, bytes("new content"));
    ASSERT_FALSE(r);
    EXPECT_NE(r.error().find(c.error_part), std::string::npos) << r.error();
    EXPECT_EQ(entries(dir_), before);
  }
  EXPECT_EQ(read(dir_ / "blocker"), "i am a file");
  EXPECT_EQ(read(dir_ / "old.txt"), "old content");
}

TEST_F(AtomicFile, ErrorNamesTheOsReason) {
  write(dir_ / "blocker", "x");
  auto r = write_creating_parent(dir_ / "blocker" / "deeper" / "f", bytes("y"));
  ASSERT_FALSE(r);
  EXPECT_NE(r.error().find("Not a directory"), std::string::npos) << r.error();
}

TEST_F(AtomicFile, AReplacedFileKeepsItsPermissions) {
  fs::path const target = dir_ / "document.bin";
  write(target, "old");
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_TRUE(write_creating_parent(target, bytes("new")));
  EXPECT_EQ(read(target), "new");
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}
