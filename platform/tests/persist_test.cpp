#include "platform/doc/persist.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <system_error>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

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

  static std::set<std::string> names_in(fs::path const& dir) {
    std::set<std::string> out;
    for (auto const& e : fs::directory_iterator(dir)) {
      out.insert(e.path().filename().string());
    }
    return out;
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
  EXPECT_EQ(names_in(dir_ / "app"), (std::set<std::string>{"document.bin", "document.bin.lock"}));

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
  EXPECT_FALSE(p.save_problem());
  clock_.advance(SAVE_DELAY);
  EXPECT_FALSE(p.maybe_save(clock_.now()));
  EXPECT_EQ(p.save_problem(), "Your changes can't be saved: the file can't be written");
  EXPECT_EQ(p.failed_saves(), 1u);
  EXPECT_FALSE(p.maybe_save(clock_.now())); // no retry on every frame
  EXPECT_EQ(p.next_save_at(clock_.now()), clock_.now() + SAVE_DELAY) << "but after a delay";
  EXPECT_FALSE(p.save_now());
  EXPECT_EQ(p.failed_saves(), 2u);
  EXPECT_EQ(read(file()), old_bytes);

  // Once writing works again the change is written after another delay.
  broken = false;
  clock_.advance(SAVE_DELAY / 2);
  EXPECT_FALSE(p.maybe_save(clock_.now()));
  clock_.advance(SAVE_DELAY / 2);
  EXPECT_TRUE(p.maybe_save(clock_.now()));
  EXPECT_FALSE(p.save_problem());
  EXPECT_NE(read(file()), old_bytes);
  auto again = Persistence::open_at(options());
  EXPECT_EQ(again.document().heads(), p.document().heads());
}

TEST_F(PersistTest, TheNextSaveIsADeadlineOnTheCallersClock) {
  auto p = Persistence::open_at(options());
  EXPECT_EQ(p.next_save_at(clock_.now()), std::nullopt) << "nothing to write";
  ASSERT_TRUE(p.document().put(ObjId::root(), "k", ScalarValue{true}));
  auto const changed = clock_.now();
  clock_.advance(SAVE_DELAY / 4);
  // A change nobody noted is found by the deadline itself, at the time it is asked.
  EXPECT_EQ(p.next_save_at(clock_.now()), clock_.now() + SAVE_DELAY);
  auto const due = *p.next_save_at(clock_.now() + SAVE_DELAY * 9);
  EXPECT_EQ(due, changed + SAVE_DELAY / 4 + SAVE_DELAY) << "asking again does not move it";
  EXPECT_FALSE(p.maybe_save(due - std::chrono::milliseconds(1)));
  EXPECT_TRUE(p.maybe_save(due));
  EXPECT_EQ(p.next_save_at(due), std::nullopt);
  EXPECT_EQ(Persistence::memory_only().next_save_at(clock_.now()), std::nullopt);
}

TEST(SaveProblemText, NamesTheCauseInTheUsersWords) {
  auto const os = [](int err) { return std::error_code(err, std::generic_category()).message(); };
  struct Case {
    std::string error;
    std::string_view shown;
  } const cases[] = {
      {"write /d/.document.bin.tmp-1-1: " + os(ENOSPC), "the disk is full"},
      {"sync /d/.document.bin.tmp-1-1: " + os(EDQUOT), "the disk is full"},
      {"create temporary file for /d/document.bin: " + os(EROFS), "the folder is read-only"},
      {"lock /d/document.bin.lock: " + os(EACCES),
       "you don't have permission to write to the folder"},
      {"the document has grown to 70 MiB, past the limit of 64 MiB",
       "your saved data has grown too large"},
      {"cannot read /d/document.bin before writing it: " + os(EIO), "the saved file can't be read"},
      {"replace /d/document.bin: " + os(EIO), "the file can't be written"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.error);
    EXPECT_EQ(save_problem_text(c.error), "Your changes can't be saved: " + std::string(c.shown));
  }
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

  // Without any data folder nothing is written, and saving says so.
  ::unsetenv("XDG_DATA_HOME");
  ::unsetenv("HOME");
  auto nowhere = open("test.zarn.Maps");
  ASSERT_TRUE(nowhere.document().put(ObjId::root(), "k", ScalarValue{true}));
  EXPECT_FALSE(nowhere.save_now());
  if (old_xdg) {
    ::setenv("XDG_DATA_HOME", saved_xdg.c_str(), 1);
  }
  if (old_home) {
    ::setenv("HOME", saved_home.c_str(), 1);
  } else {
    ::unsetenv("HOME");
  }
}

