#pragma once
// The document's inner state, shared by the public operations (document.cpp) and the change
// codec (change_codec.cpp). Not part of the public interface.

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <variant>
#include <vector>

#include "base/result.h"
#include "platform/doc/document.h"
#include "platform/doc/wire.h"

namespace zarn_ui::doc::detail {

struct OpId {
  std::uint64_t counter = 0; // 0: the root object, or the head of a sequence
  std::uint32_t actor = 0;
  bool operator==(OpId const&) const = default;
};

struct OpIdHash {
  std::size_t operator()(OpId const& id) const noexcept {
    return std::hash<std::uint64_t>{}(id.counter * 0x9E3779B97F4A7C15ull ^ id.actor);
  }
};

struct HashHash {
  std::size_t operator()(ChangeHash const& h) const noexcept {
    std::size_t v = 0;
    std::memcpy(&v, h.data(), sizeof v);
    return v;
  }
};

// What an op stores: the five scalars, a new object, or one code point of a Text.
using Stored =
    std::variant<std::string, bool, double, std::int64_t, std::uint64_t, ObjType, char32_t>;

struct MapEntry {
  OpId id;
  Stored value;
};

// One element of a List or Text, kept small: texts carry their deleted history, and inserting
// moves the elements behind the insertion point.
struct Element {
  OpId id;
  std::uint32_t slot = 0; // Text: the code point; List: index into Object::values
  bool visible = true;
};

struct Object {
  ObjType type = ObjType::Map;
  // Visible values per key, ascending in op order, so the winner is the last one.
  std::map<std::string, std::vector<MapEntry>, std::less<>> map;
  std::vector<Element> seq;
  std::vector<Stored> values; // List element values, by Element::slot
  std::size_t visible = 0;
  std::size_t hint = 0; // position of the last element touched, where the next op usually lands
};

enum class Action : std::uint8_t { Put = 0, DeleteKey = 1, Insert = 2, DeleteElem = 3 };

struct Op {
  Action action = Action::Put;
  OpId obj;
  std::string key;        // Put, DeleteKey
  OpId elem;              // Insert: the element to insert after (counter 0: the head); DeleteElem
  Stored value;           // Put, Insert
  std::vector<OpId> pred; // Put, DeleteKey: the values it overwrites
};

// A change read from its encoding; op ids use the change's own actor table (0 = its author).
struct DecodedChange {
  std::string actor;
  std::uint64_t seq = 0;
  std::uint64_t start_op = 0;
  std::vector<ChangeHash> deps;
  std::vector<std::string> actors; // [author, others...]
  std::vector<Op> ops;
};

struct State {
  std::vector<std::string> actors;       // actor bytes; indexes are stable for the document's life
  std::vector<std::uint64_t> actor_keys; // digest of each actor, as public ObjIds carry it
  std::vector<std::uint64_t> last_seq;   // per actor index
  // Per actor index: the highest op counter its changes used. A change must start above it,
  // or two ops would share an id and every choice made by id (winners, removals) breaks.
  std::vector<std::uint64_t> last_op;
  std::uint32_t self = 0;
  std::unordered_map<OpId, Object, OpIdHash> objects;
  std::uint64_t max_op = 0;
  std::vector<Change> log;
  std::unordered_map<ChangeHash, std::size_t, HashHash> by_hash;
  std::vector<ChangeHash> heads;
  std::vector<Op> pending;
  std::uint64_t pending_start = 0;
  Bytes actor_bytes; // actors[self] as bytes, for the accessor

  // A compacted document starts from a snapshot instead of the changes that made it (base.cpp).
  // Those changes are "covered": per actor index every seq up to covered_seq and every op
  // counter up to covered_op. Their hashes are gone, apart from the ones later changes name as
  // deps (the snapshot's heads, and hashes learned while merging a document that still holds
  // them), kept in covered_hashes so those deps resolve.
  std::vector<std::uint64_t> covered_seq;
  std::vector<std::uint64_t> covered_op;
  std::unordered_set<ChangeHash, HashHash> covered_hashes;
  // Objects that a snapshot left out because nothing visible leads to them any more, and the
  // objects later ops created inside them: ops on them change nothing anyone can see.
  std::unordered_set<OpId, OpIdHash> collected;
  Bytes base;                          // the encoded snapshot this state started from; empty: none
  std::size_t log_bytes = 0;           // encoded size of the changes in `log`
  std::size_t last_snapshot_bytes = 0; // size of the snapshot when a save last measured it
  std::uint64_t revision = 0;          // changes added to this document ever, for noticing edits

  State() { objects.emplace(OpId{}, Object{}); }

  static std::uint64_t actor_key(std::string_view bytes) {
    std::uint64_t h = 0xcbf29ce484222325ull; // FNV-1a
    for (unsigned char c : bytes) {
      h = (h ^ c) * 0x100000001b3ull;
    }
    return h;
  }

