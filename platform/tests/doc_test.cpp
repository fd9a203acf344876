#include "platform/doc/document.h"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "platform/doc/text_diff.h"

namespace zarn_ui::doc {
namespace {

Bytes actor(std::uint8_t tag) {
  return Bytes(16, tag);
}

ScalarValue str(std::string s) {
  return ScalarValue{std::move(s)};
}
ScalarValue i64(std::int64_t v) {
  return ScalarValue{v};
}

ScalarValue scalar_at(Document const& d, ObjId const& obj, std::string_view key) {
  auto v = d.get(obj, key);
  EXPECT_TRUE(v.has_value());
  EXPECT_TRUE(v->has_value());
  return *(*v)->value.scalar();
}

ObjId text_at(Document& d, ObjId const& obj, std::string_view key, std::string_view content) {
  auto t = d.put_object(obj, key, ObjType::Text);
  EXPECT_TRUE(t.has_value());
  EXPECT_TRUE(d.splice_text(*t, 0, 0, content).has_value());
  return *t;
}

TEST(Document, ConcurrentPutsConflictAndTheHigherActorWins) {
  Document a(actor(1));
  ASSERT_TRUE(a.put(ObjId::root(), "k", str("base")));
  Document b = a.fork();
  ASSERT_TRUE(b.set_actor(actor(2)));
  ASSERT_TRUE(a.put(ObjId::root(), "k", str("from a")));
  ASSERT_TRUE(b.put(ObjId::root(), "k", str("from b")));
  {
    auto mr = a.merge(b);
    ASSERT_TRUE(mr) << mr.error();
  }
  ASSERT_TRUE(b.merge(a));

  // Equal counters: the actor bytes decide, on both sides.
  EXPECT_EQ(scalar_at(a, ObjId::root(), "k"), str("from b"));
  EXPECT_EQ(scalar_at(b, ObjId::root(), "k"), str("from b"));
  auto all = a.get_all(ObjId::root(), "k");
  ASSERT_TRUE(all);
  ASSERT_EQ(all->size(), 2u);
  EXPECT_EQ(*(*all)[0].value.scalar(), str("from a"));
  EXPECT_EQ(*(*all)[1].value.scalar(), str("from b"));
  EXPECT_EQ(a.heads(), b.heads());
  EXPECT_EQ(a.heads().size(), 2u);

  // A later put overwrites every visible value.
  ASSERT_TRUE(a.put(ObjId::root(), "k", str("resolved")));
  EXPECT_EQ(a.get_all(ObjId::root(), "k")->size(), 1u);
  EXPECT_EQ(a.heads().size(), 1u);
}

TEST(Document, HigherCounterWinsOverActorBytes) {
  Document a(actor(9));
  ASSERT_TRUE(a.put(ObjId::root(), "x", i64(0)));
  Document b = a.fork();
  ASSERT_TRUE(b.set_actor(actor(1)));
  ASSERT_TRUE(b.put(ObjId::root(), "other", i64(1)));
  ASSERT_TRUE(b.put(ObjId::root(), "x", i64(2))); // counter 3
  ASSERT_TRUE(a.put(ObjId::root(), "x", i64(1))); // counter 2, higher actor
  {
    auto mr = a.merge(b);
    ASSERT_TRUE(mr) << mr.error();
  }
  EXPECT_EQ(scalar_at(a, ObjId::root(), "x"), i64(2));
}

TEST(Document, DeletingAnAbsentKeyRecordsNothing) {
  Document d(actor(1));
  ASSERT_TRUE(d.delete_key(ObjId::root(), "nothing"));
  EXPECT_EQ(d.pending_ops(), 0u);
  EXPECT_FALSE(d.commit().has_value());
  EXPECT_TRUE(d.heads().empty());

  ASSERT_TRUE(d.put(ObjId::root(), "k", ScalarValue{true}));
  ASSERT_TRUE(d.delete_key(ObjId::root(), "k"));
  EXPECT_EQ(d.pending_ops(), 2u);
  EXPECT_FALSE(d.get(ObjId::root(), "k")->has_value());
  EXPECT_TRUE(d.keys(ObjId::root())->empty());
}

TEST(Document, ConcurrentDeleteAndPutKeepsThePut) {
  Document a(actor(1));
  ASSERT_TRUE(a.put(ObjId::root(), "k", i64(1)));
  Document b = a.fork();
  ASSERT_TRUE(a.delete_key(ObjId::root(), "k"));
  ASSERT_TRUE(b.put(ObjId::root(), "k", i64(2)));
  {
    auto mr = a.merge(b);
    ASSERT_TRUE(mr) << mr.error();
  }
  EXPECT_EQ(scalar_at(a, ObjId::root(), "k"), i64(2));
}

TEST(Document, KeysInByteOrder) {
  Document d(actor(1));
  for (auto const* k : {"b", "a", "\xc3\xbc", "B", "aa"}) {
    ASSERT_TRUE(d.put(ObjId::root(), k, i64(0)));
  }
  EXPECT_EQ(*d.keys(ObjId::root()), (std::vector<std::string>{"B", "a", "aa", "b", "\xc3\xbc"}));
  EXPECT_EQ(*d.length(ObjId::root()), 5u);
}

TEST(Document, TextSplicesInCodePoints) {
  Document d(actor(1));
  auto t = text_at(d, ObjId::root(), "t", "München 🚲 Altstadt");
  EXPECT_EQ(*d.length(t), 18u);
  ASSERT_TRUE(d.splice_text(t, 1, 1, "ue"));  // ü -> ue
  ASSERT_TRUE(d.splice_text(t, 9, 1, "Rad")); // the bicycle
  EXPECT_EQ(*d.text(t), "Muenchen Rad Altstadt");
  EXPECT_FALSE(d.splice_text(t, 20, 2, ""));
  EXPECT_FALSE(d.splice_text(t, 0, 0, "\xff"));
  auto ch = d.get(t, std::size_t{1});
  ASSERT_TRUE(ch);
  EXPECT_EQ(*(*ch)->value.scalar(), str("u"));
}

TEST(Document, DiffedSpliceOfUnchangedTextRecordsNothing) {
  Document d(actor(1));
  auto t = text_at(d, ObjId::root(), "t", "Café am Markt");
  auto const before = d.heads();
  ASSERT_TRUE(splice_text_diffed(d, t, "Café am Markt"));
  EXPECT_EQ(d.pending_ops(), 0u);
  EXPECT_EQ(d.heads(), before);

  // Only the middle is touched: "am" -> "im" is one delete and one insert.
  ASSERT_TRUE(splice_text_diffed(d, t, "Café im Markt"));
  EXPECT_EQ(d.pending_ops(), 2u);
  EXPECT_EQ(*d.text(t), "Café im Markt");
  ASSERT_TRUE(splice_text_diffed(d, t, "Cafe"));
  EXPECT_EQ(*d.text(t), "Cafe");
  ASSERT_TRUE(splice_text_diffed(d, t, ""));
  EXPECT_EQ(*d.text(t), "");
}

TEST(Document, ConcurrentTextEditsMerge) {
  Document a(actor(1));
  auto t = text_at(a, ObjId::root(), "t", "ac");
  Document b = a.fork();
  ASSERT_TRUE(a.splice_text(t, 1, 0, "b"));
  ASSERT_TRUE(b.splice_text(t, 2, 0, "d"));
  ASSERT_TRUE(b.splice_text(t, 0, 1, ""));
  {
    auto mr = a.merge(b);
    ASSERT_TRUE(mr) << mr.error();
  }
  ASSERT_TRUE(b.merge(a));
  EXPECT_EQ(*a.text(t), "bcd");
  EXPECT_EQ(*b.text(t), "bcd");
}

TEST(Document, ListInsertDeleteAndConcurrentInsertsConverge) {
  Document a(actor(1));
  auto l = a.put_object(ObjId::root(), "l", ObjType::List);
  ASSERT_TRUE(l);
  for (std::int64_t i = 0; i < 3; ++i) {
    ASSERT_TRUE(a.insert(*l, static_cast<std::size_t>(i), i64(i)));
  }
  ASSERT_TRUE(a.delete_index(*l, 1));
  EXPECT_EQ(*a.length(*l), 2u);
  EXPECT_EQ(*(*a.get(*l, std::size_t{1}))->value.scalar(), i64(2));

  Document b = a.fork();
  ASSERT_TRUE(b.set_actor(actor(2)));
  ASSERT_TRUE(a.insert(*l, 1, str("a1")));
  ASSERT_TRUE(a.insert(*l, 2, str("a2")));
  ASSERT_TRUE(b.insert(*l, 1, str("b1")));
  auto m = b.insert_object(*l, 0, ObjType::Map);
  ASSERT_TRUE(m);
  ASSERT_TRUE(b.put(*m, "lat", ScalarValue{1.5}));

  Document a2 = a;
  {
    auto mr = a.merge(b);
    ASSERT_TRUE(mr) << mr.error();
  }
  ASSERT_TRUE(b.merge(a2));
  auto read = [&](Document const& d) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < *d.length(*l); ++i) {
      auto v = (*d.get(*l, i))->value;
      if (v.is_object()) {
        out.push_back("map");
      } else if (auto const* s = std::get_if<std::string>(v.scalar())) {
        out.push_back(*s);
      } else {
        out.push_back(std::to_string(std::get<std::int64_t>(*v.scalar())));
      }
    }
    return out;
  };
  EXPECT_EQ(read(a), read(b));
  // Both runs stay together; b's (higher actor, same counter) comes first.
  EXPECT_EQ(read(a), (std::vector<std::string>{"map", "0", "b1", "a1", "a2", "2"}));
}

