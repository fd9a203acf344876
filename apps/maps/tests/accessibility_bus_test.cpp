// The maps window as a screen reader meets it: the window runs with SDL's dummy driver on a
// private desktop accessibility stack, and a bus client finds the search field and the zoom
// buttons by role and name, zooms with the button's action, opens the attribution sheet from
// the overflow menu and closes it with its Close action, and hears the focus move to the
// highlighted menu item and, when "/" is pressed, to the search field; and in the directions
// panel reads the route endpoint fields as text entries whose focus follows the keys and clicks.

#include <SDL.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <future>

#include <gtest/gtest.h>

#include "app/maps_app.h"
#include "platform/a11y/atspi_codes.h"
#include "platform/access/access_node.h"
#include "platform/launch/launch.h"
#include "platform/tests/atspi_session.h"
#include "shell/launch_record.h"
#include "shell/presets.h"

namespace maps {
namespace {

namespace a11y = zarn_ui::a11y;
using zarn_ui::test::AtspiSession;
using zarn_ui::test::Ref;

/// The application as the window runs it, with its zoom readable from the test's thread.
class Observed final : public zarn_ui::widget::Widget {
public:
  Observed(MapsApp app, std::atomic<double>& zoom) : app_(std::move(app)), zoom_(zoom) {}
  std::string_view type_name() const override { return app_.type_name(); }
  void tick(zarn_ui::State& state) override {
    app_.tick(state);
    zoom_ = app_.model.zoom;
  }
  zarn_ui::layout::NodeId build_layout(zarn_ui::layout::LayoutTree& tree,
                                       zarn_ui::Theme const& theme,
                                       zarn_ui::widget::NodeWidgetMap& map) override {
    return app_.build_layout(tree, theme, map);
  }
  void apply_layout(zarn_ui::layout::LayoutTree const& tree, zarn_ui::Point origin,
                    zarn_ui::layout::NodeId node) override {
    app_.apply_layout(tree, origin, node);
  }
  void draw(zarn_ui::Scene& scene, zarn_ui::Affine t,
            zarn_ui::widget::DrawCtx const& ctx) override {
    app_.draw(scene, t, ctx);
  }
  void draw_root(zarn_ui::Scene& scene, zarn_ui::Affine t,
                 zarn_ui::widget::DrawCtx const& ctx) override {
    app_.draw_root(scene, t, ctx);
  }
  void handle_event(zarn_ui::Event const& event, zarn_ui::Modifiers mods, zarn_ui::State* state,
                    double scale, bool& handled) override {
    app_.handle_event(event, mods, state, scale, handled);
  }
  zarn_ui::Rect window_rect() const override { return app_.window_rect(); }
  bool is_busy() const override { return app_.is_busy(); }
  bool needs_frame() const override { return app_.needs_frame(); }
  std::optional<zarn_ui::access::AccessNode> accessibility_tree() const override {
    return app_.accessibility_tree();
  }
  zarn_ui::access::AccessPresentation access_presentation() const override {
    return app_.access_presentation();
  }
  bool perform_semantic_action(zarn_ui::State& state, std::string_view id,
                               zarn_ui::widget::SemanticArgument const& argument) override {
    return app_.perform_semantic_action(state, id, argument);
  }

private:
  MapsApp app_;
  std::atomic<double>& zoom_;
};

void push_key(SDL_Keycode sym, Uint16 mod = KMOD_NONE) {
  for (Uint32 const type : {SDL_KEYDOWN, SDL_KEYUP}) {
    SDL_Event e{};
    e.type = type;
    e.key.keysym.sym = sym;
    e.key.keysym.mod = mod;
    SDL_PushEvent(&e);
  }
}

void push_click(double x, double y) {
  for (Uint32 const type : {SDL_MOUSEMOTION, SDL_MOUSEBUTTONDOWN, SDL_MOUSEBUTTONUP}) {
    SDL_Event e{};
    e.type = type;
    if (type == SDL_MOUSEMOTION) {
      e.motion.x = static_cast<Sint32>(x);
      e.motion.y = static_cast<Sint32>(y);
    } else {
      e.button.button = SDL_BUTTON_LEFT;
      e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
      e.button.clicks = 1;
      e.button.x = static_cast<Sint32>(x);
      e.button.y = static_cast<Sint32>(y);
    }
    SDL_PushEvent(&e);
  }
}

void push_text(char const* text) {
  SDL_Event e{};
  e.type = SDL_TEXTINPUT;
  SDL_strlcpy(e.text.text, text, sizeof(e.text.text));
  SDL_PushEvent(&e);
}

class AccessibilityBus : public ::testing::Test {
protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    if (auto why = session.start(); !why.empty()) {
      GTEST_SKIP() << "skipped: " << why;
    }
  }
  bool services_refuse = false;

