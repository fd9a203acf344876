#include <cmath>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/render/offscreen.h"
#include "platform/text/text_engine.h"
#include "platform/text/text_renderer.h"

using namespace zarn_ui;

TEST(TextRenderer, WidthGrowsWithTheTextAndScalesWithTheSize) {
  TextRenderer text;
  char const* const prefixes[] = {"H",     "Ha",      "Ham",         "Hamb",
                                  "Hambu", "Hamburg", "Hamburg Hbf", "Hamburg Hbf ◎ ⚑"};
  float previous = 0.0f;
  for (char const* p : prefixes) {
    SCOPED_TRACE(p);
    float const w = text.measure(p, 13.0f);
    EXPECT_GT(w, previous);
    previous = w;
  }
  EXPECT_EQ(text.measure("", 13.0f), 0.0f);
  // Unhinted, unrounded metrics: twice the size is twice the width.
  float const w12 = text.measure("Alexanderplatz", 12.0f);
  float const w24 = text.measure("Alexanderplatz", 24.0f);
  EXPECT_NEAR(w24, 2.0f * w12, 0.01f * w24);
  // Bold is wider than regular in DejaVu Sans.
  EXPECT_GT(text.measure_weighted("Alexanderplatz", 12.0f, 3), w12);
}

TEST(TextRenderer, CachedMeasurementEqualsAFreshOne) {
  TextRenderer text;
  float const first = text.measure("Café Größe", 14.0f);
  float const cached = text.measure("Café Größe", 14.0f);
  EXPECT_EQ(first, cached);
  // A separate engine (own font map and empty cache) measures the same.
  text_detail::TextEngine fresh;
  EXPECT_EQ(fresh.measure("Café Größe", 14.0f, 0), first);
  // And so does another thread's engine.
  float other = -1.0f;
  std::thread([&] { other = TextRenderer().measure("Café Größe", 14.0f); }).join();
  EXPECT_EQ(other, first);
}

TEST(TextRenderer, TextScaleMultipliesSizes) {
  TextRenderer text;
  float const base = text.measure("Zoom in", 12.0f);
  text.set_text_scale(2.0f);
  EXPECT_NEAR(text.measure("Zoom in", 12.0f), 2.0f * base, 0.01f * base);
  EXPECT_FLOAT_EQ(text.line_height(12.0f), 30.0f);
  Scene scene;
  text.draw_text(scene, "Zoom in", 12.0f, colors::BLACK, Affine::identity());
  ASSERT_EQ(scene.commands.size(), 1u);
  EXPECT_EQ(std::get<TextCmd>(scene.commands[0]).size, 24.0f);
  text.set_text_scale(std::nanf(""));
  EXPECT_EQ(text.text_scale(), 1.0f);
}

TEST(TextRenderer, BadInputIsDrawnLossilyAndSafely) {
  TextRenderer text;
  struct Case {
    char const* name;
    std::string text;
    float size;
  } const cases[] = {
      {"invalid utf-8",
       std::string("Stra\xdf"
                   "e",
                   6),
       13.0f},
      {"embedded nul", std::string("a\0b", 3), 13.0f},
      {"markup stays text", "<b>bold</b> &amp;", 13.0f},
      {"line break stays on one line", "one\ntwo", 13.0f},
      {"nan size", "x", std::nanf("")},
      {"negative size", "x", -4.0f},
      {"huge size", "x", 1e30f},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    float const w = text.measure(c.text, c.size);
    EXPECT_TRUE(std::isfinite(w));
    EXPECT_GE(w, 0.0f);
    Scene scene;
    text.draw_text(scene, c.text, c.size, colors::BLACK, Affine::translate(2, 2));
    ASSERT_EQ(scene.commands.size(), 1u);
    std::string const& recorded = std::get<TextCmd>(scene.commands[0]).text;
    EXPECT_EQ(recorded.find('\0'), std::string::npos);
    OffscreenRenderer(64, 32).render_resilient(scene, colors::WHITE);
  }
  // Markup is not interpreted: the tags take room.
  EXPECT_GT(text.measure("<b>bold</b>", 13.0f), text.measure("bold", 13.0f));
  // A line break does not start a second line.
  Scene scene;
  text.draw_text(scene, "one\ntwo", 20.0f, colors::BLACK, Affine::identity());
  auto rgba = OffscreenRenderer(200, 80).render_resilient(scene, colors::WHITE);
  for (std::size_t y = 26; y < 80; ++y) {
    for (std::size_t x = 0; x < 200; ++x) {
      ASSERT_EQ(rgba[(y * 200 + x) * 4], 255) << x << "," << y;
    }
  }
}

