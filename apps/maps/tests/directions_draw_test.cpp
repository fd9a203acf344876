#include <gtest/gtest.h>

#include "draw/directions_draw.h"
#include "model/ops.h"
#include "panel_test_support.h"
#include "sample/sample_data.h"
#include "scene_probe.h"
#include "shell/presets.h"
#include "ui/palette.h"

namespace maps {
namespace {

using test::targets_of;

/// The directions content painted alone into a content area from x 26 to 26 + width, from y 0.
struct Panel : ::testing::Test {
  zarn_ui::TextRenderer text;
  zarn_ui::Theme theme = zarn_ui::Theme::light();
  zarn_ui::Scene scene;
  MapsApp app = app_from_launch_args({});
  double end = 0;

  static constexpr double L = 26;

  void draw(double width = 364) {
    scene.reset();
    app.hit_targets.clear();
    end = draw_directions_panel(app, scene, Affine::identity(), text, theme,
                                Rect{L, 0, L + width, 600}, 0);
  }

  std::vector<zarn_ui::TextCmd const*> texts() const { return probe::text_cmds(scene); }
  zarn_ui::TextCmd const* find(std::string_view s) const { return probe::find_text_cmd(scene, s); }
  bool has(std::string_view s) const { return find(s) != nullptr; }
  zarn_ui::TextCmd const* find_prefix(std::string_view prefix) const {
    return probe::find_text_cmd(scene, prefix, true);
  }
  bool has_leave() const { return find_prefix("Leave ") != nullptr; }
  /// The rounded fills whose rectangle is `r`.
  std::vector<zarn_ui::FillCmd const*> fills_at(Rect const& r) const {
    std::vector<zarn_ui::FillCmd const*> out;
    for (auto const& cmd : scene.commands) {
      if (auto const* f = std::get_if<zarn_ui::FillCmd>(&cmd)) {
        if (auto const* rr = std::get_if<zarn_ui::RoundedRect>(&f->shape); rr && rr->rect == r) {
          out.push_back(f);
        }
      }
    }
    return out;
  }
};

TEST_F(Panel, EndpointFieldsAndSwapAreTheEditorsTargetsInOrder) {
  app.endpoints.hits.push_back(EndpointHit{}); // stale from an earlier frame
  draw();
  double const R = L + 364;
  ASSERT_EQ(app.endpoints.hits.size(), 3u);
  EXPECT_EQ(app.endpoints.hits[0],
            (EndpointHit{Rect{L, 0, R - 42, 40}, EndpointHitKind::Field, ORIGIN_FIELD, 0}));
  EXPECT_EQ(app.endpoints.hits[1],
            (EndpointHit{Rect{L, 48, R - 42, 88}, EndpointHitKind::Field, DEST_FIELD, 0}));
  EXPECT_EQ(app.endpoints.hits[2].kind, EndpointHitKind::Swap);
  EXPECT_EQ(app.endpoints.hits[2].rect, (Rect{R - 34, 20, R, 68}));
  EXPECT_EQ(app.endpoints.origin_rect, (Rect{L, 0, R - 42, 40}));
  EXPECT_EQ(app.endpoints.dest_rect, (Rect{L, 48, R - 42, 88}));
  // The inputs show the model's endpoints outside editing.
  EXPECT_EQ(app.endpoints.origin_input.text(), app.model.origin_name);
  EXPECT_EQ(app.endpoints.dest_input.text(), "Marienplatz");
}

TEST_F(Panel, EndpointInputsShowTheEditedTextOrFallBack) {
  edit_endpoint(app.endpoints, DEST_FIELD);
  app.endpoints.dest_input.set_text("Odeon");
  app.model.origin.reset();
  draw();
  EXPECT_EQ(app.endpoints.dest_input.text(), "Odeon");
  EXPECT_EQ(app.endpoints.origin_input.text(), "");
  EXPECT_TRUE(has("Choose starting point"));

  reset_endpoint_editor(app.endpoints);
  app.model.dest_name.clear();
  app.model.selected = "hofgarten";
  draw();
  EXPECT_EQ(app.endpoints.dest_input.text(), find_place(app.model, "hofgarten")->name);
}

TEST_F(Panel, LocationChipWhileLocatingDoesNothing) {
  for (bool const locating : {false, true}) {
    SCOPED_TRACE(locating);
    app.locating = locating;
    draw();
    std::string_view const label = locating ? "Locating\xE2\x80\xA6" : "Use my location";
    ASSERT_TRUE(has(label));
    Rect const chip{L, 98, L + text.measure(label, 13) + 44, 128};
    auto const& first = app.hit_targets.at(0);
    EXPECT_EQ(first.rect, chip);
    EXPECT_EQ(first.action.is<UiAction::None>(), locating);
    EXPECT_EQ(first.action.is<UiAction::UseMyLocation>(), !locating);
  }
}

TEST_F(Panel, ModeTabsAreQuartersInDisplayOrder) {
  app.model.mode = TravelMode::Bike;
  draw(400);
  auto const tabs = targets_of<UiAction::TravelMode>(app);
  ASSERT_EQ(tabs.size(), 4u);
  TravelMode const order[] = {TravelMode::Car, TravelMode::Transit, TravelMode::Bike,
                              TravelMode::Foot};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(tabs[i].rect, (Rect{L + 100.0 * i, 142, L + 100.0 * (i + 1), 182}));
    EXPECT_EQ(tabs[i].action.get_if<UiAction::TravelMode>()->mode, order[i]);
  }
  // Only the chosen tab gets the inset accent fill, and its label is white.
  auto const inset = fills_at(Rect{L + 203, 145, L + 297, 179});
  ASSERT_EQ(inset.size(), 1u);
  EXPECT_EQ(inset[0]->color, theme.accent);
  EXPECT_EQ(find("Cycle")->color, zarn_ui::colors::WHITE);
  EXPECT_EQ(find("Drive")->color, theme.text_secondary);
}

TEST_F(Panel, SegmentedControlWidthCapsAt150) {
  struct Case {
    double width;
    double s;
  } const cases[] = {{200, 96}, {308, 150}, {400, 150}};
  for (auto const& c : cases) {
    SCOPED_TRACE(c.width);
    draw(c.width);
    auto const halves = targets_of<UiAction::TransitTimeMode>(app);
    ASSERT_EQ(halves.size(), 2u);
    EXPECT_EQ(halves[0].rect, (Rect{L, 194, L + c.s / 2, 230}));
    EXPECT_EQ(halves[1].rect, (Rect{L + c.s / 2, 194, L + c.s, 230}));
    EXPECT_FALSE(halves[0].action.get_if<UiAction::TransitTimeMode>()->arrive);
    auto const deltas = targets_of<UiAction::TransitTimeDelta>(app);
    ASSERT_EQ(deltas.size(), 2u);
    EXPECT_EQ(deltas[0].rect, (Rect{L + c.s + 8, 194, L + c.s + 46, 230}));
    EXPECT_EQ(deltas[0].action.get_if<UiAction::TransitTimeDelta>()->minutes, -15);
    EXPECT_EQ(deltas[1].rect, (Rect{L + c.width - 38, 194, L + c.width, 230}));
    EXPECT_EQ(deltas[1].action.get_if<UiAction::TransitTimeDelta>()->minutes, 15);
  }
}

TEST_F(Panel, TimeReadsNowOnlyWhenLeavingWithoutOffset) {
  struct Case {
    TransitTimeMode mode;
    std::int32_t offset;
    char const* shown;
    bool chip;
  } const cases[] = {
      {TransitTimeMode::Depart, 0, "Now", false},
      {TransitTimeMode::Arrive, 0, "09:00", true}, // the demo clock
      {TransitTimeMode::Depart, 45, "09:45", true},
      {TransitTimeMode::Arrive, 60, "10:00", true},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.shown);
    app.model.transit_time = TransitTime{c.mode, c.offset};
    app.model.route.reset();
    app.model.dest.reset();
    draw();
    auto const* shown = find(c.shown);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->transform.f, 194 + 8.625);
    EXPECT_EQ(shown->color, theme.accent);
    auto const chip = targets_of<UiAction::LeaveNow>(app);
    EXPECT_EQ(chip.size(), c.chip ? 1u : 0u);
    EXPECT_EQ(has("Reset to now"), c.chip);
    // The content below starts at T + 88 with the chip, T + 54 without.
    double const u = c.chip ? 194 + 88 : 194 + 54;
    ASSERT_TRUE(has("Select a place, then tap Directions."));
    EXPECT_EQ(find("Select a place, then tap Directions.")->transform.f, u);
    EXPECT_EQ(end, u + 24);
  }
}