TEST(Document, ErrorsInsteadOfCrashes) {
  Document d(actor(1));
  auto l = *d.put_object(ObjId::root(), "l", ObjType::List);
  auto t = *d.put_object(ObjId::root(), "t", ObjType::Text);
  ObjId const unknown{999, 0};
  struct Case {
    char const* name;
    bool ok;
  } const cases[] = {
      {"get on a list by key", d.get(l, "k").has_value()},
      {"get on a map by index", d.get(ObjId::root(), std::size_t{0}).has_value()},
      {"get on an unknown object", d.get(unknown, "k").has_value()},
      {"put into a list", d.put(l, "k", i64(1)).has_value()},
      {"put into a text", d.put(t, "k", i64(1)).has_value()},
      {"insert past the end", d.insert(l, 1, i64(1)).has_value()},
      {"insert a scalar into a text", d.insert(t, 0, i64(1)).has_value()},
      {"delete index out of range", d.delete_index(l, 0).has_value()},
      {"get index out of range", d.get(l, std::size_t{0}).has_value()},
      {"text of a list", d.text(l).has_value()},
      {"splice a list", d.splice_text(l, 0, 0, "x").has_value()},
      {"keys of a text", d.keys(t).has_value()},
      {"length of an unknown object", d.length(unknown).has_value()},
      {"empty actor", d.set_actor({}).has_value()},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(c.ok);
  }
  EXPECT_EQ(d.pending_ops(), 2u); // only the two objects
}

