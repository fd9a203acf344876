// The snapshot of a compacted document:
//   actors (count, length-prefixed bytes), per actor its last seq and last op counter, the
//   highest op counter, the heads (count, 32 bytes each), then the objects (count, then per
//   object: its id, a type byte, and for a Map its keys with every visible value and the id
//   that wrote it; for a List or Text its elements in order, as runs of consecutive ops of one
//   actor (see put_runs); files of version 2 wrote a record per element instead).
// Op ids are a counter and, unless the counter is 0, an index into the actor table. Only the
// objects something visible leads to are written; deleted elements stay, because a writer that
// has not seen the deletion may insert next to them.

#include <deque>

#include "base/utf8.h"

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

/// Whether `e` continues the run that `prev` ends: the next op of the same actor, equally visible.
bool continues(Element const& prev, Element const& e) {
  return e.id.actor == prev.id.actor && e.id.counter == prev.id.counter + 1 &&
         e.visible == prev.visible;
}

/// A List's or Text's elements as runs: the total, the run count, then per run its first id,
/// its length, a visible byte and its payload: the code points as UTF-8 text for a Text, the
/// values for a visible List run, a zero byte per element for a deleted one. Texts are typed
/// a run at a time, so a text costs about its own bytes instead of a record per character, and
/// every element still costs at least one byte, which bounds what a file can make us allocate.
void put_runs(Bytes& out, Object const& o) {
  std::size_t nruns = 0;
  for (std::size_t i = 0; i < o.seq.size(); ++i) {
    nruns += i == 0 || !continues(o.seq[i - 1], o.seq[i]) ? 1 : 0;
  }
  wire::put_uleb(out, o.seq.size());
  wire::put_uleb(out, nruns);
  std::string text;
  for (std::size_t start = 0; start < o.seq.size();) {
    std::size_t end = start + 1;
    while (end < o.seq.size() && continues(o.seq[end - 1], o.seq[end])) {
      ++end;
    }
    Element const& first = o.seq[start];
    put_id(out, first.id);
    wire::put_uleb(out, end - start);
    out.push_back(first.visible ? 1 : 0);
    if (o.type == ObjType::Text) {
      text.clear();
      for (std::size_t i = start; i < end; ++i) {
        base::utf8::append(text, static_cast<char32_t>(o.seq[i].slot));
      }
      wire::put_bytes(out, text);
    } else {
      for (std::size_t i = start; i < end; ++i) {
        if (first.visible) {
          put_value(out, o.values[o.seq[i].slot]);
        } else {
          out.push_back(0);
        }
      }
    }
    start = end;
  }
}

/// The objects that values name, each of which must have a record of its own of the same type,
/// named by exactly one value (checked once every record is read).
struct Reference {
  OpId id;
  ObjType type;
};
using Referenced = std::vector<Reference>;

/// A visible List element's value, which may name an object that must have a record of its own.
base::Result<void> add_list_value(wire::Reader& r, Object& o, Element& elem,
                                  Referenced& referenced) {
  Stored v;
  WIRE_TRY_ASSIGN(v, read_value(r));
  if (std::holds_alternative<char32_t>(v)) {
    return base::fail("text character in a list");
  }
  if (auto const* t = std::get_if<ObjType>(&v)) {
    referenced.push_back(Reference{elem.id, *t});
  }
  if (o.values.size() >= UINT32_MAX) {
    return base::fail("list too long");
  }
  elem.slot = static_cast<std::uint32_t>(o.values.size());
  o.values.push_back(std::move(v));
  return {};
}

/// A deleted List element's value is never read again; it keeps a slot so every element has one.
void add_deleted_slot(Object& o, Element& elem) {
  elem.slot = static_cast<std::uint32_t>(o.values.size());
  o.values.emplace_back(std::in_place_index<1>, false);
}

/// The elements of a List or Text written one record each (files of the previous version).
base::Result<void> read_elements(wire::Reader& r, State const& s, Object& o,
                                 Referenced& referenced) {
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
      if (auto added = add_list_value(r, o, elem, referenced); !added) {
        return added;
      }
    } else {
      add_deleted_slot(o, elem);
    }
    o.visible += elem.visible ? 1 : 0;
    o.seq.push_back(elem);
  }
  return {};
}

