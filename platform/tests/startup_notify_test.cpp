// The launcher's startup token: read from the environment once, and the X11 message that ends
// the notification.

#include "platform/launch/startup_notify.h"

#include <stdlib.h>

#include <gtest/gtest.h>

namespace zarn_ui::launch {
namespace {

TEST(StartupNotify, TheRemoveMessageQuotesTheIdAndComesInNulEndedPieces) {
  EXPECT_EQ(startup_remove_message("gnome-shell/Maps/1-2_TIME99"),
            "remove: ID=\"gnome-shell/Maps/1-2_TIME99\"");
  EXPECT_EQ(startup_remove_message("a\"b\\c d"), "remove: ID=\"a\\\"b\\\\c d\"");

  struct Case {
    std::size_t length;
    std::size_t pieces;
  } const cases[] = {{0, 1}, {19, 1}, {20, 2}, {39, 2}, {40, 3}};
  for (auto const& c : cases) {
    SCOPED_TRACE(c.length);
    std::string const message(c.length, 'x');
    auto const pieces = startup_message_pieces(message);
    ASSERT_EQ(pieces.size(), c.pieces);
    std::string joined;
    for (auto const& p : pieces) {
      EXPECT_EQ(p.size(), 20u);
      joined += p;
    }
    EXPECT_EQ(joined.substr(0, c.length), message);
    EXPECT_EQ(joined[c.length], '\0') << "the text ends in a NUL byte";
  }
}

TEST(StartupNotify, TheTokenIsTakenOnceAndNotPassedOn) {
  struct Case {
    char const* name;
    char const* wayland;
    char const* x11;
    std::optional<std::string> token;
  } const cases[] = {
      {"none", nullptr, nullptr, std::nullopt},
      {"X11", nullptr, "id_TIME5", "id_TIME5"},
      {"Wayland first", "wl-token", "id_TIME5", "wl-token"},
      {"empty", "", "", std::nullopt},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    unsetenv("XDG_ACTIVATION_TOKEN");
    unsetenv("DESKTOP_STARTUP_ID");
    if (c.wayland != nullptr) {
      setenv("XDG_ACTIVATION_TOKEN", c.wayland, 1);
    }
    if (c.x11 != nullptr) {
      setenv("DESKTOP_STARTUP_ID", c.x11, 1);
    }
    EXPECT_EQ(take_startup_token(), c.token);
    EXPECT_EQ(getenv("DESKTOP_STARTUP_ID"), nullptr);
    // The window takes the Wayland token as it opens; after that it is gone too.
    complete_startup(nullptr, c.token.value_or(""));
    EXPECT_EQ(getenv("XDG_ACTIVATION_TOKEN"), nullptr);
  }
}

} // namespace
} // namespace zarn_ui::launch
