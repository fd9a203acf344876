// Texts that enter the document are bounded: an action carrying a text over its limit is
// refused whole, whichever way it came in, and the search history never holds a longer text.

#include <gtest/gtest.h>

#include "doc/load.h"
#include "doc/save.h"
#include "doc/updaters.h"
#include "model/limits.h"
#include "model/ops.h"
#include "platform/doc/document.h"

namespace maps {
namespace {

namespace zd = zarn_ui::doc;

Place place_named(std::string name, std::string address = "Marienplatz 1") {
  return Place{"p1", std::move(name), PlaceCategory::Cafe, std::move(address), {48.1, 11.5}, false};
}

TEST(DocLimits, AnActionWithATextOverItsLimitIsRefusedWhole) {
  std::string const bytes_over(MAX_PLACE_TEXT_BYTES + 1, 'a');
  // Characters, not bytes: 1000 two-byte letters fit a search.
  std::string umlauts;
  for (std::size_t i = 0; i < MAX_QUERY_CHARS; ++i) {
    umlauts += "\xC3\xBC";
  }
  struct Case {
    char const* name;
    MapsAction action;
    std::optional<char const*> refusal;
  } const cases[] = {
      {"a place name at the limit",
       MapsAction{MapsAction::UpsertPlaces{{place_named(std::string(MAX_PLACE_TEXT_BYTES, 'a'))}}},
       std::nullopt},
      {"a place name past it", MapsAction{MapsAction::UpsertPlaces{{place_named(bytes_over)}}},
       "a place's name is longer than 4096 bytes"},
      {"an address past it",
       MapsAction{MapsAction::UpsertPlaces{{place_named("Café", bytes_over)}}},
       "a place's address is longer than 4096 bytes"},
      {"a search of 1000 letters", MapsAction{MapsAction::CommitSearch{umlauts}}, std::nullopt},
      {"a search of 1001 letters", MapsAction{MapsAction::CommitSearch{umlauts + "x"}},
       "the search text is longer than 1000 characters"},
      {"an area name past its limit",
       MapsAction{MapsAction::AddRegion{
           DownloadedRegion{"region:1", std::string(1001, 'n'), {48, 11}, {49, 12}, 10, 14, 5}}},
       "the area's name is longer than 1000 characters"},
      {"a route's endpoint name past it",
       MapsAction{MapsAction::SetRoute{Route{}, std::nullopt, bytes_over, std::nullopt, "",
                                       TravelMode::Car}},
       "the start's name is longer than 4096 bytes"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    zd::Document doc(zd::Bytes(16, 1));
    auto const before = doc.heads();
    auto const applied = apply_action_to_doc(c.action, doc);
    if (c.refusal) {
      ASSERT_FALSE(applied);
      EXPECT_EQ(applied.error(), *c.refusal);
      EXPECT_EQ(doc.pending_ops(), 0u) << "nothing of it was written";
      EXPECT_EQ(doc.heads(), before);
    } else {
      EXPECT_TRUE(applied) << applied.error();
      EXPECT_GT(doc.pending_ops(), 0u);
    }
  }
}

TEST(DocLimits, TheHistoryNeverHoldsALongerText) {
  std::string const too_long(MAX_QUERY_CHARS + 1, 'q');
  // In memory: refused, and an over-long entry goes with the next search.
  std::vector<std::string> recents = {"museum", too_long};
  EXPECT_FALSE(apply_recent_search(recents, too_long));
  EXPECT_TRUE(apply_recent_search(recents, "cafe"));
  EXPECT_EQ(recents, (std::vector<std::string>{"cafe", "museum"}));

  // In the document: an entry another program wrote past the limit is not shown, and the next
  // search removes it.
  zd::Document doc(zd::Bytes(16, 1));
  MapModel model = default_map_model();
  model.recents = {"museum"};
  save_model_to_doc(doc, model);
  auto root = ensure_maps_root(doc);
  ASSERT_TRUE(root);
  auto recents_map = ensure_map(doc, *root, "recents");
  auto member = ensure_map(doc, *recents_map, "long");
  put_text(doc, *member, "text", too_long);
  put_int_if_changed(doc, *member, "rank", 0);
  EXPECT_EQ(read_recents(doc, *root), (std::vector<std::string>{"museum"}));
  ASSERT_TRUE(apply_action_to_doc(MapsAction{MapsAction::CommitSearch{"cafe"}}, doc));
  EXPECT_EQ(read_recents(doc, *root), (std::vector<std::string>{"cafe", "museum"}));
  EXPECT_FALSE(get_map(doc, *recents_map, "long"));
}

} // namespace
} // namespace maps