  // None when another actor of this document has the same digest (never by chance).
  std::optional<std::uint32_t> intern_actor(std::string const& bytes) {
    auto const key = actor_key(bytes);
    for (std::uint32_t i = 0; i < actors.size(); ++i) {
      if (actor_keys[i] == key) {
        if (actors[i] == bytes) {
          return i;
        }
        return std::nullopt;
      }
    }
    actors.push_back(bytes);
    actor_keys.push_back(key);
    last_seq.push_back(0);
    last_op.push_back(0);
    covered_seq.push_back(0);
    covered_op.push_back(0);
    return static_cast<std::uint32_t>(actors.size() - 1);
  }

  OpId internal_id(ObjId const& id) const {
    if (id.counter == 0) {
      return OpId{};
    }
    for (std::uint32_t i = 0; i < actor_keys.size(); ++i) {
      if (actor_keys[i] == id.actor) {
        return OpId{id.counter, i};
      }
    }
    return OpId{id.counter, UINT32_MAX}; // names no object
  }

  ObjId public_id(OpId const& id) const {
    return id.counter == 0 ? ObjId{} : ObjId{id.counter, actor_keys[id.actor]};
  }

  int compare(OpId const& a, OpId const& b) const {
    if (a.counter != b.counter) {
      return a.counter < b.counter ? -1 : 1;
    }
    if (a.actor == b.actor) {
      return 0;
    }
    int const c = actors[a.actor].compare(actors[b.actor]);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }

  Object* find(OpId const& id) {
    auto it = objects.find(id);
    return it == objects.end() ? nullptr : &it->second;
  }
  Object const* find(OpId const& id) const {
    auto it = objects.find(id);
    return it == objects.end() ? nullptr : &it->second;
  }

  base::Result<std::size_t> find_element(Object& obj, OpId const& id) const {
    auto const n = obj.seq.size();
    for (std::size_t guess : {obj.hint, obj.hint + 1, obj.hint - 1}) {
      if (guess < n && obj.seq[guess].id == id) {
        return guess;
      }
    }
    for (std::size_t i = n; i-- > 0;) {
      if (obj.seq[i].id == id) {
        return i;
      }
    }
    return base::fail("unknown list element");
  }

  base::Result<void> create_object(OpId const& id, ObjType type) {
    if (id.counter == 0 || objects.contains(id)) {
      return base::fail("duplicate object id");
    }
    Object o;
    o.type = type;
    objects.emplace(id, std::move(o));
    return {};
  }

  // Integrates one op, local or remote. Local ops always pass these checks; remote ones come
  // from files or other documents and are checked before anything changes.
  // Whether `id` names an object a snapshot left out (or one made inside such an object).
  bool is_collected(OpId const& id) const {
    if (id.counter == 0) {
      return false;
    }
    if (id.actor < covered_op.size() && id.counter <= covered_op[id.actor]) {
      return true;
    }
    return collected.contains(id);
  }