TEST(Document, CommitAndHeads) {
  Document d(actor(1));
  EXPECT_FALSE(d.commit().has_value());
  ASSERT_TRUE(d.put(ObjId::root(), "a", i64(1)));
  auto const h1 = d.heads(); // commits
  ASSERT_EQ(h1.size(), 1u);
  EXPECT_EQ(d.pending_ops(), 0u);
  EXPECT_EQ(d.heads(), h1); // nothing new: no change
  ASSERT_TRUE(d.put(ObjId::root(), "a", i64(2)));
  auto const h2 = d.commit();
  ASSERT_TRUE(h2);
  auto const c = d.get_change_by_hash(*h2);
  ASSERT_TRUE(c);
  EXPECT_EQ(c->seq, 2u);
  EXPECT_EQ(c->deps, h1);
  EXPECT_EQ(c->actor, actor(1));
  EXPECT_EQ(d.changes().size(), 2u);

  // Equal edits by equal actors hash equally: the encoding has no clock in it.
  Document e(actor(1));
  ASSERT_TRUE(e.put(ObjId::root(), "a", i64(1)));
  EXPECT_EQ(e.heads(), h1);
}

TEST(Document, SaveLoadRoundTrip) {
  Document a(actor(1));
  auto m = *a.put_object(ObjId::root(), "m", ObjType::Map);
  ASSERT_TRUE(a.put(m, "f", ScalarValue{-0.25}));
  ASSERT_TRUE(a.put(m, "i", i64(-7)));
  ASSERT_TRUE(a.put(m, "u", ScalarValue{std::uint64_t{1} << 63}));
  ASSERT_TRUE(a.put(m, "b", ScalarValue{false}));
  ASSERT_TRUE(a.put(m, "s", str("Hauptbahnhof")));
  text_at(a, m, "t", "Straße");
  Document b = a.fork();
  ASSERT_TRUE(b.put(m, "i", i64(8)));
  ASSERT_TRUE(a.put(m, "i", i64(9)));
  {
    auto mr = a.merge(b);
    ASSERT_TRUE(mr) << mr.error();
  }

  auto const bytes = a.save();
  auto loaded = Document::load(bytes);
  ASSERT_TRUE(loaded) << loaded.error();
  EXPECT_EQ(loaded->heads(), a.heads());
  EXPECT_EQ(loaded->save(), bytes);
  for (auto const* key : {"f", "u", "b", "s"}) {
    SCOPED_TRACE(key);
    EXPECT_EQ(scalar_at(*loaded, m, key), scalar_at(a, m, key));
  }
  EXPECT_EQ(loaded->get_all(m, "i")->size(), 2u);
  auto t = (*loaded->get(m, "t"))->id;
  EXPECT_EQ(*loaded->text(t), "Straße");
  // The loaded document writes on with its own actor.
  ASSERT_TRUE(loaded->put(m, "s", str("x")));
  EXPECT_TRUE(loaded->commit().has_value());
}

TEST(Document, CorruptOrTruncatedBytesAreRejected) {
  Document a(actor(1));
  text_at(a, ObjId::root(), "t", "hello");
  ASSERT_TRUE(a.put(ObjId::root(), "n", i64(3)));
  auto const good = a.save();

  EXPECT_FALSE(Document::load({}));
  EXPECT_FALSE(Document::load(Bytes{'Z', 'D', 'O', 'C'}));
  for (std::size_t n = 0; n < good.size(); ++n) {
    auto cut = std::span(good).first(n);
    EXPECT_FALSE(Document::load(cut)) << "truncated to " << n;
  }
  for (std::size_t i = 0; i < good.size(); ++i) {
    Bytes bad = good;
    bad[i] ^= 0x40;
    EXPECT_FALSE(Document::load(bad)) << "flipped byte " << i;
  }
  Bytes longer = good;
  longer.push_back(0);
  EXPECT_FALSE(Document::load(longer));
  Bytes version = good;
  version[4] = 4;
  auto v = Document::load(version);
  ASSERT_FALSE(v);
  EXPECT_EQ(v.error(), "unsupported document version 4");
}

} // namespace
} // namespace zarn_ui::doc

