#include "platform/doc/persist.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "platform/render/atomic_file.h"

namespace zarn_ui::persist {
namespace {

namespace fs = std::filesystem;
using doc::ObjId;
using doc::ScalarValue;

class PersistTest : public ::testing::Test {
protected:
  void SetUp() override {
    char tmpl[] = "/tmp/persist-test-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { fs::remove_all(dir_); }

  Options options() const {
    return Options{dir_ / "app", [] { return std::int64_t{1700000000}; }, {}, {}};
  }
  fs::path file() const { return dir_ / "app" / "document.bin"; }

  static std::string read(fs::path const& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  static void write(fs::path const& p, std::string const& bytes) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
  }

  fs::path dir_;
  base::ManualClock clock_;
};

TEST_F(PersistTest, SavesAfterTheDelayAndLoadsAgain) {
  auto p = Persistence::open_at(options());
  ASSERT_TRUE(p.is_persistent());
  EXPECT_FALSE(p.maybe_save(clock_.now())); // nothing changed: nothing written
  EXPECT_FALSE(fs::exists(file()));

  ASSERT_TRUE(p.document().put(ObjId::root(), "k", ScalarValue{std::int64_t{1}}));
  EXPECT_FALSE(p.maybe_save(clock_.now())); // the change is noticed, the write waits
  clock_.advance(SAVE_DELAY / 2);
  ASSERT_TRUE(p.document().put(ObjId::root(), "k", ScalarValue{std::int64_t{2}}));
  EXPECT_FALSE(p.maybe_save(clock_.now()));
  clock_.advance(SAVE_DELAY / 2);
  EXPECT_TRUE(p.maybe_save(clock_.now())); // one write for both changes
  EXPECT_FALSE(p.maybe_save(clock_.now() + SAVE_DELAY * 5));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "app"), fs::directory_iterator()), 1);

  auto again = Persistence::open_at(options());
  auto v = again.document().get(ObjId::root(), "k");
  ASSERT_TRUE(v && *v);
  EXPECT_EQ(*(*v)->value.scalar(), ScalarValue{std::int64_t{2}});
  EXPECT_EQ(again.document().heads(), p.document().heads());
  EXPECT_FALSE(again.kept_aside());
}

TEST_F(PersistTest, MergedAndRolledBackEditsAreSeenForWhatTheyAre) {
  auto p = Persistence::open_at(options());
  ASSERT_TRUE(p.document().put(ObjId::root(), "k", ScalarValue{true}));
  EXPECT_EQ(p.document().rollback(), 1u);
  clock_.advance(SAVE_DELAY * 2);
  EXPECT_FALSE(p.maybe_save(clock_.now())) << "a dropped edit leaves nothing to write";
  EXPECT_FALSE(fs::exists(file()));

  doc::Document other;
  ASSERT_TRUE(other.put(ObjId::root(), "from", ScalarValue{std::string("elsewhere")}));
  ASSERT_TRUE(p.document().merge(other));
  EXPECT_FALSE(p.maybe_save(clock_.now()));
  clock_.advance(SAVE_DELAY);
  EXPECT_TRUE(p.maybe_save(clock_.now())) << "a merge is a change to keep";
  EXPECT_FALSE(p.maybe_save(clock_.now() + SAVE_DELAY * 2));
}

TEST_F(PersistTest, SaveNowWritesPendingChangesAtExit) {
  auto p = Persistence::open_at(options());
  ASSERT_TRUE(p.save_now());
  EXPECT_FALSE(fs::exists(file())); // an untouched document creates no file
  ASSERT_TRUE(p.document().put(ObjId::root(), "k", ScalarValue{true}));
  p.note_changed(clock_.now());
  ASSERT_TRUE(p.save_now());
  auto loaded = doc::Document::load([&] {
    auto s = read(file());
    return doc::Bytes(s.begin(), s.end());
  }());
  ASSERT_TRUE(loaded);
}

TEST_F(PersistTest, CorruptFileIsKeptAsideAndTheDocumentStartsEmpty) {
  struct Case {
    char const* name;
    std::string content;
  } const cases[] = {
      {"garbage", "not a document"},
      {"empty", ""},
      {"truncated",
       [] {
         doc::Document d;
         (void)d.put(ObjId::root(), "k", ScalarValue{true});
         auto b = d.save();
         return std::string(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(b.size() / 2));
       }()},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir_ / "app");
    write(file(), c.content);
    auto p = Persistence::open_at(options());
    ASSERT_TRUE(p.kept_aside());
    EXPECT_EQ(p.kept_aside()->filename(), "document.bin.corrupt-1700000000");
    EXPECT_EQ(read(*p.kept_aside()), c.content);
    EXPECT_FALSE(fs::exists(file()));
    EXPECT_TRUE(p.document().keys(ObjId::root())->empty());

    // A second bad file in the same second does not replace the first one kept aside.
    ASSERT_TRUE(p.document().put(ObjId::root(), "k", ScalarValue{true}));
    ASSERT_TRUE(p.save_now());
    write(file(), "again broken");
    auto q = Persistence::open_at(options());
    ASSERT_TRUE(q.kept_aside());
    EXPECT_EQ(q.kept_aside()->filename(), "document.bin.corrupt-1700000000-2");
    EXPECT_EQ(read(dir_ / "app" / "document.bin.corrupt-1700000000"), c.content);
  }
}