TEST_F(Panel, RoadSummaryTimesTurnsAndClear) {
  Route const& route = *app.model.route;
  draw();
  double const U = 194 + 54;
  double const R = L + 364;
  auto const clear = targets_of<UiAction::ClearRoute>(app);
  ASSERT_EQ(clear.size(), 1u);
  EXPECT_EQ(clear[0].rect, (Rect{R - 64, U + 2, R, U + 28}));
  // Leaving now: only the arrival, in the secondary colour.
  EXPECT_FALSE(has_leave());
  auto const* arrive = find_prefix("Arrive ");
  ASSERT_NE(arrive, nullptr);
  EXPECT_EQ(arrive->color, theme.text_secondary);
  EXPECT_EQ(arrive->transform.f, U + 40);
  // One glyph per turn, 46 apart, and the content ends below the last.
  std::size_t const n = route.steps.size();
  ASSERT_GE(n, 2u);
  auto const* last = find(route.steps.back().instruction);
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->transform.f, U + 82 + 46.0 * static_cast<double>(n - 1));
  EXPECT_EQ(end, U + 82 + 46.0 * static_cast<double>(n));
  EXPECT_TRUE(has(maneuver_glyph(route.steps.front().maneuver)));

  // Arriving by a time: leave = base - duration, arrive = base.
  app.model.transit_time = TransitTime{TransitTimeMode::Arrive, 60};
  app.model.route->duration_s = 1800;
  draw();
  EXPECT_TRUE(has("Leave 09:30"));
  EXPECT_TRUE(has("Arrive 10:00"));
  EXPECT_EQ(find("Arrive 10:00")->color, theme.text);
}