namespace zarn_ui::doc {
namespace {

// Damaged content under a valid checksum must still fail cleanly (or load), never crash.
TEST(Document, DamagedContentUnderAValidChecksumNeverCrashes) {
  Document a(actor(1));
  auto l = *a.put_object(ObjId::root(), "l", ObjType::List);
  auto m = *a.insert_object(l, 0, ObjType::Map);
  text_at(a, m, "name", "Marienplatz");
  ASSERT_TRUE(a.put(m, "lat", ScalarValue{48.137}));
  ASSERT_TRUE(a.delete_index(l, 0));
  Document b = a.fork();
  ASSERT_TRUE(b.put(ObjId::root(), "k", i64(1)));
  {
    auto mr = a.merge(b);
    ASSERT_TRUE(mr) << mr.error();
  }
  for (bool const compacted : {false, true}) {
    SCOPED_TRACE(compacted ? "compacted" : "full history");
    if (compacted) {
      a.compact();
      ASSERT_TRUE(a.put(ObjId::root(), "after", i64(2)));
    }
    auto const good = a.save();
    auto reseal = [](Bytes body) {
      ChangeHash sum{};
      unsigned int len = 0;
      EVP_Digest(body.data(), body.size(), sum.data(), &len, EVP_sha256(), nullptr);
      body.insert(body.end(), sum.begin(), sum.end());
      return body;
    };
    Bytes const body(good.begin(), good.end() - 32);
    ASSERT_TRUE(Document::load(reseal(body)));
    int rejected = 0;
    for (std::size_t i = 5; i < body.size(); ++i) {
      for (std::uint8_t const flip : {std::uint8_t{0x01}, std::uint8_t{0x80}, std::uint8_t{0xff}}) {
        Bytes bad = body;
        bad[i] ^= flip;
        if (!Document::load(reseal(bad))) {
          ++rejected;
        }
      }
      Bytes cut(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(i));
      EXPECT_FALSE(Document::load(reseal(cut))) << "cut at " << i;
    }
    EXPECT_GT(rejected, 0);
  }
}

} // namespace
} // namespace zarn_ui::doc

namespace zarn_ui::doc {
namespace {

TEST(Document, RollbackDropsTheOpenTransactionOnly) {
  Document d(actor(1));
  auto m = *d.put_object(ObjId::root(), "m", ObjType::Map);
  ASSERT_TRUE(d.put(m, "k", i64(1)));
  auto const heads = d.heads();
  ASSERT_TRUE(d.put(m, "k", i64(2)));
  ASSERT_TRUE(d.put_object(m, "new", ObjType::List));
  EXPECT_EQ(d.rollback(), 2u);
  EXPECT_EQ(d.pending_ops(), 0u);
  EXPECT_EQ(scalar_at(d, m, "k"), i64(1)); // the ObjId held across the rollback still works
  EXPECT_FALSE(d.get(m, "new")->has_value());
  EXPECT_EQ(d.heads(), heads);
  // Writing goes on with the same actor and sequence.
  ASSERT_TRUE(d.put(m, "k", i64(3)));
  auto h = d.commit();
  ASSERT_TRUE(h);
  EXPECT_EQ(d.get_change_by_hash(*h)->seq, 2u);
}

TEST(Document, FailedMergeLeavesTheDocumentUnchanged) {
  Document a(actor(1));
  ASSERT_TRUE(a.put(ObjId::root(), "k", i64(1)));
  Document b(actor(1)); // the same actor with a different history
  ASSERT_TRUE(b.put(ObjId::root(), "k", i64(2)));
  auto const heads = a.heads();
  EXPECT_FALSE(a.merge(b));
  EXPECT_EQ(a.heads(), heads);
  EXPECT_EQ(scalar_at(a, ObjId::root(), "k"), i64(1));
}

TEST(Document, ObjectIdsHoldAcrossSaveAndLoad) {
  Document a(actor(1));
  auto m = *a.put_object(ObjId::root(), "m", ObjType::Map);
  ASSERT_TRUE(a.put(m, "k", i64(1)));
  auto loaded = Document::load(a.save());
  ASSERT_TRUE(loaded);
  EXPECT_EQ(scalar_at(*loaded, m, "k"), i64(1));
  auto items = loaded->list_items(m);
  EXPECT_FALSE(items); // a Map is no List
}

} // namespace
} // namespace zarn_ui::doc

#include <random>