TEST_F(PersistTest, FailedSaveKeepsTheOldFileAndRetriesLater) {
  bool broken = false;
  auto opts = options();
  opts.write = [&](fs::path const& path,
                   std::span<std::uint8_t const> bytes) -> base::Result<void> {
    if (broken) {
      return base::fail("disk full");
    }
    return zarn_ui::atomic_file::write_creating_parent(path, bytes);
  };
  auto p = Persistence::open_at(opts);
  ASSERT_TRUE(p.document().put(ObjId::root(), "k", ScalarValue{std::int64_t{1}}));
  ASSERT_TRUE(p.save_now());
  auto const old_bytes = read(file());

  broken = true;
  ASSERT_TRUE(p.document().put(ObjId::root(), "k", ScalarValue{std::int64_t{2}}));
  EXPECT_FALSE(p.maybe_save(clock_.now()));
  clock_.advance(SAVE_DELAY);
  EXPECT_FALSE(p.maybe_save(clock_.now()));
  EXPECT_FALSE(p.maybe_save(clock_.now())); // no retry on every frame
  EXPECT_FALSE(p.save_now());
  EXPECT_EQ(read(file()), old_bytes);

  // Once writing works again the change is written after another delay.
  broken = false;
  clock_.advance(SAVE_DELAY / 2);
  EXPECT_FALSE(p.maybe_save(clock_.now()));
  clock_.advance(SAVE_DELAY / 2);
  EXPECT_TRUE(p.maybe_save(clock_.now()));
  EXPECT_NE(read(file()), old_bytes);
  auto again = Persistence::open_at(options());
  EXPECT_EQ(again.document().heads(), p.document().heads());
}

TEST_F(PersistTest, MemoryOnlyNeverWrites) {
  auto p = Persistence::memory_only();
  EXPECT_FALSE(p.is_persistent());
  ASSERT_TRUE(p.document().put(ObjId::root(), "k", ScalarValue{true}));
  EXPECT_FALSE(p.maybe_save(clock_.now() + SAVE_DELAY * 10));
  EXPECT_TRUE(p.save_now());
}

TEST_F(PersistTest, DataFolderFollowsXdgThenHome) {
  auto const* old_xdg = std::getenv("XDG_DATA_HOME");
  auto const* old_home = std::getenv("HOME");
  std::string const saved_xdg = old_xdg ? old_xdg : "";
  std::string const saved_home = old_home ? old_home : "";
  ::setenv("XDG_DATA_HOME", "/data", 1);
  ::setenv("HOME", "/home/u", 1);
  EXPECT_EQ(data_dir("test.zarn.Maps"), fs::path("/data/test.zarn.Maps"));
  ::setenv("XDG_DATA_HOME", "relative", 1);
  EXPECT_EQ(data_dir("test.zarn.Maps"), fs::path("/home/u/.local/share/test.zarn.Maps"));
  ::unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(data_dir("test.zarn.Maps"), fs::path("/home/u/.local/share/test.zarn.Maps"));
  EXPECT_FALSE(data_dir("../evil"));
  EXPECT_FALSE(data_dir(""));

  // open() keeps the document under the data folder.
  ::setenv("XDG_DATA_HOME", dir_.c_str(), 1);
  auto p = open("test.zarn.Maps");
  ASSERT_TRUE(p.is_persistent());
  EXPECT_EQ(*p.file(), dir_ / "test.zarn.Maps" / "document.bin");
  ASSERT_TRUE(p.document().put(ObjId::root(), "k", ScalarValue{true}));
  ASSERT_TRUE(p.save_now());
  EXPECT_TRUE(fs::is_regular_file(dir_ / "test.zarn.Maps" / "document.bin"));
  ::unsetenv("XDG_DATA_HOME");
  if (old_xdg) {
    ::setenv("XDG_DATA_HOME", saved_xdg.c_str(), 1);
  }
  if (old_home) {
    ::setenv("HOME", saved_home.c_str(), 1);
  } else {
    ::unsetenv("HOME");
  }
}

} // namespace
} // namespace zarn_ui::persist
