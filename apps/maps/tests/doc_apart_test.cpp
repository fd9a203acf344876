// Documents made apart merge into one view: two first runs on one data folder, and files that
// older runs wrote with two roots, show every place, and later edits land where they are read.

#include <gtest/gtest.h>

#include "doc/apart.h"
#include "doc/load.h"
#include "doc/save.h"
#include "doc/schema.h"
#include "doc/updaters.h"
#include "platform/doc/document.h"

namespace maps {
namespace {

namespace zd = zarn_ui::doc;

Place place(std::string id, bool saved = false) {
  return Place{id, "Place " + id, PlaceCategory::Museum, "", {48.1, 11.5}, saved};
}

void upsert(zd::Document& doc, Place p) {
  ASSERT_TRUE(apply_action_to_doc(MapsAction{MapsAction::UpsertPlaces{{std::move(p)}}}, doc));
}

std::vector<std::string> place_ids(zd::Document& doc) {
  MapModel live = default_map_model();
  refresh_model_from_doc(doc, live); // the loader's view, joined first as the tick does
  std::vector<std::string> out;
  for (auto const& p : live.places) {
    out.push_back(p.id + (p.saved ? "*" : ""));
  }
  return out;
}

std::size_t maps_roots(zd::Document const& doc) {
  auto all = doc.get_all(ObjId::root(), MAPS_ROOT_KEY);
  return all ? all->size() : 0;
}

// A first run as the application makes it: the first tick seeds the default model, then the
// user saves a place.
zd::Document first_run(std::uint8_t actor, std::string const& place_id) {
  zd::Document doc(zd::Bytes(16, actor));
  save_model_to_doc(doc, default_map_model());
  upsert(doc, place(place_id, true));
  return doc;
}

// A document as runs before the shared root wrote it: its own "maps_v2".
zd::Document older_run(std::uint8_t actor, std::string const& place_id) {
  zd::Document doc(zd::Bytes(16, actor));
  (void)doc.put_object(ObjId::root(), MAPS_ROOT_KEY, zd::ObjType::Map);
  save_model_to_doc(doc, default_map_model());
  upsert(doc, place(place_id));
  return doc;
}

TEST(DocApart, TwoFirstRunsMergeIntoOneViewEitherWay) {
  for (bool a_first : {true, false}) {
    SCOPED_TRACE(a_first ? "a takes b" : "b takes a");
    auto a = first_run(1, "a");
    auto b = first_run(2, "b");
    auto& into = a_first ? a : b;
    auto& other = a_first ? b : a;
    ASSERT_TRUE(into.merge(other));
    EXPECT_EQ(maps_roots(into), 1u) << "both wrote into the shared root";
    EXPECT_EQ(place_ids(into), (std::vector<std::string>{"a*", "b*"}));

    // An edit after the merge, to the other run's place, is what the next load shows.
    ASSERT_TRUE(apply_action_to_doc(MapsAction{MapsAction::SetPlaceSaved{"b", false}}, into));
    auto reloaded = zd::Document::load(into.save());
    ASSERT_TRUE(reloaded);
    EXPECT_EQ(place_ids(*reloaded), (std::vector<std::string>{"a*", "b"}));
  }
}

TEST(DocApart, AFileWithTwoRootsHealsOnItsNextLoad) {
  auto a = older_run(1, "a");
  auto b = older_run(2, "b");
  // The same place in both, saved later in one of them only.
  upsert(a, place("shared"));
  upsert(b, place("shared"));
  ASSERT_TRUE(apply_action_to_doc(MapsAction{MapsAction::CommitSearch{"museum"}}, a));
  ASSERT_TRUE(apply_action_to_doc(MapsAction{MapsAction::SetPlaceSaved{"shared", true}}, a));
  ASSERT_TRUE(a.merge(b));
  auto file = zd::Document::load(a.save());
  ASSERT_TRUE(file);
  ASSERT_EQ(maps_roots(*file), 2u);
  auto const hidden = load_model_from_doc(*file);
  ASSERT_TRUE(hidden);
  EXPECT_EQ(hidden->places.size(), 2u) << "the winner alone hides the other run's place";

  EXPECT_EQ(place_ids(*file), (std::vector<std::string>{"a", "b", "shared*"}));
  auto const view = load_model_from_doc(*file);
  ASSERT_TRUE(view);
  EXPECT_EQ(view->recents, (std::vector<std::string>{"museum"}));
  EXPECT_FALSE(join_apart_objects(*file)) << "joined once, nothing is written again";

  // Later edits land in the object that is read, also for the other run's place.
  ASSERT_TRUE(apply_action_to_doc(MapsAction{MapsAction::SetPlaceSaved{"b", true}}, *file));
  auto again = zd::Document::load(file->save());
  ASSERT_TRUE(again);
  EXPECT_EQ(place_ids(*again), (std::vector<std::string>{"a", "b*", "shared*"}));
}

TEST(DocApart, EveryNewDocumentSharesTheFirstChangeByteForByte) {
  zd::Document a(zd::Bytes(16, 1));
  zd::Document b(zd::Bytes(16, 2));
  EXPECT_TRUE(add_shared_root(a));
  EXPECT_TRUE(add_shared_root(b));
  EXPECT_EQ(a.heads(), b.heads());
  EXPECT_FALSE(add_shared_root(a)) << "only a document without changes takes it";
  zd::Document seeded(zd::Bytes(16, 3));
  save_model_to_doc(seeded, default_map_model());
  EXPECT_EQ(seeded.changes().front().hash, a.heads().front());
}

} // namespace
} // namespace maps