namespace zarn_ui::doc {
namespace {

// What a replica shows, for comparing replicas.
std::string render(Document const& d, ObjId const& map, ObjId const& list, ObjId const& text) {
  std::string out = *d.text(text) + "|";
  auto const items = *d.list_items(list);
  for (auto const& item : items) {
    out += std::to_string(std::get<std::int64_t>(*item.value.scalar())) + ",";
  }
  out += "|";
  auto const keys = *d.keys(map);
  for (auto const& k : keys) {
    out += k + "=";
    auto const values = *d.get_all(map, k);
    for (auto const& v : values) {
      out += std::to_string(std::get<std::int64_t>(*v.value.scalar())) + "/";
    }
    out += ";";
  }
  return out;
}

TEST(Document, RandomConcurrentEditsConverge) {
  std::mt19937 rng(12345);
  for (int trial = 0; trial < 20; ++trial) {
    SCOPED_TRACE(trial);
    Document base(actor(1));
    auto map = *base.put_object(ObjId::root(), "m", ObjType::Map);
    auto list = *base.put_object(ObjId::root(), "l", ObjType::List);
    auto text = *base.put_object(ObjId::root(), "t", ObjType::Text);
    std::vector<Document> replicas;
    for (std::uint8_t r = 0; r < 3; ++r) {
      replicas.push_back(base.fork());
      ASSERT_TRUE(replicas.back().set_actor(actor(static_cast<std::uint8_t>(10 + r))));
    }
    std::int64_t next = 0;
    for (int step = 0; step < 60; ++step) {
      auto& d = replicas[rng() % 3];
      switch (rng() % 6) {
      case 0: {
        auto const len = *d.length(text);
        auto const pos = rng() % (len + 1);
        auto const del = len > pos ? rng() % std::min<std::size_t>(3, len - pos + 1) : 0;
        ASSERT_TRUE(d.splice_text(text, pos, del, rng() % 2 ? "ab" : "é"));
        break;
      }
      case 1:
        ASSERT_TRUE(d.insert(list, rng() % (*d.length(list) + 1), ScalarValue{next++}));
        break;
      case 2:
        if (*d.length(list) > 0) {
          ASSERT_TRUE(d.delete_index(list, rng() % *d.length(list)));
        }
        break;
      case 3:
        ASSERT_TRUE(
            d.put(map, std::string(1, static_cast<char>('a' + rng() % 3)), ScalarValue{next++}));
        break;
      case 4:
        ASSERT_TRUE(d.delete_key(map, std::string(1, static_cast<char>('a' + rng() % 3))));
        break;
      default: {
        auto& other = replicas[rng() % 3];
        if (&other != &d) {
          ASSERT_TRUE(d.merge(other));
        }
      }
      }
      if (rng() % 4 == 0) {
        d.commit();
      }
      // One replica compacts now and then; the others merge with it before and after.
      if (&d == &replicas[0] && rng() % 8 == 0) {
        d.compact();
      }
    }
    for (auto& a : replicas) {
      for (auto& b : replicas) {
        ASSERT_TRUE(a.merge(b));
      }
    }
    auto const expected = render(replicas[0], map, list, text);
    for (auto& r : replicas) {
      EXPECT_EQ(render(r, map, list, text), expected);
      EXPECT_EQ(r.heads(), replicas[0].heads());
      auto loaded = Document::load(r.save());
      ASSERT_TRUE(loaded) << loaded.error();
      EXPECT_EQ(render(*loaded, map, list, text), expected);
    }
  }
}

} // namespace
} // namespace zarn_ui::doc

namespace zarn_ui::doc {
namespace {

// A file written by hand: changes of one actor putting root keys, each `{seq, start_op, key}`.
Bytes hand_made_file(std::vector<std::tuple<std::uint64_t, std::uint64_t, std::string>> const& cs) {
  auto uleb = [](Bytes& out, std::uint64_t v) {
    do {
      std::uint8_t b = v & 0x7f;
      v >>= 7;
      out.push_back(static_cast<std::uint8_t>(b | (v != 0 ? 0x80 : 0)));
    } while (v != 0);
  };
  auto sha = [](Bytes const& b) {
    ChangeHash h{};
    unsigned int len = 0;
    EVP_Digest(b.data(), b.size(), h.data(), &len, EVP_sha256(), nullptr);
    return h;
  };
  Bytes file = {'Z', 'D', 'O', 'C', 1};
  uleb(file, cs.size());
  std::optional<ChangeHash> prev;
  for (auto const& [seq, start_op, key] : cs) {
    Bytes c;
    uleb(c, 16);
    c.insert(c.end(), 16, 7); // actor
    uleb(c, seq);
    uleb(c, start_op);
    uleb(c, 0); // time
    uleb(c, prev ? 1 : 0);
    if (prev) {
      c.insert(c.end(), prev->begin(), prev->end());
    }
    uleb(c, 0); // no other actors
    uleb(c, 1); // one op: put root[key] = uint 1, overwriting nothing
    c.push_back(0);
    uleb(c, 0);
    uleb(c, key.size());
    c.insert(c.end(), key.begin(), key.end());
    c.push_back(5);
    uleb(c, 1);
    uleb(c, 0);
    prev = sha(c);
    uleb(file, c.size());
    file.insert(file.end(), c.begin(), c.end());
  }
  uleb(file, 1);
  file.insert(file.end(), prev->begin(), prev->end());
  auto const sum = sha(file);
  file.insert(file.end(), sum.begin(), sum.end());
  return file;
}

// Two ops sharing one id make every choice by id ambiguous; such a file is corrupt.
TEST(Document, ChangeReusingItsActorsOpIdsIsRefused) {
  ASSERT_TRUE(Document::load(hand_made_file({{1, 1, "a"}, {2, 2, "b"}})));
  struct Case {
    std::uint64_t first_start, second_start;
  } const cases[] = {{1, 1}, {5, 3}, {5, 5}};
  for (auto const& c : cases) {
    SCOPED_TRACE(testing::Message() << c.first_start << " then " << c.second_start);
    auto bad = Document::load(hand_made_file({{1, c.first_start, "a"}, {2, c.second_start, "b"}}));
    ASSERT_FALSE(bad);
    EXPECT_NE(bad.error().find("reuses op ids"), std::string::npos) << bad.error();
  }
}

} // namespace
} // namespace zarn_ui::doc