// A file that cannot be used for any reason is kept aside, the start is fresh, the user is
// told where the old file went, and saving works again.
TEST_F(PersistTest, UnusableDocumentIsKeptAsideAndTheUserIsTold) {
  struct Case {
    char const* name;
    std::function<void()> make;
    fs::path kept;
    std::string reason;
  } const cases[] = {
      {"too large",
       [&] {
         write(file(), "");
         fs::resize_file(file(), (std::uintmax_t{64} << 20) + 1); // sparse: costs no disk
       },
       dir_ / "app" / "document.bin.unreadable-1700000000", "the file is too large (64 MiB)"},
      {"data folder is a file", [&] { write(dir_ / "app", "x"); },
       dir_ / "app.unreadable-1700000000", "the data folder is not a folder"},
      {"not a regular file", [&] { fs::create_directories(file()); },
       dir_ / "app" / "document.bin.unreadable-1700000000", "not a regular file"},
      {"corrupt", [&] { write(file(), "not a document"); },
       dir_ / "app" / "document.bin.corrupt-1700000000", "document is truncated"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    c.make();
    auto p = Persistence::open_at(options());
    EXPECT_TRUE(fs::exists(c.kept));
    EXPECT_EQ(p.kept_aside(), c.kept);
    EXPECT_EQ(p.open_problem(),
              "Could not open your saved places: " + c.reason +
                  " \xE2\x80\x94 a fresh start was made; the old file is kept as " +
                  c.kept.string());
    ASSERT_TRUE(p.document().put(ObjId::root(), "k", ScalarValue{true}));
    ASSERT_TRUE(p.save_now());
    auto again = Persistence::open_at(options());
    EXPECT_FALSE(again.open_problem());
    EXPECT_EQ(again.document().heads(), p.document().heads());
  }
}

// Two processes on one file, saving in turn: each merges what the other wrote.
TEST_F(PersistTest, TwoWritersKeepEachOthersChanges) {
  auto a = Persistence::open_at(options());
  auto b = Persistence::open_at(options());
  ASSERT_TRUE(a.document().put(ObjId::root(), "from a", ScalarValue{true}));
  ASSERT_TRUE(a.save_now());
  ASSERT_TRUE(b.document().put(ObjId::root(), "from b", ScalarValue{true}));
  ASSERT_TRUE(b.save_now());
  ASSERT_TRUE(a.document().put(ObjId::root(), "again a", ScalarValue{true}));
  ASSERT_TRUE(a.save_now());
  auto reopened = Persistence::open_at(options());
  EXPECT_EQ(*reopened.document().keys(ObjId::root()),
            (std::vector<std::string>{"again a", "from a", "from b"}));
}

// A long history reaches the file compacted; both writers go on merging through the file,
// whichever of them compacted, and the in-memory documents compact along with it.
TEST_F(PersistTest, LongHistoryIsSavedCompactedAndWritersStillMerge) {
  auto a = Persistence::open_at(options());
  auto b = Persistence::open_at(options());
  ASSERT_TRUE(b.document().put(ObjId::root(), "from b", ScalarValue{true}));
  ASSERT_TRUE(b.save_now());
  for (int i = 0; i < 200; ++i) {
    ASSERT_TRUE(
        a.document().put(ObjId::root(), "plan", ScalarValue{std::string(1000, 'a' + i % 26)}));
    a.document().commit();
  }
  ASSERT_TRUE(a.save_now());
  EXPECT_TRUE(a.document().is_compacted());
  EXPECT_LT(fs::file_size(file()), 4'000u);
  // b still holds its own history only: it takes the compacted file and adds its change.
  ASSERT_TRUE(b.document().put(ObjId::root(), "again b", ScalarValue{true}));
  ASSERT_TRUE(b.save_now());
  ASSERT_TRUE(a.document().put(ObjId::root(), "again a", ScalarValue{true}));
  ASSERT_TRUE(a.save_now());
  auto reopened = Persistence::open_at(options());
  EXPECT_FALSE(reopened.open_problem());
  EXPECT_EQ(*reopened.document().keys(ObjId::root()),
            (std::vector<std::string>{"again a", "again b", "from b", "plan"}));
  EXPECT_LT(fs::file_size(file()), 4'000u);
}

// Temporary files of killed saves are removed at open; a live writer's and others' stay.
TEST_F(PersistTest, OpeningRemovesTemporaryFilesOfInterruptedSaves) {
  pid_t const child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::_exit(0);
  }
  ::waitpid(child, nullptr, 0); // gone now: its files are stale
  auto const app = dir_ / "app";
  std::string const dead = ".document.bin.tmp-" + std::to_string(child) + "-3";
  std::string const own = ".document.bin.tmp-" + std::to_string(::getpid()) + "-0";
  std::string const live = ".document.bin.tmp-1-0"; // init never dies
  for (auto const& name :
       {dead, own, live, std::string("notes.tmp-1-0"), std::string(".document.bin.tmp-x-1")}) {
    write(app / name, "partial");
  }
  auto p = Persistence::open_at(options());
  EXPECT_EQ(names_in(app), (std::set<std::string>{live, "notes.tmp-1-0", ".document.bin.tmp-x-1",
                                                  "document.bin.lock"}));
}

// A symlinked document stays a link; its target is replaced in its own folder.
TEST_F(PersistTest, SymlinkedDocumentIsWrittenThroughToItsTarget) {
  auto const synced = dir_ / "synced";
  fs::create_directories(synced);
  fs::create_directories(dir_ / "app");
  fs::create_symlink("../synced/places.bin", file());
  auto p = Persistence::open_at(options());
  ASSERT_TRUE(p.document().put(ObjId::root(), "k", ScalarValue{true}));
  ASSERT_TRUE(p.save_now());
  EXPECT_TRUE(fs::is_symlink(file()));
  EXPECT_EQ(names_in(synced), std::set<std::string>{"places.bin"});
  auto loaded = doc::Document::load([&] {
    auto const bytes = read(synced / "places.bin");
    return doc::Bytes(bytes.begin(), bytes.end());
  }());
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->heads(), p.document().heads());
  ASSERT_TRUE(p.document().put(ObjId::root(), "k", ScalarValue{false}));
  ASSERT_TRUE(p.save_now()); // a second write merges what the link's target holds
  EXPECT_TRUE(fs::is_symlink(file()));
  EXPECT_EQ(Persistence::open_at(options()).document().heads(), p.document().heads());
}

} // namespace
} // namespace zarn_ui::persist
