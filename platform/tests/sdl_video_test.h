#pragma once
// Test helper: a fixture with SDL's video subsystem up on the dummy driver, which keeps the
// clipboard and the primary selection in the process, so clipboard keys can be tested without
// a display.

#include <SDL.h>
#include <gtest/gtest.h>

namespace zarn_ui::test {

class SdlVideoTest : public testing::Test {
protected:
  void SetUp() override {
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "dummy");
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
  }
  void TearDown() override { SDL_QuitSubSystem(SDL_INIT_VIDEO); }
};

} // namespace zarn_ui::test