namespace zarn_ui::doc {
namespace {

// Everything a replica shows, conflicts included, for comparing a compacted copy with one
// that kept its history.
std::string render_all(Document const& d, ObjId const& obj) {
  auto const type = *d.object_type(obj);
  if (type == ObjType::Text) {
    return "\"" + *d.text(obj) + "\"";
  }
  auto show = [&](ValueRef const& v) -> std::string {
    if (v.value.is_object()) {
      return render_all(d, v.id);
    }
    return std::visit([](auto const& x) { return fmt::format("{}", x); }, *v.value.scalar());
  };
  std::string out;
  if (type == ObjType::List) {
    out = "[";
    auto const items = *d.list_items(obj);
    for (auto const& item : items) {
      out += show(item) + ",";
    }
    return out + "]";
  }
  out = "{";
  auto const keys = *d.keys(obj);
  for (auto const& k : keys) {
    out += k + ":";
    auto const values = *d.get_all(obj, k);
    for (auto const& v : values) {
      out += show(v) + "/";
    }
    out += ";";
  }
  return out + "}";
}

// A long history compacts to a file the size of the state; a fork made before the compaction
// still merges with it both ways (its ops land in deleted list elements, overwritten objects
// and conflicting keys that the snapshot must account for), and the result equals the merge
// of the uncompacted documents.
TEST(Document, CompactionKeepsTheStateAndMergesWithAnEarlierFork) {
  Document a(actor(1));
  auto const root = ObjId::root();
  auto list = *a.put_object(root, "list", ObjType::List);
  for (std::int64_t i = 0; i < 5; ++i) {
    ASSERT_TRUE(a.insert(list, static_cast<std::size_t>(i), ScalarValue{i}));
  }
  auto text = text_at(a, root, "text", "Marienplatz");
  auto doomed = *a.put_object(root, "doomed", ObjType::Map);
  ASSERT_TRUE(a.put(doomed, "k", i64(1)));
  Document b = a.fork();
  ASSERT_TRUE(b.set_actor(actor(2)));
  ASSERT_TRUE(a.put(root, "conflict", str("from a")));
  ASSERT_TRUE(b.put(root, "conflict", str("from b")));
  ASSERT_TRUE(a.merge(b));
  ASSERT_EQ(a.get_all(root, "conflict")->size(), 2u);

  Document early = a.fork();
  ASSERT_TRUE(early.set_actor(actor(3)));
  // The history that makes the file large: a plan text rewritten again and again.
  for (int i = 0; i < 300; ++i) {
    ASSERT_TRUE(a.put(root, "plan", str(std::string(1000, static_cast<char>('a' + i % 26)))));
    a.commit();
  }
  ASSERT_TRUE(a.delete_index(list, 2));
  ASSERT_TRUE(a.splice_text(text, 0, 5, "M"));
  ASSERT_TRUE(a.put(root, "doomed", i64(0))); // the Map becomes unreachable
  // Meanwhile, on the fork: next to the element a deletes, inside the Map a drops, over the
  // conflict, and in the text.
  ASSERT_TRUE(early.insert(list, 3, ScalarValue{std::int64_t{99}}));
  ASSERT_TRUE(early.put(doomed, "k", i64(2)));
  auto inner = *early.put_object(doomed, "inner", ObjType::List);
  ASSERT_TRUE(early.insert(inner, 0, ScalarValue{std::int64_t{7}}));
  ASSERT_TRUE(early.put(root, "conflict", str("from early")));
  ASSERT_TRUE(early.splice_text(text, 11, 0, "!"));

  Document full = a; // keeps its history, for reference
  std::size_t history = 0;
  for (auto const& c : full.changes()) {
    history += c.encoded.size();
  }
  auto const bytes = a.save();
  EXPECT_TRUE(a.is_compacted());
  EXPECT_GT(history, 300'000u);
  EXPECT_LT(bytes.size(), 2'000u);
  auto loaded = Document::load(bytes);
  ASSERT_TRUE(loaded) << loaded.error();
  EXPECT_EQ(render_all(*loaded, root), render_all(full, root));
  EXPECT_EQ(loaded->get_all(root, "conflict")->size(), 2u);
  EXPECT_EQ(loaded->heads(), full.heads());

  ASSERT_TRUE(full.merge(early));
  auto const expected = render_all(full, root);
  EXPECT_NE(expected.find("from early"), std::string::npos);
  EXPECT_NE(expected.find("99"), std::string::npos);

  Document into_compacted = *loaded;
  auto m1 = into_compacted.merge(early);
  ASSERT_TRUE(m1) << m1.error();
  Document into_fork = early;
  auto m2 = into_fork.merge(*loaded);
  ASSERT_TRUE(m2) << m2.error();
  for (Document* d : {&into_compacted, &into_fork}) {
    EXPECT_EQ(render_all(*d, root), expected);
    EXPECT_EQ(d->heads(), full.heads());
    // The merged changes name snapshot changes as deps: the file still loads.
    auto again = Document::load(d->save());
    ASSERT_TRUE(again) << again.error();
    EXPECT_EQ(render_all(*again, root), expected);
    // And both go on writing: the fork with its own actor and numbering.
    ASSERT_TRUE(d->put(root, "after", i64(1)));
    d->commit();
  }
  EXPECT_EQ(into_fork.actor(), early.actor());
  ASSERT_TRUE(into_compacted.merge(into_fork));
  ASSERT_TRUE(into_fork.merge(into_compacted));
  EXPECT_EQ(render_all(into_compacted, root), render_all(into_fork, root));

  // A rollback on a compacted document replays onto its snapshot.
  ASSERT_TRUE(into_compacted.put(root, "dropped", i64(1)));
  EXPECT_EQ(into_compacted.rollback(), 1u);
  EXPECT_EQ(render_all(into_compacted, root), render_all(into_fork, root));
}

// A file the previous version saved: a snapshot that wrote one record per list and text element
// (a merged text with deletions, a list with a deleted item and a nested Map, a conflicting
// key), then one logged change.
// clang-format off
constexpr std::uint8_t V2_FILE[] = {
  0x5a, 0x44, 0x4f, 0x43, 0x02, 0x91, 0x02, 0x02, 0x10, 0xa1, 0xa1, 0xa1,
  0xa1, 0xa1, 0xa1, 0xa1, 0xa1, 0xa1, 0xa1, 0xa1, 0xa1, 0xa1, 0xa1, 0xa1,
  0xa1, 0x02, 0x1e, 0x10, 0xb2, 0xb2, 0xb2, 0xb2, 0xb2, 0xb2, 0xb2, 0xb2,
  0xb2, 0xb2, 0xb2, 0xb2, 0xb2, 0xb2, 0xb2, 0xb2, 0x01, 0x1a, 0x1e, 0x02,
  0xbf, 0x9a, 0x1d, 0x0a, 0xfb, 0x85, 0x83, 0x54, 0xb7, 0x98, 0xb3, 0x66,
  0x14, 0xd4, 0xdc, 0xf7, 0x95, 0xb8, 0xc9, 0x5c, 0x79, 0x95, 0xfe, 0x40,
  0xed, 0x10, 0x6b, 0x5c, 0xbe, 0x8b, 0x7f, 0x4e, 0xd3, 0x42, 0x47, 0x44,
  0x71, 0x4f, 0x92, 0x1a, 0xa6, 0x1a, 0x48, 0x81, 0xa9, 0x63, 0xa2, 0x05,
  0x30, 0x10, 0x1d, 0xaa, 0x87, 0x8f, 0x42, 0x5f, 0x77, 0x26, 0x01, 0xce,
  0x5b, 0xa1, 0x38, 0x4b, 0x04, 0x00, 0x00, 0x03, 0x04, 0x66, 0x6c, 0x61,
  0x67, 0x02, 0x1a, 0x01, 0x02, 0x00, 0x1b, 0x00, 0x02, 0x01, 0x05, 0x69,
  0x74, 0x65, 0x6d, 0x73, 0x01, 0x12, 0x00, 0x07, 0x05, 0x74, 0x69, 0x74,
  0x6c, 0x65, 0x01, 0x01, 0x00, 0x08, 0x12, 0x00, 0x01, 0x04, 0x13, 0x00,
  0x01, 0x04, 0x02, 0x14, 0x00, 0x00, 0x15, 0x00, 0x01, 0x06, 0x17, 0x00,
  0x01, 0x02, 0x01, 0x01, 0x00, 0x02, 0x14, 0x18, 0x01, 0x01, 0x42, 0x19,
  0x01, 0x01, 0x20, 0x18, 0x00, 0x01, 0x41, 0x19, 0x00, 0x01, 0x20, 0x02,
  0x00, 0x01, 0x43, 0x03, 0x00, 0x01, 0x61, 0x04, 0x00, 0x01, 0x66, 0x05,
  0x00, 0x01, 0xe9, 0x01, 0x06, 0x00, 0x00, 0x20, 0x07, 0x00, 0x00, 0x61,
  0x08, 0x00, 0x00, 0x6d, 0x09, 0x00, 0x01, 0x20, 0x0a, 0x00, 0x01, 0x50,
  0x0b, 0x00, 0x01, 0x6c, 0x0c, 0x00, 0x01, 0x61, 0x0d, 0x00, 0x01, 0x74,
  0x0e, 0x00, 0x01, 0x7a, 0x0f, 0x00, 0x01, 0x20, 0x10, 0x00, 0x01, 0xe5,
  0xcb, 0x01, 0x11, 0x00, 0x01, 0xac, 0xce, 0x01, 0x15, 0x00, 0x00, 0x01,
  0x03, 0x6c, 0x61, 0x74, 0x01, 0x16, 0x00, 0x03, 0xcd, 0xcc, 0xcc, 0xcc,
  0xcc, 0x0c, 0x48, 0x40, 0x02, 0xbf, 0x9a, 0x1d, 0x0a, 0xfb, 0x85, 0x83,
  0x54, 0xb7, 0x98, 0xb3, 0x66, 0x14, 0xd4, 0xdc, 0xf7, 0x95, 0xb8, 0xc9,
  0x5c, 0x79, 0x95, 0xfe, 0x40, 0xed, 0x10, 0x6b, 0x5c, 0xbe, 0x8b, 0x7f,
  0x4e, 0xd3, 0x42, 0x47, 0x44, 0x71, 0x4f, 0x92, 0x1a, 0xa6, 0x1a, 0x48,
  0x81, 0xa9, 0x63, 0xa2, 0x05, 0x30, 0x10, 0x1d, 0xaa, 0x87, 0x8f, 0x42,
  0x5f, 0x77, 0x26, 0x01, 0xce, 0x5b, 0xa1, 0x38, 0x4b, 0x01, 0x62, 0x10,
  0xa1, 0xa1, 0xa1, 0xa1, 0xa1, 0xa1, 0xa1, 0xa1, 0xa1, 0xa1, 0xa1, 0xa1,
  0xa1, 0xa1, 0xa1, 0xa1, 0x03, 0x1f, 0x00, 0x02, 0xbf, 0x9a, 0x1d, 0x0a,
  0xfb, 0x85, 0x83, 0x54, 0xb7, 0x98, 0xb3, 0x66, 0x14, 0xd4, 0xdc, 0xf7,
  0x95, 0xb8, 0xc9, 0x5c, 0x79, 0x95, 0xfe, 0x40, 0xed, 0x10, 0x6b, 0x5c,
  0xbe, 0x8b, 0x7f, 0x4e, 0xd3, 0x42, 0x47, 0x44, 0x71, 0x4f, 0x92, 0x1a,
  0xa6, 0x1a, 0x48, 0x81, 0xa9, 0x63, 0xa2, 0x05, 0x30, 0x10, 0x1d, 0xaa,
  0x87, 0x8f, 0x42, 0x5f, 0x77, 0x26, 0x01, 0xce, 0x5b, 0xa1, 0x38, 0x4b,
  0x00, 0x01, 0x00, 0x00, 0x05, 0x61, 0x66, 0x74, 0x65, 0x72, 0x05, 0x07,
  0x00, 0x01, 0x0d, 0x21, 0x39, 0x49, 0xa2, 0x42, 0x21, 0x7e, 0x9b, 0x1b,
  0xe3, 0x5d, 0x1d, 0xdd, 0xd2, 0xb1, 0xc8, 0x80, 0x0a, 0xea, 0xd4, 0x6e,
  0x55, 0x41, 0xe4, 0x40, 0xee, 0x51, 0x7c, 0xfc, 0x59, 0x5f, 0x83, 0xe2,
  0xd9, 0xa5, 0xb3, 0xb3, 0x80, 0xb1, 0xc7, 0x3e, 0x09, 0x99, 0xe2, 0x85,
  0x7a, 0x23, 0x01, 0x92, 0x1f, 0x06, 0xa3, 0xba, 0xd5, 0x37, 0xac, 0x6e,
  0xa6, 0x2d, 0x72, 0x02, 0xd2, 0xa1
};
// clang-format on

TEST(Document, AFileOfThePreviousVersionLoadsAndIsSavedInTheCurrentOne) {
  auto const root = ObjId::root();
  auto const old = Document::load(V2_FILE);
  ASSERT_TRUE(old) << old.error();
  std::string const expected = "{after:7/;flag:false/true/;items:[1,{lat:48.1/;},true,]/;"
                               "title:\"B A Caf\u00e9 Platz \u65e5\u672c\"/;}";
  EXPECT_EQ(render_all(*old, root), expected);
  Document copy = *old;
  auto const bytes = copy.save();
  ASSERT_GT(bytes.size(), 4u);
  EXPECT_EQ(bytes[4], 3);
  auto const loaded = Document::load(bytes);
  ASSERT_TRUE(loaded) << loaded.error();
  EXPECT_TRUE(loaded->is_compacted());
  EXPECT_EQ(render_all(*loaded, root), expected);
  EXPECT_EQ(Document(*loaded).heads(), copy.heads());
}

// A large document written in one change (an import) starts from a snapshot at its next load,
// as one grown by many changes does; a small one keeps its history.
TEST(Document, ALargeChangeIsSavedAsASnapshot) {
  auto const root = ObjId::root();
  struct Case {
    int entries;
    bool compacted;
  } const cases[] = {{20, false}, {2000, true}};
  for (auto const& c : cases) {
    SCOPED_TRACE(c.entries);
    Document d(actor(1));
    auto places = *d.put_object(root, "places", ObjType::Map);
    for (int i = 0; i < c.entries; ++i) {
      auto entry = *d.put_object(places, fmt::format("place-{}", i), ObjType::Map);
      text_at(d, entry, "name", fmt::format("Caf\u00e9 am Platz {}", i));
      ASSERT_TRUE(d.put(entry, "lat", ScalarValue{48.0 + i * 1e-4}));
    }
    d.commit();
    auto const bytes = d.save();
    auto const loaded = Document::load(bytes);
    ASSERT_TRUE(loaded) << loaded.error();
    EXPECT_EQ(loaded->is_compacted(), c.compacted);
    EXPECT_EQ(render_all(*loaded, root), render_all(d, root));
  }
}

} // namespace
} // namespace zarn_ui::doc
