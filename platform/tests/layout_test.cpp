#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "platform/layout/layout.h"

using namespace zarn_ui;
using namespace zarn_ui::layout;

TEST(LayoutTree, DefaultLeafFillsAFixedRoot) {
  struct Case {
    float w, h;
  } const cases[] = {{1280, 800}, {640, 480}, {1, 1}};
  for (auto const& c : cases) {
    SCOPED_TRACE(c.w);
    LayoutTree tree(16);
    auto leaf = tree.new_leaf(Style{});
    ASSERT_TRUE(leaf);
    auto root = tree.new_with_children(Style::fixed(c.w, c.h), {*leaf});
    ASSERT_TRUE(root);
    ASSERT_TRUE(tree.compute_layout(*root, Size{c.w, c.h}));
    EXPECT_EQ(*tree.layout(*root), (Layout{0, 0, c.w, c.h}));
    EXPECT_EQ(*tree.layout(*leaf), (Layout{0, 0, c.w, c.h}));
  }
}

TEST(LayoutTree, FixedSizeWinsOverAvailableSpaceAndRoundingIsOnByDefault) {
  LayoutTree tree;
  auto leaf = *tree.new_leaf(Style{});
  auto root = *tree.new_with_children(Style::fixed(100.4f, 50.6f), {leaf});
  ASSERT_TRUE(tree.compute_layout(root, Size{1000, 1000}));
  EXPECT_EQ(*tree.layout(leaf), (Layout{0, 0, 100, 51}));
  tree.disable_rounding();
  ASSERT_TRUE(tree.compute_layout(root, Size{1000, 1000}));
  EXPECT_FLOAT_EQ(tree.layout(leaf)->width, 100.4f);
}

TEST(LayoutTree, MeasuredLeafTakesItsContentSizeWithinTheSpace) {
  struct Case {
    double available_w;
    float expected_w;
  } const cases[] = {{500, 120}, {80, 80}};
  for (auto const& c : cases) {
    SCOPED_TRACE(c.available_w);
    LayoutTree tree;
    Size seen{};
    auto text = *tree.new_leaf_with_measure(Style{}, [&seen](Size available) {
      seen = available;
      return Size{120, 16.25};
    });
    ASSERT_TRUE(tree.compute_layout(text, Size{c.available_w, 200}));
    EXPECT_EQ(seen.width, c.available_w);
    EXPECT_EQ(tree.layout(text)->width, c.expected_w);
    EXPECT_EQ(tree.layout(text)->height, 16.0f);
  }
}

TEST(LayoutTree, RefusesUnknownSharedOrRepeatedChildren) {
  LayoutTree tree;
  auto a = *tree.new_leaf(Style{});
  EXPECT_FALSE(tree.new_with_children(Style{}, {NodeId{42}}));
  EXPECT_FALSE(tree.new_with_children(Style{}, {a, a}));
  ASSERT_TRUE(tree.new_with_children(Style{}, {a}));
  EXPECT_FALSE(tree.new_with_children(Style{}, {a}));
  EXPECT_FALSE(tree.compute_layout(NodeId{42}, Size{10, 10}));
  EXPECT_FALSE(tree.layout(NodeId{42}));
}

TEST(LayoutTree, BadSpaceAndStyleGiveZeroSizes) {
  LayoutTree tree;
  auto leaf = *tree.new_leaf(Style{});
  auto root = *tree.new_with_children(Style::fixed(std::nanf(""), -5), {leaf});
  ASSERT_TRUE(tree.compute_layout(root, Size{std::numeric_limits<double>::infinity(), -1}));
  EXPECT_EQ(*tree.layout(leaf), (Layout{0, 0, 0, 0}));
}
