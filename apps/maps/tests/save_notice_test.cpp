// A failing save is on the status line in the user's words, again at every retry, and gone once
// a save succeeds.

#include <cerrno>
#include <filesystem>
#include <system_error>

#include <gtest/gtest.h>
#include <unistd.h>

#include "doc/save_notice.h"
#include "platform/render/atomic_file.h"

namespace maps {
namespace {

namespace fs = std::filesystem;
using zarn_ui::persist::Persistence;
using zarn_ui::persist::SAVE_DELAY;

TEST(SaveNotice, AFailingSaveIsShownAtEveryRetryAndClearedOnceItWorks) {
  char tmpl[] = "/tmp/save-notice-XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  fs::path const dir = tmpl;
  bool full = true;
  zarn_ui::persist::Options options{dir, {}, {}, {}};
  options.write = [&](fs::path const& path,
                      std::span<std::uint8_t const> bytes) -> base::Result<void> {
    if (full) {
      return base::fail("write " + path.string() + ": " +
                        std::error_code(ENOSPC, std::generic_category()).message());
    }
    return zarn_ui::atomic_file::write_creating_parent(path, bytes);
  };
  auto p = Persistence::open_at(options);
  base::ManualClock clock;
  SaveNotice notice;
  std::string status = "Located";
  auto const frame = [&] {
    p.maybe_save(clock.now());
    tell_save_state(notice, status, p);
  };
  std::string const full_disk = "Your changes can't be saved: the disk is full";

  ASSERT_TRUE(p.document().put(zarn_ui::doc::ObjId::root(), "k", zarn_ui::doc::ScalarValue{true}));
  frame();
  EXPECT_EQ(status, "Located") << "not yet due";
  clock.advance(SAVE_DELAY);
  frame();
  EXPECT_EQ(status, full_disk);

  status = "3 results for \xE2\x80\x9Cmuseum\xE2\x80\x9D";
  frame();
  EXPECT_NE(status, full_disk) << "not on every frame";
  clock.advance(SAVE_DELAY);
  frame();
  EXPECT_EQ(status, full_disk) << "told again when the retry fails";

  full = false;
  clock.advance(SAVE_DELAY);
  frame();
  EXPECT_EQ(status, "") << "saved: the failure is gone";
  EXPECT_FALSE(p.save_problem());

  // A status the user got since the failure stays when saving works again.
  full = true;
  ASSERT_TRUE(p.document().put(zarn_ui::doc::ObjId::root(), "k", zarn_ui::doc::ScalarValue{false}));
  frame();
  clock.advance(SAVE_DELAY);
  frame();
  EXPECT_EQ(status, full_disk);
  status = "Route updated";
  full = false;
  clock.advance(SAVE_DELAY);
  frame();
  EXPECT_EQ(status, "Route updated");
  fs::remove_all(dir);
}

} // namespace
} // namespace maps
