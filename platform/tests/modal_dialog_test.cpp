#include <cmath>
#include <limits>
#include <string>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

#include "platform/access/access_node.h"
#include "platform/scene/scene.h"
#include "platform/text/text_renderer.h"
#include "platform/theme/theme.h"
#include "platform/widgets/modal_dialog.h"

using namespace zarn_ui;
using namespace zarn_ui::widget;

namespace {

// The attribution sheet as the application builds it, with counters for its callbacks.
class ModalDialogTest : public ::testing::Test {
protected:
  void SetUp() override {
    dialog = modal_dialog_new(
        "Attribution", Text("Map data © OpenStreetMap contributors\nBasemap tiles © CARTO", 13.0f));
    dialog = modal_dialog_with_primary(std::move(dialog), "Close", [this] { ++primary; });
    dialog = modal_dialog_with_dismiss(std::move(dialog), [this] { ++dismissed; });
    dialog.preferred_size = {440, 220};
    dialog.area = {0, 0, 1280, 800};
    modal_dialog_layout_frame(dialog);
    dialog.open = true;
  }

  bool deliver(Event const& event, double scale = 1.0) {
    return deliver_dialog_event(dialog, event, scale);
  }
  bool click(double x, double y, std::uint32_t button = 0) {
    deliver(PointerMoved{x, y});
    return deliver(PointerButton{x, y, button, ButtonState::Pressed});
  }