  base::Result<void> apply(Op const& op, OpId const& id) {
    Object* obj = find(op.obj);
    if (obj == nullptr) {
      if (!is_collected(op.obj)) {
        return base::fail("op on an unknown object");
      }
      // A writer that had not seen the object become unreachable: nothing visible changes.
      if (std::holds_alternative<ObjType>(op.value) &&
          (op.action == Action::Put || op.action == Action::Insert)) {
        collected.insert(id);
      }
      return {};
    }
    switch (op.action) {
    case Action::Put:
    case Action::DeleteKey: {
      if (obj->type != ObjType::Map) {
        return base::fail("map op on a sequence");
      }
      if (op.action == Action::Put && std::holds_alternative<char32_t>(op.value)) {
        return base::fail("text character in a map");
      }
      for (auto const& p : op.pred) {
        if (compare(p, id) >= 0) {
          return base::fail("op overwrites a later op");
        }
      }
      if (op.action == Action::Put) {
        if (auto const* type = std::get_if<ObjType>(&op.value)) {
          if (auto r = create_object(id, *type); !r) {
            return r;
          }
        }
      }
      auto it = obj->map.find(op.key);
      if (it == obj->map.end()) {
        if (op.action == Action::DeleteKey) {
          return {};
        }
        it = obj->map.emplace(op.key, std::vector<MapEntry>{}).first;
      }
      auto& entries = it->second;
      std::erase_if(entries, [&](MapEntry const& e) {
        return std::find(op.pred.begin(), op.pred.end(), e.id) != op.pred.end();
      });
      if (op.action == Action::Put) {
        auto pos = std::find_if(entries.begin(), entries.end(),
                                [&](MapEntry const& e) { return compare(e.id, id) > 0; });
        entries.insert(pos, MapEntry{id, op.value});
      }
      if (entries.empty()) {
        obj->map.erase(it);
      }
      return {};
    }
    case Action::Insert: {
      if (obj->type == ObjType::Map) {
        return base::fail("sequence op on a map");
      }
      bool const is_char = std::holds_alternative<char32_t>(op.value);
      if (is_char != (obj->type == ObjType::Text)) {
        return base::fail(obj->type == ObjType::Text ? "non-character in a text"
                                                     : "text character in a list");
      }
      std::size_t pos = 0;
      if (op.elem.counter != 0) {
        auto ref = find_element(*obj, op.elem);
        if (!ref) {
          return base::fail(ref.error());
        }
        if (compare(op.elem, id) >= 0) {
          return base::fail("insert after a later element");
        }
        pos = *ref + 1;
      }
      // Concurrent inserts after the same element: the higher op id comes first, and the
      // elements inserted after it (whose ids are higher still) stay with it.
      while (pos < obj->seq.size() && compare(obj->seq[pos].id, id) > 0) {
        ++pos;
      }
      if (pos < obj->seq.size() && obj->seq[pos].id == id) {
        return base::fail("duplicate element id");
      }
      if (auto const* type = std::get_if<ObjType>(&op.value)) {
        if (auto r = create_object(id, *type); !r) {
          return r;
        }
      }
      std::uint32_t slot = 0;
      if (is_char) {
        slot = static_cast<std::uint32_t>(std::get<char32_t>(op.value));
      } else {
        if (obj->values.size() >= UINT32_MAX) {
          return base::fail("list too long");
        }
        slot = static_cast<std::uint32_t>(obj->values.size());
        obj->values.push_back(op.value);
      }
      obj->seq.insert(obj->seq.begin() + static_cast<std::ptrdiff_t>(pos), Element{id, slot, true});
      ++obj->visible;
      obj->hint = pos;
      return {};
    }
    case Action::DeleteElem: {
      if (obj->type == ObjType::Map) {
        return base::fail("sequence op on a map");
      }
      auto at = find_element(*obj, op.elem);
      if (!at) {
        return base::fail(at.error());
      }
      auto& e = obj->seq[*at];
      if (e.visible) {
        e.visible = false;
        --obj->visible;
      }
      obj->hint = *at;
      return {};
    }
    }
    return base::fail("unknown op");
  }

  OpId next_id() const { return OpId{max_op + 1, self}; }

  void record_local(Op op) {
    OpId const id = next_id();
    if (pending.empty()) {
      pending_start = id.counter;
    }
    auto r = apply(op, id);
    (void)r; // local ops are built valid
    max_op = id.counter;
    pending.push_back(std::move(op));
  }
};

ChangeHash sha256(std::span<std::uint8_t const> bytes);

/// A tagged value as changes and snapshots store it.
void put_value(Bytes& out, Stored const& v);
base::Result<Stored> read_value(wire::Reader& r);
/// A Unicode scalar value stored as a LEB128 integer; a surrogate or a number beyond U+10FFFF
/// is an error.
base::Result<char32_t> read_code_point(wire::Reader& r);
/// A list of change hashes: the count, then 32 bytes each.
void put_hashes(Bytes& out, std::vector<ChangeHash> const& hashes);
base::Result<std::vector<ChangeHash>> read_hashes(wire::Reader& r);
/// An op id as changes and snapshots store it: the counter and, unless the counter is 0, an
/// index into the encoding's actor table, which must be below `actor_count`.
base::Result<OpId> read_op_id(wire::Reader& r, std::size_t actor_count);

/// The canonical encoding of the open transaction as change number `seq` of the own actor.
Bytes encode_change(State const& s, std::uint64_t seq, std::vector<ChangeHash> const& deps);

/// Checks, decodes and applies a change from a file or another document. On error `s` may be
/// partly changed: callers work on a copy or discard it.
base::Result<void> apply_encoded(State& s, Bytes encoded);

/// Whether change `seq` of the actor is part of the snapshot the state started from.
inline bool is_covered(State const& s, std::string const& actor, std::uint64_t seq) {
  for (std::size_t i = 0; i < s.actors.size(); ++i) {
    if (s.actors[i] == actor) {
      return seq <= s.covered_seq[i];
    }
  }
  return false;
}

/// The snapshot of the current state (committed; pending ops are not part of it): actors,
/// clocks, heads and every object something visible leads to, with conflicting values and
/// the deleted elements of lists and texts (concurrent inserts may be anchored on them).
Bytes encode_snapshot(State const& s);
/// How a snapshot writes the elements of Lists and Texts: a record per element (files of
/// version 2), or runs of consecutive ops (encode_snapshot's, from version 3 on).
enum class SnapshotFormat : std::uint8_t { Elements, Runs };
/// A fresh state holding the snapshot; `self` is set by the caller.
base::Result<void> restore_snapshot(State& s, std::span<std::uint8_t const> bytes,
                                    SnapshotFormat format = SnapshotFormat::Runs);
/// Makes the current state the snapshot and forgets the change log.
void compact(State& s);

} // namespace zarn_ui::doc::detail