TEST_F(Panel, RoadSummaryDistanceFollowsTheDurationAsDrawnAndStopsBeforeClear) {
  struct Case {
    char const* what;
    double duration_s;
    double distance_m;
    float text_scale;
    char const* duration;
  } const cases[] = {
      {"a short route", 720, 5200, 1.0f, "12 min"},
      {"a recorded 13,445 km route", 563340, 13444800, 1.0f, "156 h 29 min"},
      {"the same with large text", 563340, 13444800, 1.25f, "156 h 29 min"},
      {"the same with the largest text", 563340, 13444800, 1.5f, nullptr},
      {"texts longer than the line", 6e13, 4e13, 1.0f, nullptr},
  };
  double const R = L + 364;
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    text.set_text_scale(c.text_scale);
    app.model.route->duration_s = c.duration_s;
    app.model.route->distance_m = c.distance_m;
    draw();
    zarn_ui::TextCmd const* duration = nullptr;
    zarn_ui::TextCmd const* distance = find_prefix("\xC2\xB7 ");
    for (auto const* t : texts()) {
      if (t->weight == 3 && t->color == theme.accent && (!c.duration || t->text == c.duration)) {
        duration = t;
      }
    }
    ASSERT_NE(duration, nullptr);
    double const duration_w = std::min(double{text.measure_weighted(duration->text, 26, 3)},
                                       double{duration->max_width.value_or(1e9f)});
    EXPECT_LE(duration->transform.e + duration_w, R - 64);
    if (distance == nullptr) {
      // Only a duration that fills the line leaves no room for the distance.
      EXPECT_GT(duration_w + 12, R - 72 - L);
      continue;
    }
    EXPECT_GE(distance->transform.e, duration->transform.e + duration_w + 11.5);
    double const distance_w = std::min(double{text.measure(distance->text, 14)},
                                       double{distance->max_width.value_or(1e9f)});
    EXPECT_LE(distance->transform.e + distance_w, R - 64);
  }
}

TEST_F(Panel, ARouteTooLongForTheClockShowsNoTimes) {
  app.model.route->duration_s = 1e300;
  draw();
  double const times_y = 194 + 54 + 40;
  for (auto const* t : texts()) {
    EXPECT_NE(t->transform.f, times_y) << t->text;
  }
  EXPECT_TRUE(has("Clear"));
}