  /// Runs the window as the user starts it with `preset`.
  void launch(char const* preset) {
    application = maps_launch_spec();
    application.create_app_from_args = [this](zarn_ui::launch::LaunchArgs const& args)
        -> tl::expected<zarn_ui::launch::AppBox, zarn_ui::launch::LaunchError> {
      MapsApp app = app_from_launch_args(args);
      app.location_config.bus_address = "unix:path=/nonexistent/bus";
      if (services_refuse) {
        // Live services that refuse every connection: each query fails at once.
        app.live = true;
        app.services = {"http://127.0.0.1:1", "http://127.0.0.1:1", "http://127.0.0.1:1",
                        "http://127.0.0.1:1"};
      }
      return std::make_unique<Observed>(std::move(app), zoom);
    };
    zarn_ui::launch::LaunchArgs args;
    args.switches.insert(preset); // a demo start: memory only, no services
    window = std::async(std::launch::async, [this, args] {
      return zarn_ui::launch::run_window(
          application, args, {.max_frames = 0, .session_bus = false, .accessibility = true});
    });
  }
  void TearDown() override {
    if (window.valid()) {
      SDL_Event quit{};
      quit.type = SDL_QUIT;
      while (window.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) {
        SDL_PushEvent(&quit);
      }
      auto const result = window.get();
      EXPECT_TRUE(result) << result.error().display();
    }
  }

  std::optional<Ref> maps_app() {
    std::optional<Ref> app;
    session.wait_for([&] {
      for (auto const& r : session.registered_apps()) {
        if (session.name_of(r) == "Maps") {
          app = r;
        }
      }
      return app.has_value();
    });
    return app;
  }

  /// Waits for a Focus event from `r`.
  bool focus_from(Ref const& r) {
    return session.wait_for([&] {
      return std::any_of(session.events().begin(), session.events().end(),
                         [&](auto const& e) { return e.member == "Focus" && e.path == r.path; });
    });
  }

  /// Clicks the middle of `r` where it is in the window.
  void click(Ref const& r) {
    GVariant* v = session.call(r, a11y::IFACE_COMPONENT, "GetExtents",
                               g_variant_new("(u)", a11y::COORD_WINDOW));
    ASSERT_TRUE(v);
    gint32 x = 0;
    gint32 y = 0;
    gint32 w = 0;
    gint32 h = 0;
    g_variant_get(v, "((iiii))", &x, &y, &w, &h);
    g_variant_unref(v);
    push_click(x + w / 2.0, y + h / 2.0);
  }

  std::string text_of(Ref const& r) {
    GVariant* v = session.call(r, a11y::IFACE_TEXT, "GetText", g_variant_new("(ii)", 0, -1));
    if (v == nullptr) {
      return {};
    }
    char const* text = nullptr;
    g_variant_get(v, "(&s)", &text);
    std::string out = text;
    g_variant_unref(v);
    return out;
  }

  bool act(Ref const& r) {
    GVariant* v = session.call(r, a11y::IFACE_ACTION, "DoAction", g_variant_new("(i)", 0));
    gboolean done = FALSE;
    if (v) {
      g_variant_get(v, "(b)", &done);
      g_variant_unref(v);
    }
    return done;
  }

  std::optional<Ref> top_with_role(Ref const& app, std::uint32_t role) {
    for (auto const& c : session.children_of(app)) {
      if (session.role_of(c) == role) {
        return c;
      }
    }
    return std::nullopt;
  }