/// The elements of a List or Text written as runs (see put_runs).
base::Result<void> read_runs(wire::Reader& r, State const& s, Object& o, Referenced& referenced) {
  std::size_t nelems = 0;
  WIRE_TRY_ASSIGN(nelems, r.count(1));
  std::size_t nruns = 0;
  WIRE_TRY_ASSIGN(nruns, r.count(3));
  if ((nruns == 0) != (nelems == 0)) {
    return base::fail("bad sequence runs");
  }
  o.seq.reserve(nelems);
  struct Span {
    std::uint32_t actor;
    std::uint64_t first, last;
  };
  std::vector<Span> spans;
  spans.reserve(nruns);
  for (std::size_t n = 0; n < nruns; ++n) {
    OpId first;
    WIRE_TRY_ASSIGN(first, read_id(r, s));
    std::size_t len = 0;
    WIRE_TRY_ASSIGN(len, r.count(1));
    std::uint8_t visible = 0;
    WIRE_TRY_ASSIGN(visible, r.u8());
    // Every id of the run must lie within its actor's ops, as read_id checks the first one.
    if (first.counter == 0 || len == 0 || visible > 1 || len > nelems - o.seq.size() ||
        len - 1 > s.last_op[first.actor] - first.counter) {
      return base::fail("bad sequence run");
    }
    spans.push_back(Span{first.actor, first.counter, first.counter + (len - 1)});
    Element elem{first, 0, visible == 1};
    if (o.type == ObjType::Text) {
      std::size_t nbytes = 0;
      WIRE_TRY_ASSIGN(nbytes, r.count(1));
      std::span<std::uint8_t const> raw;
      WIRE_TRY_ASSIGN(raw, r.raw(nbytes));
      std::string_view const text(reinterpret_cast<char const*>(raw.data()), raw.size());
      std::size_t pos = 0;
      for (std::size_t i = 0; i < len; ++i, ++elem.id.counter) {
        if (pos < text.size() && static_cast<unsigned char>(text[pos]) < 0x80) {
          elem.slot = static_cast<unsigned char>(text[pos++]);
        } else if (auto const cp = base::utf8::decode(text, pos)) {
          elem.slot = static_cast<std::uint32_t>(*cp);
        } else {
          return base::fail("bad text run");
        }
        o.seq.push_back(elem);
      }
      if (pos != text.size()) {
        return base::fail("bad text run");
      }
    } else {
      for (std::size_t i = 0; i < len; ++i, ++elem.id.counter) {
        if (elem.visible) {
          if (auto added = add_list_value(r, o, elem, referenced); !added) {
            return added;
          }
        } else {
          std::uint8_t zero = 0;
          WIRE_TRY_ASSIGN(zero, r.u8());
          if (zero != 0) {
            return base::fail("bad sequence run");
          }
          add_deleted_slot(o, elem);
        }
        o.seq.push_back(elem);
      }
    }
    o.visible += elem.visible ? len : 0;
  }
  if (o.seq.size() != nelems) {
    return base::fail("bad sequence runs");
  }
  // No two elements may share an id: the runs of one actor must not overlap.
  std::sort(spans.begin(), spans.end(), [](Span const& a, Span const& b) {
    return a.actor != b.actor ? a.actor < b.actor : a.first < b.first;
  });
  for (std::size_t i = 1; i < spans.size(); ++i) {
    if (spans[i].actor == spans[i - 1].actor && spans[i].first <= spans[i - 1].last) {
      return base::fail("bad sequence element");
    }
  }
  return {};
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
    put_runs(out, o);
  }
  return out;
}

base::Result<void> restore_snapshot(State& s, std::span<std::uint8_t const> bytes,
                                    SnapshotFormat format) {
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
  Referenced referenced;
  referenced.reserve(nobjects);
  s.objects.reserve(nobjects);
  for (std::size_t n = 0; n < nobjects; ++n) {
    OpId id;
    WIRE_TRY_ASSIGN(id, read_id(r, s));
    std::uint8_t type = 0;
    WIRE_TRY_ASSIGN(type, r.u8());
    if (type > type_byte(ObjType::Text) || (id.counter == 0) != (n == 0) ||
        (n == 0 && type != type_byte(ObjType::Map))) {
      return base::fail("bad object record");
    }
    auto const [slot, fresh] = s.objects.try_emplace(id);
    if (!fresh) {
      return base::fail("duplicate object id");
    }
    Object& o = slot->second;
    o.type = static_cast<ObjType>(type);
    if (o.type == ObjType::Map) {
      std::size_t nkeys = 0;
      WIRE_TRY_ASSIGN(nkeys, r.count(3));
      for (std::size_t k = 0; k < nkeys; ++k) {
        std::string key;
        WIRE_TRY_ASSIGN(key, r.string());
        std::size_t nentries = 0;
        WIRE_TRY_ASSIGN(nentries, r.count(2));
        // Keys come in byte order, as the map holds them: each goes in at the end.
        if (nentries == 0 || (!o.map.empty() && !(o.map.rbegin()->first < key))) {
          return base::fail("bad map key");
        }
        auto& entries =
            o.map.emplace_hint(o.map.end(), std::move(key), std::vector<MapEntry>{})->second;
        entries.reserve(nentries);
        for (std::size_t e = 0; e < nentries; ++e) {
          MapEntry entry;
          WIRE_TRY_ASSIGN(entry.id, read_id(r, s));
          WIRE_TRY_ASSIGN(entry.value, read_value(r));
          if (entry.id.counter == 0 || std::holds_alternative<char32_t>(entry.value) ||
              (!entries.empty() && s.compare(entries.back().id, entry.id) >= 0)) {
            return base::fail("bad map value");
          }
          if (auto const* t = std::get_if<ObjType>(&entry.value)) {
            referenced.push_back(Reference{entry.id, *t});
          }
          entries.push_back(std::move(entry));
        }
      }
    } else if (auto read = format == SnapshotFormat::Runs ? read_runs(r, s, o, referenced)
                                                          : read_elements(r, s, o, referenced);
               !read) {
      return read;
    }
  }
  if (!r.at_end()) {
    return base::fail("trailing bytes in the snapshot");
  }
  if (!s.objects.contains(OpId{})) {
    return base::fail("snapshot without a root");
  }
  std::sort(referenced.begin(), referenced.end(), [](Reference const& a, Reference const& b) {
    return a.id.counter != b.id.counter ? a.id.counter < b.id.counter : a.id.actor < b.id.actor;
  });
  for (std::size_t i = 0; i < referenced.size(); ++i) {
    if (i > 0 && referenced[i].id == referenced[i - 1].id) {
      return base::fail("object named twice");
    }
    auto const* o = s.find(referenced[i].id);
    if (o == nullptr || o->type != referenced[i].type) {
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