TEST_F(Panel, TransitWithoutJourneysExplainsWhy) {
  struct Case {
    bool dest;
    bool selected;
    std::uint32_t jobs;
    char const* line;
  } const cases[] = {
      {false, false, 0, "Choose a destination to see departures."},
      {false, false, 2, "Finding departures\xE2\x80\xA6"},
      {true, false, 0, "No public-transport itineraries found."},
      {false, true, 0, "No public-transport itineraries found."},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.line);
    set_transit_panel(app, true);
    app.model.transit.clear();
    app.model.dest = c.dest ? std::optional<LatLon>(LatLon{48.14, 11.58}) : std::nullopt;
    app.model.dest_name.clear();
    app.model.selected = c.selected ? std::optional<std::string>("hofgarten") : std::nullopt;
    app.jobs_in_flight = c.jobs;
    draw();
    double const U = 194 + 54;
    ASSERT_TRUE(has(c.line));
    EXPECT_EQ(find(c.line)->transform.f, U + 26);
    EXPECT_EQ(end, U + 26 + 24);
    EXPECT_TRUE(has(c.selected ? "Departures to Hofgarten" : "Departures to destination"));
  }
}

TEST(DirectionsText, TransfersAndModeNames) {
  EXPECT_EQ(transfers_text(0), "direct");
  EXPECT_EQ(transfers_text(1), "1 change");
  EXPECT_EQ(transfers_text(2), "2 changes");
  EXPECT_EQ(leg_mode_label(LegMode::Subway), "Metro");
  EXPECT_EQ(leg_mode_label(LegMode::Rail), "Train");
  EXPECT_EQ(maneuver_glyph(Maneuver::Arrive), "\xE2\x9A\x91");
  EXPECT_EQ(maneuver_glyph(Maneuver::Merge), maneuver_glyph(Maneuver::Continue));
}

TEST_F(Panel, JourneyCardsChipsLegsAndCredit) {
  set_transit_panel(app, true);
  TransitLeg walk;
  walk.mode = LegMode::Walk;
  walk.duration_min = 0;
  walk.to_name = "Odeonsplatz";
  walk.dep = "09:00";
  walk.arr = "09:00";
  TransitLeg tram;
  tram.mode = LegMode::Tram;
  tram.line = "19";
  tram.headsign = "";
  tram.color = "not a colour";
  tram.text_color = "zz";
  tram.from_name = "A";
  tram.to_name = "B";
  tram.num_stops = 4;
  tram.realtime = true;
  tram.agency = "MVG";
  app.model.transit = {TransitJourney{"09:00", "09:20", 20, 1, {walk, tram}},
                       TransitJourney{"09:10", "09:40", 30, 0, {tram}}};
  app.model.transit_choice = 0;
  draw();
  double const U = 194 + 54 + 26;
  double const R = L + 364;
  auto const cards = targets_of<UiAction::SelectJourney>(app);
  ASSERT_EQ(cards.size(), 2u);
  EXPECT_EQ(cards[0].rect, (Rect{L, U, R, U + 86}));
  // The chosen journey lists its two legs below its card before the next card.
  EXPECT_EQ(cards[1].rect.y0, U + 96 + 2 * 38 + 6);
  EXPECT_EQ(cards[1].action.get_if<UiAction::SelectJourney>()->index, 1u);
  EXPECT_TRUE(has("1 change"));
  EXPECT_TRUE(has("direct"));
  // A 0-minute walk counts as 1 minute.
  EXPECT_TRUE(has("walk 1m"));
  EXPECT_TRUE(has("Walk \xC2\xB7 1 min"));
  EXPECT_TRUE(has("Tram 19")); // trailing blank of the empty headsign trimmed
  EXPECT_TRUE(has("A \xE2\x86\x92 alight B \xC2\xB7 4 stops"));
  EXPECT_TRUE(has("live"));
  // A colour that does not parse: the tram's mode colour and a white label.
  auto const* chip_label = find("19");
  ASSERT_NE(chip_label, nullptr);
  EXPECT_EQ(chip_label->color, zarn_ui::colors::WHITE);
  double const label_w = text.measure("19", 12);
  double const chip_x = L + 12 + text.measure("walk 1m", 11) + 10 + 14;
  auto const chip = fills_at(Rect{chip_x, U + 38, chip_x + label_w + 16, U + 60});
  ASSERT_EQ(chip.size(), 1u);
  EXPECT_EQ(chip[0]->color, theme.danger);
  // The credit line ends the content.
  std::string const credit = "Live times \xC2\xB7 via Transitous (MOTIS) \xC2\xB7 MVG";
  ASSERT_TRUE(has(credit));
  double const credit_y = cards[1].rect.y0 + 96;
  EXPECT_EQ(find(credit)->transform.f, credit_y + 10);
  EXPECT_EQ(end, credit_y + 28);
}

} // namespace
} // namespace maps