  ModalDialog dialog;
  int primary = 0;
  int dismissed = 0;
};

TEST_F(ModalDialogTest, FrameIsCentredWithButtonSlotsInTheBottomBand) {
  EXPECT_EQ(dialog.box_rect, (Rect{420, 290, 860, 510}));
  EXPECT_EQ(dialog.primary_rect, (Rect{734, 462, 844, 502}));
  EXPECT_EQ(dialog.secondary_rect, (Rect{616, 462, 726, 502}));

  dialog.swap_buttons = true;
  modal_dialog_layout_frame(dialog);
  EXPECT_EQ(dialog.primary_rect, (Rect{616, 462, 726, 502}));
  EXPECT_EQ(dialog.secondary_rect, (Rect{734, 462, 844, 502}));
}

TEST_F(ModalDialogTest, FrameClampsToSmallAreasAndIgnoresDegenerateOnes) {
  struct Case {
    char const* name;
    Rect area;
    Size preferred;
    Rect box;
  } const cases[] = {
      {"smaller area: box is the area", {10, 20, 310, 170}, {440, 220}, {10, 20, 310, 170}},
      {"NaN preferred width is ignored",
       {0, 0, 1000, 600},
       {std::nan(""), 200},
       {0, 200, 1000, 400}},
      {"zero-width area changes nothing", {50, 50, 50, 400}, {440, 220}, {420, 290, 860, 510}},
      {"negative height changes nothing", {0, 0, 800, -10}, {440, 220}, {420, 290, 860, 510}},
      {"NaN area changes nothing", {0, 0, std::nan(""), 800}, {440, 220}, {420, 290, 860, 510}},
      {"infinite area changes nothing",
       {0, 0, std::numeric_limits<double>::infinity(), 800},
       {440, 220},
       {420, 290, 860, 510}},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp(); // the 1280 × 800 geometry first
    dialog.area = c.area;
    dialog.preferred_size = c.preferred;
    modal_dialog_layout_frame(dialog);
    EXPECT_EQ(dialog.box_rect, c.box);
  }
}

TEST_F(ModalDialogTest, PointerButtonsAreTakenAndActAtTheLastPointerPosition) {
  struct Case {
    char const* name;
    double x, y;
    std::uint32_t button;
    int primary, dismissed;
  } const cases[] = {
      {"primary button", 740, 470, 0, 1, 0},
      {"right edge of the button is outside it", 844, 470, 0, 0, 0},
      {"bottom edge of the button is outside it", 740, 502, 0, 0, 0},
      {"box outside the buttons does nothing", 500, 350, 0, 0, 0},
      {"dimmed area dismisses", 100, 100, 0, 0, 1},
      {"box edge x1 is outside the box", 860, 300, 0, 0, 1},
      {"right click does nothing", 100, 100, 1, 0, 0},
      {"secondary slot without a secondary button does nothing", 620, 470, 0, 0, 0},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    primary = dismissed = 0;
    EXPECT_TRUE(click(c.x, c.y, c.button));
    EXPECT_EQ(primary, c.primary);
    EXPECT_EQ(dismissed, c.dismissed);
  }
  primary = dismissed = 0;
  EXPECT_FALSE(deliver(PointerMoved{740, 470})) << "moves are not taken";
  EXPECT_TRUE(deliver(PointerButton{740, 470, 0, ButtonState::Released}));
  EXPECT_EQ(primary, 0) << "a release has no effect";
  // Positions are physical: at scale 2 the point (1480, 940) is the button's (740, 470).
  EXPECT_FALSE(deliver(PointerMoved{1480, 940}, 2.0));
  EXPECT_TRUE(deliver(PointerButton{1480, 940, 0, ButtonState::Pressed}, 2.0));
  EXPECT_EQ(primary, 1);

  // A press without a move since opening acts where it is, not at a stale position.
  primary = dismissed = 0;
  deliver(PointerMoved{100, 100});
  EXPECT_TRUE(deliver(PointerButton{500, 350, 0, ButtonState::Pressed}));
  EXPECT_EQ(dismissed, 0);
  EXPECT_TRUE(deliver(PointerButton{740, 470, 0, ButtonState::Pressed}));
  EXPECT_EQ(primary, 1);
}

TEST_F(ModalDialogTest, KeysAreTakenEscapeDismissesEnterRunsPrimary) {
  EXPECT_TRUE(deliver(Key{true, NamedKey::Escape, {}}));
  EXPECT_EQ(dismissed, 1);
  EXPECT_TRUE(deliver(Key{true, NamedKey::Enter, {}}));
  EXPECT_EQ(primary, 1);
  EXPECT_TRUE(deliver(Key{true, std::string("q"), {}}));
  EXPECT_TRUE(deliver(Key{false, NamedKey::Escape, {}}));
  EXPECT_EQ(dismissed, 1) << "character keys and releases are taken without effect";
  EXPECT_FALSE(deliver(Wheel{LineDelta{1.0f}}));
  EXPECT_FALSE(deliver(OtherEvent{}));
}

TEST_F(ModalDialogTest, ClosedDialogTakesNothingDrawsNothingExposesNoButtons) {
  dialog.open = false;
  EXPECT_FALSE(click(740, 470));
  EXPECT_FALSE(deliver(Key{true, NamedKey::Escape, {}}));
  EXPECT_EQ(primary + dismissed, 0);
  TextRenderer text;
  Scene scene;
  modal_dialog_draw(dialog, scene, Affine::identity(), text, Theme::dark());
  EXPECT_TRUE(scene.empty());
  auto const node = modal_dialog_access_nodes(dialog);
  EXPECT_TRUE(node.children.empty());
  EXPECT_TRUE(node.hidden);
  EXPECT_TRUE(semantic_action_bindings(node).empty());
}

TEST_F(ModalDialogTest, CallbackMayReplaceTheDialog) {
  // The sheet holder rebuilds the dialog when a variant is switched; a callback doing so must
  // not run on a destroyed function object.
  dialog = modal_dialog_with_primary(std::move(dialog), "Close", [this] {
    ++primary;
    dialog = modal_dialog_new("Licenses", Text("x", 13.0f));
  });
  EXPECT_TRUE(click(740, 470));
  EXPECT_EQ(primary, 1);
  EXPECT_EQ(dialog.title, "Licenses");
}

TEST_F(ModalDialogTest, DrawsScrimBoxTitleContentAndButton) {
  TextRenderer text;
  Theme const theme = Theme::light();
  Scene scene;
  modal_dialog_draw(dialog, scene, Affine::identity(), text, theme);
  ASSERT_FALSE(scene.empty());
  auto const& scrim = std::get<FillCmd>(scene.commands[0]);
  EXPECT_EQ(scrim.color, (Color{0, 0, 0, 0.7f}));
  EXPECT_EQ(std::get<Rect>(scrim.shape), (Rect{0, 0, 1280, 800}));
  auto const& box = std::get<FillCmd>(scene.commands[1]);
  EXPECT_EQ(box.color, theme.surface);
  EXPECT_EQ(std::get<RoundedRect>(box.shape).rect, dialog.box_rect);
  auto const& outline = std::get<StrokeCmd>(scene.commands[2]);
  EXPECT_EQ(outline.style.width, 1.0);
  EXPECT_EQ(outline.color, theme.border);

  std::vector<TextCmd> texts;
  for (auto const& cmd : scene.commands) {
    if (auto const* t = std::get_if<TextCmd>(&cmd)) {
      texts.push_back(*t);
    }
  }
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[0].text, "Attribution");
  EXPECT_DOUBLE_EQ(texts[0].transform.e, 420 + theme.inner_margin);
  EXPECT_DOUBLE_EQ(texts[0].transform.f, 290 + (48 - theme.title_size) * 0.5);
  EXPECT_EQ(texts[1].text, "Map data © OpenStreetMap contributors");
  EXPECT_DOUBLE_EQ(texts[1].transform.e, 420 + theme.inner_margin);
  EXPECT_DOUBLE_EQ(texts[1].transform.f, 290 + 48);
  EXPECT_EQ(texts[2].text, "Basemap tiles © CARTO");
  EXPECT_GT(texts[2].transform.f, texts[1].transform.f);
  EXPECT_EQ(texts[3].text, "Close");
  EXPECT_TRUE(dialog.primary_rect.contains({texts[3].transform.e, texts[3].transform.f}));
  ASSERT_TRUE(dialog.content_node);
  EXPECT_EQ(dialog.content.rect().x0, 420 + theme.inner_margin);
}

