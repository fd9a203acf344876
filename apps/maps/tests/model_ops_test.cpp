#include "model/ops.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace maps {
namespace {

using Texts = std::vector<std::string>;

TEST(ModelOps, CommitSearchKeepsNewestFirstWithoutAsciiCaseDuplicates) {
  Texts const full = {"a", "b", "c", "d", "e", "f", "g", "h"};
  struct Case {
    char const* name;
    Texts before;
    std::string query;
    Texts after;
  } const cases[] = {
      {"trimmed and moved to the front in its latest form",
       {"cafe", "bar"},
       "  Cafe \t",
       {"Cafe", "bar"}},
      {"Unicode white space is trimmed", {}, "\xE2\x80\x83Museum\xC2\xA0", {"Museum"}},
      {"blank query on an empty list", {}, " \t\n", {}},
      {"blank query on a full list", full, "\xE2\x80\x83", full},
      {"empty query", {"x"}, "", {"x"}},
      {"ninth distinct text drops the oldest", full, "i", {"i", "a", "b", "c", "d", "e", "f", "g"}},
      {"repeat of the last entry on a full list",
       full,
       "H",
       {"H", "a", "b", "c", "d", "e", "f", "g"}},
      {"non-ASCII case differs: both stay",
       {"caf\xC3\xA9"},
       "CAF\xC3\x89",
       {"CAF\xC3\x89", "caf\xC3\xA9"}},
      {"every duplicate goes, also from a list held by another writer",
       {"x", "X", "y", "x"},
       "x",
       {"x", "y"}},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    MapModel m = default_map_model();
    m.recents = c.before;
    commit_search(m, c.query);
    EXPECT_EQ(m.recents, c.after);
  }
}

TEST(ModelOps, RecentSearchRuleTruncatesListsLongerThanTheLimit) {
  Texts recents = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"};
  EXPECT_TRUE(apply_recent_search(recents, "new"));
  EXPECT_EQ(recents, (Texts{"new", "1", "2", "3", "4", "5", "6", "7"}));
  EXPECT_FALSE(apply_recent_search(recents, "  "));
}

TEST(ModelOps, AsciiCaseComparisonFoldsOnlyAsciiLetters) {
  EXPECT_TRUE(equals_ignore_ascii_case("Marienplatz", "mARIENPLATZ"));
  EXPECT_FALSE(equals_ignore_ascii_case("\xC3\x9C", "\xC3\xBC")); // Ü, ü
  EXPECT_FALSE(equals_ignore_ascii_case("[", "{"));               // 0x5B vs 0x7B
  EXPECT_FALSE(equals_ignore_ascii_case("ab", "abc"));
}

class ModelOpsPlaces : public ::testing::Test {
protected:
  void SetUp() override {
    model.places = {new_place("a", "Alte Pinakothek", PlaceCategory::Museum, 48.148, 11.570, ""),
                    new_place("b", "Hofbr\xC3\xA4uhaus", PlaceCategory::Bar, 48.137, 11.579, "")};
    model.places[1].saved = true;
  }
  MapModel model = default_map_model();
};

TEST_F(ModelOpsPlaces, UpsertKeepsSavedAndPositionAndTakesTheRest) {
  Place update = new_place("b", "Hofbr\xC3\xA4uhaus M\xC3\xBCnchen", PlaceCategory::Restaurant,
                           48.1376, 11.5799, "Platzl 9");
  upsert_place(model, update);
  ASSERT_EQ(model.places.size(), 2u);
  Place const& b = model.places[1];
  EXPECT_TRUE(b.saved);
  EXPECT_EQ(b.name, update.name);
  EXPECT_EQ(b.category, PlaceCategory::Restaurant);
  EXPECT_EQ(b.address, "Platzl 9");
  EXPECT_EQ(b.pos, (LatLon{48.1376, 11.5799}));

  Place saved_update = new_place("a", "Alte Pinakothek", PlaceCategory::Museum, 1, 2, "");
  saved_update.saved = true;
  upsert_place(model, saved_update);
  EXPECT_TRUE(model.places[0].saved);
  EXPECT_EQ(model.places[0].pos, (LatLon{1, 2}));
}

TEST_F(ModelOpsPlaces, UpsertAppendsNewIdsOnlyOnce) {
  upsert_place(model, new_place("c", "Park", PlaceCategory::Park, 0, 0, ""));
  upsert_place(model, new_place("c", "Park 2", PlaceCategory::Park, 0, 0, ""));
  upsert_place(model, new_place("A", "Other id by case", PlaceCategory::Other, 0, 0, ""));
  ASSERT_EQ(model.places.size(), 4u);
  EXPECT_EQ(model.places[2].name, "Park 2");
  EXPECT_EQ(model.places[3].id, "A");
}

TEST_F(ModelOpsPlaces, ToggleSavedFlipsAndRestores) {
  MapModel const before = model;
  EXPECT_FALSE(toggle_saved(model, "missing"));
  EXPECT_EQ(model, before);
  EXPECT_TRUE(toggle_saved(model, "a"));
  EXPECT_FALSE(toggle_saved(model, "a"));
  EXPECT_EQ(model, before);
  EXPECT_FALSE(toggle_saved(model, "b"));
  EXPECT_FALSE(model.places[1].saved);
}

TEST_F(ModelOpsPlaces, SavedPlacesInListOrder) {
  EXPECT_TRUE(saved_places(default_map_model()).empty());
  model.places[0].saved = true;
  auto const saved = saved_places(model);
  ASSERT_EQ(saved.size(), 2u);
  EXPECT_EQ(saved[0], &model.places[0]);
  EXPECT_EQ(saved[1], &model.places[1]);
}

TEST_F(ModelOpsPlaces, LookupIsExactAndSelectionMayNameNothing) {
  EXPECT_EQ(find_place(model, "b"), &model.places[1]);
  EXPECT_EQ(find_place(model, "B"), nullptr);
  EXPECT_EQ(selected_place(model), nullptr);
  model.selected = "osm-node-1"; // a point of interest never upserted
  EXPECT_EQ(selected_place(model), nullptr);
  model.selected = "a";
  EXPECT_EQ(selected_place(model), &model.places[0]);
}

} // namespace
} // namespace maps