namespace {

struct Ink {
  int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
  int count = 0;
};

Ink ink_of(std::vector<std::uint8_t> const& rgba, int w, int h) {
  Ink ink;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (rgba[static_cast<std::size_t>(y * w + x) * 4] != 255) {
        ink.x0 = std::min(ink.x0, x);
        ink.y0 = std::min(ink.y0, y);
        ink.x1 = std::max(ink.x1, x);
        ink.y1 = std::max(ink.y1, y);
        ++ink.count;
      }
    }
  }
  return ink;
}

} // namespace

TEST(TextRenderer, RunPaintsInsideItsLineBoxOnly) {
  TextRenderer text;
  struct Case {
    char const* text;
    float size;
    int weight;
  } const cases[] = {{"Hamburg", 20.0f, 0}, {"Ägypten jq", 16.0f, 2}, {"⚑ ◎ ✕ ⇅", 18.0f, 3}};
  for (auto const& c : cases) {
    SCOPED_TRACE(c.text);
    Scene scene;
    text.draw_text_weighted(scene, c.text, c.size, colors::BLACK, Affine::translate(30, 20),
                            c.weight);
    auto rgba = OffscreenRenderer(300, 80).render_resilient(scene, colors::WHITE);
    Ink const ink = ink_of(rgba, 300, 80);
    ASSERT_GT(ink.count, 20);
    float const width = text.measure_weighted(c.text, c.size, c.weight);
    // One pixel of antialiasing slack around the box (30, 20)-(30 + width, 20 + 1.25 size).
    EXPECT_GE(ink.x0, 29);
    EXPECT_GE(ink.y0, 19);
    EXPECT_LE(ink.x1, 30 + static_cast<int>(std::ceil(width)) + 1);
    EXPECT_LE(ink.y1, 20 + static_cast<int>(std::ceil(1.25f * c.size)) + 1);
  }
}

TEST(TextRenderer, WidthLimitCutsTheLine) {
  TextRenderer text;
  std::string const long_text = "Bahnhofstraße 123, Innenstadt, Hamburg, Deutschland";
  ASSERT_GT(text.measure(long_text, 14.0f), 120.0f);
  Scene scene;
  text.draw_text_limited(scene, long_text, 14.0f, colors::BLACK, Affine::translate(10, 5), 0,
                         100.0f);
  auto rgba = OffscreenRenderer(400, 30).render_resilient(scene, colors::WHITE);
  Ink const ink = ink_of(rgba, 400, 30);
  ASSERT_GT(ink.count, 20);
  EXPECT_LE(ink.x1, 10 + 100 + 1);
}

TEST(TextEngine, EqualKeysShareOneCacheEntry) {
  // -0 and +0 compare equal, so a width limit of either must find the other's layout.
  text_detail::TextEngine engine;
  std::string const long_text = "a text longer than any short-string buffer";
  auto const first = engine.prepare(long_text, 13.0f, 0, 0.0f);
  for (int i = 0; i < 64; ++i) {
    EXPECT_EQ(engine.prepare(long_text, 13.0f, 0, -0.0f), first);
  }
  EXPECT_EQ(engine.layout_cache_size(), 1u);
}

TEST(TextEngine, ResolvesDejaVuSans) {
  EXPECT_EQ(text_detail::TextEngine::for_this_thread()->resolved_family(13.0f), "DejaVu Sans");
}

TEST(I18nManager, LookupIsTheTextItself) {
  EXPECT_EQ(I18nManager().lookup("Close"), "Close");
  EXPECT_EQ(I18nManager().lookup(""), "");
}