TEST_F(ModalDialogTest, AccessNodesNameTheWindowAndItsButtons) {
  auto const node = modal_dialog_access_nodes(dialog);
  EXPECT_EQ(node.role, access::ROLE_WINDOW);
  EXPECT_EQ(node.name, "Attribution");
  EXPECT_FALSE(node.hidden);
  // The dialog is its box, not the dimmed window, and its body is read with it.
  EXPECT_EQ(node.bounds, (Rect{420, 290, 860, 510}));
  ASSERT_EQ(node.children.size(), 2u);
  EXPECT_EQ(node.children[1].role, access::ROLE_LABEL);
  EXPECT_EQ(node.children[1].name, dialog.content.text());
  auto const& close = node.children[0];
  EXPECT_EQ(close.role, 17);
  EXPECT_EQ(close.state, 2);
  EXPECT_EQ(close.id_text, "modal.primary");
  EXPECT_EQ(close.automation_id, "modal.primary");
  EXPECT_EQ(close.id, access::node_id_for("modal.primary"));
  EXPECT_EQ(close.name, "Close");
  EXPECT_EQ(close.bounds, dialog.primary_rect);

  dialog = modal_dialog_with_secondary(std::move(dialog), "Back", [] {});
  EXPECT_EQ(modal_dialog_access_nodes(dialog).children.at(1).id_text, "modal.secondary");
  dialog.title.clear();
  EXPECT_FALSE(modal_dialog_access_nodes(dialog).name) << "an empty title gives no name";
}

} // namespace

namespace {

TEST(TextWidget, LongLinesWrapInsideTheirBox) {
  TextRenderer text;
  Theme const theme = Theme::dark();
  std::string const long_line = "three \xE2\x80\x94 a much longer line than the box is wide";
  Text body("one\n\n" + long_line, 13.0f);
  ASSERT_EQ(body.lines().size(), 3u);
  EXPECT_EQ(body.lines()[1], "");

  struct Case {
    char const* name;
    Size space;
    bool whole; // every word of the long line is drawn
  } const cases[] = {
      {"room for all lines", {120, 200}, true},
      {"room for one line", {120, text.line_height(13.0f) + 1}, false},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    layout::LayoutTree tree;
    auto const node = body.build_layout(tree, text);
    ASSERT_TRUE(node);
    ASSERT_TRUE(tree.compute_layout(*node, c.space));
    body.apply_layout(tree, *node, 10, 20);
    EXPECT_EQ(body.rect().x0, 10);
    EXPECT_EQ(body.rect().y0, 20);
    EXPECT_LE(body.rect().width(), c.space.width);
    Scene scene;
    body.draw(scene, Affine::identity(), text, theme);
    std::vector<std::string> drawn;
    for (auto const& cmd : scene.commands) {
      if (auto const* t = std::get_if<TextCmd>(&cmd); t != nullptr && !t->text.empty()) {
        drawn.push_back(t->text);
        ASSERT_TRUE(t->max_width);
        EXPECT_LE(*t->max_width, c.space.width);
        EXPECT_LE(text.measure(t->text, 13.0f), *t->max_width) << t->text << " is cut, not wrapped";
        EXPECT_LE((t->transform * Point{}).y + text.line_height(13.0f), body.rect().y1 + 1.0);
      }
    }
    ASSERT_FALSE(drawn.empty());
    EXPECT_EQ(drawn[0], "one");
    if (c.whole) {
      std::string joined;
      for (std::size_t i = 1; i < drawn.size(); ++i) {
        joined += (i > 1 ? " " : "") + drawn[i];
      }
      EXPECT_EQ(joined, long_line);
      EXPECT_GT(drawn.size(), 2u) << "the long line did not wrap";
    } else {
      EXPECT_EQ(drawn.size(), 1u);
    }
  }
}

} // namespace