  AtspiSession session;
  zarn_ui::launch::LaunchSpec application;
  std::atomic<double> zoom{0.0};
  std::future<zarn_ui::launch::LaunchResult> window;
};

TEST_F(AccessibilityBus, AScreenReaderFindsZoomsOpensAndClosesTheSheetAndFollowsTheFocus) {
  launch("--nav-closed");
  auto const app = maps_app();
  ASSERT_TRUE(app) << "the registry never listed the maps window";
  auto const frame = top_with_role(*app, a11y::atspi_role::FRAME);
  ASSERT_TRUE(frame);
  EXPECT_EQ(session.name_of(*frame), "Maps");

  auto const search = session.find(*app, a11y::atspi_role::ENTRY, "Search places");
  auto const zoom_in = session.find(*app, a11y::atspi_role::PUSH_BUTTON, "Zoom in");
  auto const zoom_out = session.find(*app, a11y::atspi_role::PUSH_BUTTON, "Zoom out");
  ASSERT_TRUE(search);
  ASSERT_TRUE(zoom_in);
  ASSERT_TRUE(zoom_out);

  // The map itself reads as a picture described in words.
  auto const map = session.find(*app, a11y::atspi_role::CANVAS, "Map");
  ASSERT_TRUE(map) << "no map area under the frame";
  EXPECT_TRUE(session.description_of(*map).starts_with("Map centred on "))
      << session.description_of(*map);

  double const before = zoom;
  EXPECT_TRUE(act(*zoom_in));
  EXPECT_TRUE(session.wait_for([&] { return zoom > before; })) << "the zoom stayed at " << before;

  // The sheet from the overflow menu: the keyboard's highlight is the focus, the item's
  // action chooses it.
  auto const more = session.find(*app, a11y::atspi_role::TOGGLE_BUTTON, "More map options");
  ASSERT_TRUE(more);
  session.clear_events();
  EXPECT_TRUE(act(*more));
  auto const item = session.find(*app, a11y::atspi_role::MENU_ITEM, "Attribution");
  ASSERT_TRUE(item) << "the open menu lists no Attribution item";
  // The menu takes the focus on its first item as it opens.
  EXPECT_TRUE(focus_from(*item)) << "no focus event from the highlighted menu item";
  EXPECT_TRUE(act(*item));
  std::optional<Ref> dialog;
  ASSERT_TRUE(session.wait_for([&] {
    dialog = top_with_role(*app, a11y::atspi_role::DIALOG);
    return dialog.has_value();
  })) << "no dialog appeared";
  EXPECT_EQ(session.name_of(*dialog), "Attribution");
  auto const states = session.states_of(*dialog);
  EXPECT_NE(std::find(states.begin(), states.end(), a11y::atspi_state::MODAL), states.end());
  auto const close = session.find(*dialog, a11y::atspi_role::PUSH_BUTTON, "Close");
  ASSERT_TRUE(close);
  session.clear_events();
  EXPECT_TRUE(act(*close));
  EXPECT_TRUE(session.wait_for([&] { return !top_with_role(*app, a11y::atspi_role::DIALOG); }))
      << "the dialog stayed";
  EXPECT_TRUE(top_with_role(*app, a11y::atspi_role::FRAME));
  // Closing the sheet gives the focus back to the button that opened the menu.
  auto const more_again = session.find(*app, a11y::atspi_role::TOGGLE_BUTTON, "More map options");
  ASSERT_TRUE(more_again);
  EXPECT_TRUE(focus_from(*more_again)) << "the focus did not come back to the menu button";

  session.clear_events();
  push_text("/");
  EXPECT_TRUE(focus_from(*search)) << "no focus event from the search field";
  auto const focused = session.states_of(*search);
  EXPECT_NE(std::find(focused.begin(), focused.end(), a11y::atspi_state::FOCUSED), focused.end());
}

TEST_F(AccessibilityBus, TheStatusIsAnnouncedAndTheSheetIsItsBox) {
  services_refuse = true;
  launch("--nav-closed");
  auto const app = maps_app();
  ASSERT_TRUE(app) << "the registry never listed the maps window";
  ASSERT_TRUE(session.find(*app, a11y::atspi_role::ENTRY, "Search places"));
  session.clear_events();
  push_text("/");
  push_text("museum");
  push_key(SDLK_RETURN);
  // A failed search is spoken wherever the focus is, from the status bar that shows it.
  std::string announced;
  EXPECT_TRUE(session.wait_for([&] {
    for (auto const& e : session.events()) {
      if (e.member == "Announcement" && e.text.starts_with("Search failed")) {
        announced = e.path;
        return true;
      }
    }
    return false;
  })) << "the failed search was never announced";
  std::optional<Ref> status;
  for (auto const& r : session.descendants(*app)) {
    if (session.role_of(r) == a11y::atspi_role::STATUS_BAR) {
      status = r;
    }
  }
  ASSERT_TRUE(status) << "no status bar in the tree";
  EXPECT_EQ(status->path, announced);
  EXPECT_TRUE(session.name_of(*status).starts_with("Search failed"));
  GVariant* attributes = session.call(*status, a11y::IFACE_ACCESSIBLE, "GetAttributes");
  ASSERT_TRUE(attributes);
  gchar* live = nullptr;
  GVariant* map = g_variant_get_child_value(attributes, 0);
  EXPECT_TRUE(g_variant_lookup(map, "live", "s", &live));
  EXPECT_STREQ(live, "polite");
  g_free(live);
  g_variant_unref(map);
  g_variant_unref(attributes);

  // The sheet reports the card it draws, not the whole window.
  auto const more = session.find(*app, a11y::atspi_role::TOGGLE_BUTTON, "More map options");
  ASSERT_TRUE(more);
  EXPECT_TRUE(act(*more));
  auto const item = session.find(*app, a11y::atspi_role::MENU_ITEM, "Attribution");
  ASSERT_TRUE(item);
  EXPECT_TRUE(act(*item));
  std::optional<Ref> dialog;
  ASSERT_TRUE(session.wait_for([&] {
    dialog = top_with_role(*app, a11y::atspi_role::DIALOG);
    return dialog.has_value();
  }));
  GVariant* v = session.call(*dialog, a11y::IFACE_COMPONENT, "GetExtents",
                             g_variant_new("(u)", a11y::COORD_WINDOW));
  ASSERT_TRUE(v);
  gint32 x = 0;
  gint32 y = 0;
  gint32 w = 0;
  gint32 h = 0;
  g_variant_get(v, "((iiii))", &x, &y, &w, &h);
  g_variant_unref(v);
  EXPECT_EQ(w, 440);
  EXPECT_EQ(h, 220);
  EXPECT_GT(x, 0);
  EXPECT_GT(y, 0);
  EXPECT_TRUE(session.find(*dialog, a11y::atspi_role::LABEL,
                           "Map data \xC2\xA9 OpenStreetMap contributors\n"
                           "Basemap tiles \xC2\xA9 CARTO"))
      << "the sheet's body is not read";
}

TEST_F(AccessibilityBus, AClientsFirstQuestionIsAnsweredWithTheWindow) {
  launch("--nav-closed");
  std::vector<Ref> apps;
  ASSERT_TRUE(session.wait_for([&] {
    apps = session.registered_apps();
    return !apps.empty();
  }));
  // Nothing asked the window before: its child count is the first question it hears.
  GVariant* count = session.property(apps.front(), a11y::IFACE_ACCESSIBLE, "ChildCount");
  ASSERT_TRUE(count);
  EXPECT_EQ(g_variant_get_int32(count), 1) << "the application showed no window";
  g_variant_unref(count);
}

TEST_F(AccessibilityBus, TabMovesTheFocusWithAFocusEventAndEnterPerforms) {
  launch("--nav-closed");
  auto const app = maps_app();
  ASSERT_TRUE(app);
  auto const search = session.find(*app, a11y::atspi_role::ENTRY, "Search places");
  ASSERT_TRUE(search);
  session.clear_events();
  push_key(SDLK_TAB);
  EXPECT_TRUE(focus_from(*search)) << "the first Tab did not reach the search field";
  // On to Zoom in, one focus event per step, then Enter presses it.
  auto const zoom_in = session.find(*app, a11y::atspi_role::PUSH_BUTTON, "Zoom in");
  ASSERT_TRUE(zoom_in);
  double const before = zoom;
  for (int i = 0; i < 60; ++i) {
    auto const states = session.states_of(*zoom_in);
    if (std::find(states.begin(), states.end(), a11y::atspi_state::FOCUSED) != states.end()) {
      break;
    }
    session.clear_events();
    push_key(SDLK_TAB);
    session.wait_for([&] {
      return std::any_of(session.events().begin(), session.events().end(),
                         [](auto const& e) { return e.member == "Focus"; });
    });
  }
  push_key(SDLK_RETURN);
  EXPECT_TRUE(session.wait_for([&] { return zoom > before; })) << "Enter did not press Zoom in";
}

TEST_F(AccessibilityBus, TheRouteEndpointFieldsReadAsTextAndTheFocusFollowsTheUser) {
  launch("--edit-from"); // the starting point is being edited, with suggestions under it
  auto const app = maps_app();
  ASSERT_TRUE(app) << "the registry never listed the maps window";
  auto const origin = session.find(*app, a11y::atspi_role::ENTRY, "Choose starting point");
  auto const dest = session.find(*app, a11y::atspi_role::ENTRY, "Choose destination");
  ASSERT_TRUE(origin);
  ASSERT_TRUE(dest);
  auto const states = session.states_of(*origin);
  for (auto const state : {a11y::atspi_state::EDITABLE, a11y::atspi_state::SINGLE_LINE,
                           a11y::atspi_state::FOCUSABLE, a11y::atspi_state::FOCUSED}) {
    EXPECT_NE(std::find(states.begin(), states.end(), state), states.end()) << "state " << state;
  }
  EXPECT_EQ(text_of(*origin), "hauptbahnhof");
  GVariant* count = session.property(*origin, a11y::IFACE_TEXT, "CharacterCount");
  ASSERT_TRUE(count);
  EXPECT_EQ(g_variant_get_int32(count), 12);
  g_variant_unref(count);

  auto const list = session.find(*app, a11y::atspi_role::LIST, "Starting point suggestions");
  ASSERT_TRUE(list) << "the suggestions under the field are no list";
  auto const rows = session.children_of(*list);
  ASSERT_FALSE(rows.empty());
  session.clear_events();
  push_key(SDLK_DOWN);
  EXPECT_TRUE(focus_from(rows[0])) << "no focus event from the highlighted suggestion";

  // The open list covers the other field until Escape closes it.
  push_key(SDLK_ESCAPE);
  ASSERT_TRUE(session.wait_for([&] {
    return !session.find(*app, a11y::atspi_role::LIST, "Starting point suggestions");
  })) << "Escape left the suggestions open";
  session.clear_events();
  click(*dest);
  EXPECT_TRUE(focus_from(*dest)) << "no focus event from the clicked destination field";
  session.clear_events();
  click(*origin);
  EXPECT_TRUE(focus_from(*origin))
      << "no focus event when the click went back to the starting point";
  push_text("Ost");
  EXPECT_TRUE(session.wait_for([&] { return text_of(*origin) == "Ost"; })) << text_of(*origin);

  // A tool sets the destination's text as if it were typed there.
  session.clear_events();
  GVariant* set = session.call(*dest, a11y::IFACE_EDITABLE_TEXT, "SetTextContents",
                               g_variant_new("(s)", "Marienplatz"));
  ASSERT_TRUE(set);
  gboolean done = FALSE;
  g_variant_get(set, "(b)", &done);
  g_variant_unref(set);
  EXPECT_TRUE(done);
  EXPECT_EQ(text_of(*dest), "Marienplatz");
  EXPECT_TRUE(focus_from(*dest)) << "the field whose text was set is not the focus";

  // What the user selects in the field is the Text interface's selection.
  push_key(SDLK_LEFT);
  push_key(SDLK_HOME, KMOD_LSHIFT);
  auto const selection = [&] {
    GVariant* v = session.call(*dest, a11y::IFACE_TEXT, "GetSelection", g_variant_new("(i)", 0));
    std::pair<gint32, gint32> run{-1, -1};
    if (v) {
      g_variant_get(v, "(ii)", &run.first, &run.second);
      g_variant_unref(v);
    }
    return run;
  };
  EXPECT_TRUE(session.wait_for([&] {
    return selection() == std::pair<gint32, gint32>{0, 10};
  })) << selection().first
      << ".." << selection().second;

  // A text longer than a field holds is refused, and the field keeps its text.
  std::string const book(zarn_ui::access::MAX_TEXT_FIELD_CHARS + 1, 'b');
  std::string error;
  EXPECT_EQ(session.call(*dest, a11y::IFACE_EDITABLE_TEXT, "SetTextContents",
                         g_variant_new("(s)", book.c_str()), &error),
            nullptr);
  EXPECT_NE(error.find("the text is longer than 1000 characters"), std::string::npos) << error;
  EXPECT_EQ(text_of(*dest), "Marienplatz");
}

} // namespace
} // namespace maps
