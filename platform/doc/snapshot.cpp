// The snapshot of a compacted document:
//   actors (count, length-prefixed bytes), per actor its last seq and last op counter, the
//   highest op counter, the heads (count, 32 bytes each), then the objects (count, then per
//   object: its id, a type byte, and for a Map its keys with every visible value and the id
//   that wrote it; for a List or Text its elements in order with id, a visible byte and the
//   value: a code point for a Text, a tagged value for a visible List element).
// Op ids are a counter and, unless the counter is 0, an index into the actor table. Only the
// objects something visible leads to are written; deleted elements stay, because a writer that
// has not seen the deletion may insert next to them.

#include <deque>

#include "platform/doc/state.h"
#include "platform/doc/wire.h"

namespace zarn_ui::doc::detail {

namespace {

void put_id(Bytes& out, OpId const& id) {
  wire::put_uleb(out, id.counter);
  if (id.counter != 0) {
    wire::put_uleb(out, id.actor);
  }
}

base::Result<OpId> read_id(wire::Reader& r, State const& s) {
  auto id = read_op_id(r, s.actors.size());
  if (!id) {
    return base::fail(id.error());
  }
  // Later changes must be able to number their ops above every id the snapshot holds.
  if (id->counter != 0 && id->counter > s.last_op[id->actor]) {
    return base::fail("op id beyond its actor's last op");
  }
  return *id;
}

std::uint8_t type_byte(ObjType t) {
  return static_cast<std::uint8_t>(t);
}

} // namespace

Bytes encode_snapshot(State const& s) {
  Bytes out;
  wire::put_uleb(out, s.actors.size());
  for (std::size_t i = 0; i < s.actors.size(); ++i) {
    wire::put_bytes(out, s.actors[i]);
    wire::put_uleb(out, s.last_seq[i]);
    wire::put_uleb(out, s.last_op[i]);
  }
  wire::put_uleb(out, s.max_op);
  put_hashes(out, s.heads);

  // The objects reachable from the root, parents first.
  std::vector<OpId> order{OpId{}};
  std::unordered_set<OpId, OpIdHash> seen{OpId{}};
  auto reach = [&](OpId const& id, Stored const& v) {
    if (std::holds_alternative<ObjType>(v) && seen.insert(id).second) {
      order.push_back(id);
    }
  };
  for (std::size_t i = 0; i < order.size(); ++i) {
    auto const& o = *s.find(order[i]);
    for (auto const& [key, entries] : o.map) {
      for (auto const& e : entries) {
        reach(e.id, e.value);
      }
    }
    if (o.type == ObjType::List) {
      for (auto const& e : o.seq) {
        if (e.visible) {
          reach(e.id, o.values[e.slot]);
        }
      }
    }
  }

  wire::put_uleb(out, order.size());
  for (auto const& id : order) {
    auto const& o = *s.find(id);
    put_id(out, id);
    out.push_back(type_byte(o.type));
    if (o.type == ObjType::Map) {
      wire::put_uleb(out, o.map.size());
      for (auto const& [key, entries] : o.map) {
        wire::put_bytes(out, key);
        wire::put_uleb(out, entries.size());
        for (auto const& e : entries) {
          put_id(out, e.id);
          put_value(out, e.value);
        }
      }
      continue;
    }
    wire::put_uleb(out, o.seq.size());
    for (auto const& e : o.seq) {
      put_id(out, e.id);
      out.push_back(e.visible ? 1 : 0);
      if (o.type == ObjType::Text) {
        wire::put_uleb(out, e.slot);
      } else if (e.visible) {
        put_value(out, o.values[e.slot]);
      }
    }
  }
  return out;
}

base::Result<void> restore_snapshot(State& s, std::span<std::uint8_t const> bytes) {
  wire::Reader r(bytes);
  std::size_t nactors = 0;
  WIRE_TRY_ASSIGN(nactors, r.count(3));
  for (std::size_t i = 0; i < nactors; ++i) {
    std::string actor;
    WIRE_TRY_ASSIGN(actor, r.string());
    if (actor.empty()) {
      return base::fail("empty actor");
    }
    auto const before = s.actors.size();
    auto const index = s.intern_actor(actor);
    if (!index || s.actors.size() == before) {
      return base::fail("bad actor table");
    }
    WIRE_TRY_ASSIGN(s.last_seq[*index], r.uleb());
    WIRE_TRY_ASSIGN(s.last_op[*index], r.uleb());
    s.covered_seq[*index] = s.last_seq[*index];
    s.covered_op[*index] = s.last_op[*index];
  }
  // The snapshot's table comes first, so its indexes are the state's.
  if (s.actors.size() != nactors) {
    return base::fail("bad actor table");
  }
  WIRE_TRY_ASSIGN(s.max_op, r.uleb());
  for (auto const op : s.last_op) {
    if (op > s.max_op) {
      return base::fail("op counter beyond the highest");
    }
  }
  WIRE_TRY_ASSIGN(s.heads, read_hashes(r));
  s.covered_hashes.insert(s.heads.begin(), s.heads.end());
  if (!std::is_sorted(s.heads.begin(), s.heads.end()) ||
      s.covered_hashes.size() != s.heads.size()) {
    return base::fail("bad heads");
  }

  std::size_t nobjects = 0;
  WIRE_TRY_ASSIGN(nobjects, r.count(2));
  s.objects.clear();
  // Object values, each of which must have a record of its own of the same type.
  std::unordered_map<OpId, ObjType, OpIdHash> referenced;
  for (std::size_t n = 0; n < nobjects; ++n) {
    OpId id;
    WIRE_TRY_ASSIGN(id, read_id(r, s));
    std::uint8_t type = 0;
    WIRE_TRY_ASSIGN(type, r.u8());
    if (type > type_byte(ObjType::Text) || (id.counter == 0) != (n == 0) ||
        (n == 0 && type != type_byte(ObjType::Map))) {
      return base::fail("bad object record");
    }
    Object o;
    o.type = static_cast<ObjType>(type);
    if (o.type == ObjType::Map) {
      std::size_t nkeys = 0;
      WIRE_TRY_ASSIGN(nkeys, r.count(3));
      for (std::size_t k = 0; k < nkeys; ++k) {
        std::string key;
        WIRE_TRY_ASSIGN(key, r.string());
        std::size_t nentries = 0;
        WIRE_TRY_ASSIGN(nentries, r.count(2));
        if (nentries == 0 || o.map.contains(key)) {
          return base::fail("bad map key");
        }
        std::vector<MapEntry> entries;
        entries.reserve(nentries);
        for (std::size_t e = 0; e < nentries; ++e) {
          MapEntry entry;
          WIRE_TRY_ASSIGN(entry.id, read_id(r, s));
          WIRE_TRY_ASSIGN(entry.value, read_value(r));
          if (entry.id.counter == 0 || std::holds_alternative<char32_t>(entry.value) ||
              (!entries.empty() && s.compare(entries.back().id, entry.id) >= 0)) {
            return base::fail("bad map value");
          }
          if (auto const* t = std::get_if<ObjType>(&entry.value);
              t != nullptr && !referenced.emplace(entry.id, *t).second) {
            return base::fail("object named twice");
          }
          entries.push_back(std::move(entry));
        }
        o.map.emplace(std::move(key), std::move(entries));
      }
    } else {
      std::size_t nelems = 0;
      WIRE_TRY_ASSIGN(nelems, r.count(3));
      o.seq.reserve(nelems);
      std::unordered_set<OpId, OpIdHash> ids;
      for (std::size_t e = 0; e < nelems; ++e) {
        Element elem;
        WIRE_TRY_ASSIGN(elem.id, read_id(r, s));
        std::uint8_t visible = 0;
        WIRE_TRY_ASSIGN(visible, r.u8());
        if (elem.id.counter == 0 || visible > 1 || !ids.insert(elem.id).second) {
          return base::fail("bad sequence element");
        }
        elem.visible = visible == 1;
        if (o.type == ObjType::Text) {
          char32_t cp = 0;
          WIRE_TRY_ASSIGN(cp, read_code_point(r));
          elem.slot = static_cast<std::uint32_t>(cp);
        } else if (elem.visible) {
          Stored v;
          WIRE_TRY_ASSIGN(v, read_value(r));
          if (std::holds_alternative<char32_t>(v)) {
            return base::fail("text character in a list");
          }
          if (auto const* t = std::get_if<ObjType>(&v);
              t != nullptr && !referenced.emplace(elem.id, *t).second) {
            return base::fail("object named twice");
          }
          if (o.values.size() >= UINT32_MAX) {
            return base::fail("list too long");
          }
          elem.slot = static_cast<std::uint32_t>(o.values.size());
          o.values.push_back(std::move(v));
        } else {
          // A deleted element's value is never read again; it keeps a slot so every element
          // has one.
          elem.slot = static_cast<std::uint32_t>(o.values.size());
          o.values.emplace_back(std::in_place_index<1>, false);
        }
        o.visible += elem.visible ? 1 : 0;
        o.seq.push_back(elem);
      }
    }
    if (!s.objects.emplace(id, std::move(o)).second) {
      return base::fail("duplicate object id");
    }
  }
  if (!r.at_end()) {
    return base::fail("trailing bytes in the snapshot");
  }
  if (!s.objects.contains(OpId{})) {
    return base::fail("snapshot without a root");
  }
  for (auto const& [id, type] : referenced) {
    auto const* o = s.find(id);
    if (o == nullptr || o->type != type) {
      return base::fail("value names a missing object");
    }
  }
  if (referenced.size() + 1 != s.objects.size()) {
    return base::fail("object without a value naming it");
  }
  return {};
}

void compact(State& s) {
  State fresh;
  auto const snapshot = encode_snapshot(s);
  auto r = restore_snapshot(fresh, snapshot);
  (void)r;                                            // our own encoding of a consistent state
  fresh.self = *fresh.intern_actor(s.actors[s.self]); // the own actor may not have written yet
  fresh.actor_bytes = s.actor_bytes;
  fresh.revision = s.revision;
  fresh.base = snapshot;
  s = std::move(fresh);
}

} // namespace zarn_ui::doc::detail
