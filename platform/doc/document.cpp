#include "platform/doc/document.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <unordered_map>

#include <fmt/format.h>
#include <openssl/evp.h>

#include "base/utf8.h"
#include "platform/doc/wire.h"

namespace zarn_ui::doc {

namespace detail {

struct OpId {
  std::uint64_t counter = 0;  // 0: the root object, or the head of a sequence
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
using Stored = std::variant<std::string, bool, double, std::int64_t, std::uint64_t, ObjType, char32_t>;

struct MapEntry {
  OpId id;
  Stored value;
};

struct Element {
  OpId id;
  Stored value;
  bool visible = true;
};

struct Object {
  ObjType type = ObjType::Map;
  // Visible values per key, ascending in op order, so the winner is the last one.
  std::map<std::string, std::vector<MapEntry>, std::less<>> map;
  std::vector<Element> seq;
  std::size_t visible = 0;
  std::size_t hint = 0;  // position of the last element touched, where the next op usually lands
};

enum class Action : std::uint8_t { Put = 0, DeleteKey = 1, Insert = 2, DeleteElem = 3 };

struct Op {
  Action action = Action::Put;
  OpId obj;
  std::string key;         // Put, DeleteKey
  OpId elem;               // Insert: the element to insert after (counter 0: the head); DeleteElem
  Stored value;            // Put, Insert
  std::vector<OpId> pred;  // Put, DeleteKey: the values it overwrites
};

// A change read from its encoding; op ids use the change's own actor table (0 = its author).
struct DecodedChange {
  std::string actor;
  std::uint64_t seq = 0;
  std::uint64_t start_op = 0;
  std::vector<ChangeHash> deps;
  std::vector<std::string> actors;  // [author, others...]
  std::vector<Op> ops;
};

struct State {
  std::vector<std::string> actors;  // actor bytes; indexes are stable for the document's life
  std::vector<std::uint64_t> actor_keys;  // digest of each actor, as public ObjIds carry it
  std::vector<std::uint64_t> last_seq;  // per actor index
  std::uint32_t self = 0;
  std::unordered_map<OpId, Object, OpIdHash> objects;
  std::uint64_t max_op = 0;
  std::vector<Change> log;
  std::unordered_map<ChangeHash, std::size_t, HashHash> by_hash;
  std::vector<ChangeHash> heads;
  std::vector<Op> pending;
  std::uint64_t pending_start = 0;
  Bytes actor_bytes;  // actors[self] as bytes, for the accessor

  State() { objects.emplace(OpId{}, Object{}); }

  static std::uint64_t actor_key(std::string_view bytes) {
    std::uint64_t h = 0xcbf29ce484222325ull;  // FNV-1a
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
    return OpId{id.counter, UINT32_MAX};  // names no object
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
  base::Result<void> apply(Op const& op, OpId const& id) {
    Object* obj = find(op.obj);
    if (obj == nullptr) {
      return base::fail("op on an unknown object");
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
        obj->seq.insert(obj->seq.begin() + static_cast<std::ptrdiff_t>(pos),
                        Element{id, op.value, true});
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
    (void)r;  // local ops are built valid
    max_op = id.counter;
    pending.push_back(std::move(op));
  }
};

namespace {

std::string random_actor() {
  std::random_device rd;
  std::string out(16, '\0');
  for (std::size_t i = 0; i < out.size(); i += 4) {
    std::uint32_t const v = rd();
    std::memcpy(out.data() + i, &v, 4);
  }
  return out;
}

ChangeHash sha256(std::span<std::uint8_t const> bytes) {
  ChangeHash out{};
  unsigned int len = 0;
  EVP_Digest(bytes.data(), bytes.size(), out.data(), &len, EVP_sha256(), nullptr);
  return out;
}

Value to_value(Stored const& s) {
  switch (s.index()) {
    case 0: return Value{ScalarValue{std::get<0>(s)}};
    case 1: return Value{ScalarValue{std::get<1>(s)}};
    case 2: return Value{ScalarValue{std::get<2>(s)}};
    case 3: return Value{ScalarValue{std::get<3>(s)}};
    case 4: return Value{ScalarValue{std::get<4>(s)}};
    case 5: return Value{std::get<5>(s)};
    default: {
      std::string t;
      base::utf8::append(t, std::get<6>(s));
      return Value{ScalarValue{std::move(t)}};
    }
  }
}

Stored to_stored(ScalarValue v) {
  switch (v.index()) {
    case 0: return Stored{std::in_place_index<0>, std::move(std::get<0>(v))};
    case 1: return Stored{std::in_place_index<1>, std::get<1>(v)};
    case 2: return Stored{std::in_place_index<2>, std::get<2>(v)};
    case 3: return Stored{std::in_place_index<3>, std::get<3>(v)};
    default: return Stored{std::in_place_index<4>, std::get<4>(v)};
  }
}


// --- change encoding -------------------------------------------------------------------------

enum Tag : std::uint8_t {
  TagStr = 1, TagBool = 2, TagF64 = 3, TagInt = 4, TagUint = 5, TagMap = 6, TagList = 7,
  TagText = 8, TagChar = 9,
};

void put_value(Bytes& out, Stored const& v) {
  switch (v.index()) {
    case 0:
      out.push_back(TagStr);
      wire::put_bytes(out, std::get<0>(v));
      break;
    case 1:
      out.push_back(TagBool);
      out.push_back(std::get<1>(v) ? 1 : 0);
      break;
    case 2: {
      out.push_back(TagF64);
      std::uint64_t bits = 0;
      double const d = std::get<2>(v);
      std::memcpy(&bits, &d, 8);
      for (int i = 0; i < 8; ++i) {
        out.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
      }
      break;
    }
    case 3: {
      out.push_back(TagInt);
      // zig-zag keeps small negative numbers short
      auto const x = std::get<3>(v);
      wire::put_uleb(out, (static_cast<std::uint64_t>(x) << 1) ^ static_cast<std::uint64_t>(x >> 63));
      break;
    }
    case 4:
      out.push_back(TagUint);
      wire::put_uleb(out, std::get<4>(v));
      break;
    case 5:
      switch (std::get<5>(v)) {
        case ObjType::Map: out.push_back(TagMap); break;
        case ObjType::List: out.push_back(TagList); break;
        case ObjType::Text: out.push_back(TagText); break;
      }
      break;
    default:
      out.push_back(TagChar);
      wire::put_uleb(out, std::get<6>(v));
      break;
  }
}

base::Result<Stored> read_value(wire::Reader& r) {
  auto tag = r.u8();
  if (!tag) {
    return base::fail(tag.error());
  }
  switch (*tag) {
    case TagStr: {
      auto s = r.string();
      if (!s) {
        return base::fail(s.error());
      }
      return Stored{std::in_place_index<0>, std::move(*s)};
    }
    case TagBool: {
      auto b = r.u8();
      if (!b) {
        return base::fail(b.error());
      }
      if (*b > 1) {
        return base::fail("bad boolean");
      }
      return Stored{std::in_place_index<1>, *b == 1};
    }
    case TagF64: {
      auto raw = r.raw(8);
      if (!raw) {
        return base::fail(raw.error());
      }
      std::uint64_t bits = 0;
      for (int i = 0; i < 8; ++i) {
        bits |= static_cast<std::uint64_t>((*raw)[static_cast<std::size_t>(i)]) << (8 * i);
      }
      double d = 0;
      std::memcpy(&d, &bits, 8);
      return Stored{std::in_place_index<2>, d};
    }
    case TagInt: {
      auto u = r.uleb();
      if (!u) {
        return base::fail(u.error());
      }
      auto const x = static_cast<std::int64_t>((*u >> 1) ^ (~(*u & 1) + 1));
      return Stored{std::in_place_index<3>, x};
    }
    case TagUint: {
      auto u = r.uleb();
      if (!u) {
        return base::fail(u.error());
      }
      return Stored{std::in_place_index<4>, *u};
    }
    case TagMap: return Stored{std::in_place_index<5>, ObjType::Map};
    case TagList: return Stored{std::in_place_index<5>, ObjType::List};
    case TagText: return Stored{std::in_place_index<5>, ObjType::Text};
    case TagChar: {
      auto u = r.uleb();
      if (!u) {
        return base::fail(u.error());
      }
      if (*u > 0x10FFFF || (*u >= 0xD800 && *u <= 0xDFFF)) {
        return base::fail("bad code point");
      }
      return Stored{std::in_place_index<6>, static_cast<char32_t>(*u)};
    }
    default:
      return base::fail("unknown value tag");
  }
}

struct ActorMap {
  // document actor index -> index in the change's table
  std::vector<std::int64_t> to_change;
  std::vector<std::uint32_t> order;  // document indexes in change order
};

void put_id(Bytes& out, OpId const& id, ActorMap const& m) {
  wire::put_uleb(out, id.counter);
  if (id.counter != 0) {
    wire::put_uleb(out, static_cast<std::uint64_t>(m.to_change[id.actor]));
  }
}

base::Result<OpId> read_id(wire::Reader& r, std::size_t actor_count) {
  auto c = r.uleb();
  if (!c) {
    return base::fail(c.error());
  }
  if (*c == 0) {
    return OpId{};
  }
  auto a = r.uleb();
  if (!a) {
    return base::fail(a.error());
  }
  if (*a >= actor_count) {
    return base::fail("actor index out of range");
  }
  return OpId{*c, static_cast<std::uint32_t>(*a)};
}

Bytes encode_change(State const& s, std::uint64_t seq, std::vector<ChangeHash> const& deps) {
  ActorMap m;
  m.to_change.assign(s.actors.size(), -1);
  m.to_change[s.self] = 0;
  std::vector<std::uint32_t> others;
  auto note = [&](OpId const& id) {
    if (id.counter != 0 && m.to_change[id.actor] == -1) {
      m.to_change[id.actor] = -2;  // seen; numbered below
      others.push_back(id.actor);
    }
  };
  for (auto const& op : s.pending) {
    note(op.obj);
    note(op.elem);
    for (auto const& p : op.pred) {
      note(p);
    }
  }
  std::sort(others.begin(), others.end(),
            [&](std::uint32_t a, std::uint32_t b) { return s.actors[a] < s.actors[b]; });
  for (std::size_t i = 0; i < others.size(); ++i) {
    m.to_change[others[i]] = static_cast<std::int64_t>(i + 1);
  }

  Bytes out;
  wire::put_bytes(out, s.actors[s.self]);
  wire::put_uleb(out, seq);
  wire::put_uleb(out, s.pending_start);
  wire::put_uleb(out, 0);  // time: always 0, so equal edits give equal hashes
  wire::put_uleb(out, deps.size());
  for (auto const& d : deps) {
    wire::put_raw(out, d);
  }
  wire::put_uleb(out, others.size());
  for (auto a : others) {
    wire::put_bytes(out, s.actors[a]);
  }
  wire::put_uleb(out, s.pending.size());
  for (auto const& op : s.pending) {
    out.push_back(static_cast<std::uint8_t>(op.action));
    put_id(out, op.obj, m);
    switch (op.action) {
      case Action::Put:
      case Action::DeleteKey:
        wire::put_bytes(out, op.key);
        if (op.action == Action::Put) {
          put_value(out, op.value);
        }
        wire::put_uleb(out, op.pred.size());
        for (auto const& p : op.pred) {
          put_id(out, p, m);
        }
        break;
      case Action::Insert:
        put_id(out, op.elem, m);
        put_value(out, op.value);
        break;
      case Action::DeleteElem:
        put_id(out, op.elem, m);
        break;
    }
  }
  return out;
}

base::Result<DecodedChange> decode_change(std::span<std::uint8_t const> bytes) {
  wire::Reader r(bytes);
  DecodedChange c;
#define TRY_ASSIGN(dst, expr)              \
  do {                                     \
    auto tmp_ = (expr);                    \
    if (!tmp_) {                           \
      return base::fail(tmp_.error());     \
    }                                      \
    dst = std::move(*tmp_);                \
  } while (false)
  TRY_ASSIGN(c.actor, r.string());
  if (c.actor.empty()) {
    return base::fail("empty actor");
  }
  TRY_ASSIGN(c.seq, r.uleb());
  TRY_ASSIGN(c.start_op, r.uleb());
  std::uint64_t time = 0;
  TRY_ASSIGN(time, r.uleb());
  (void)time;
  std::size_t ndeps = 0;
  TRY_ASSIGN(ndeps, r.count(32));
  c.deps.resize(ndeps);
  for (auto& d : c.deps) {
    std::span<std::uint8_t const> raw;
    TRY_ASSIGN(raw, r.raw(32));
    std::copy(raw.begin(), raw.end(), d.begin());
  }
  std::size_t nothers = 0;
  TRY_ASSIGN(nothers, r.count(2));
  c.actors.reserve(nothers + 1);
  c.actors.push_back(c.actor);
  for (std::size_t i = 0; i < nothers; ++i) {
    std::string a;
    TRY_ASSIGN(a, r.string());
    if (a.empty() || std::find(c.actors.begin(), c.actors.end(), a) != c.actors.end()) {
      return base::fail("bad actor table");
    }
    c.actors.push_back(std::move(a));
  }
  std::size_t nops = 0;
  TRY_ASSIGN(nops, r.count(3));
  if (nops == 0) {
    return base::fail("change without ops");
  }
  if (c.seq == 0 || c.start_op == 0 || c.start_op > UINT64_MAX - nops) {
    return base::fail("bad change numbering");
  }
  c.ops.reserve(nops);
  for (std::size_t i = 0; i < nops; ++i) {
    Op op;
    std::uint8_t action = 0;
    TRY_ASSIGN(action, r.u8());
    if (action > 3) {
      return base::fail("unknown op action");
    }
    op.action = static_cast<Action>(action);
    TRY_ASSIGN(op.obj, read_id(r, c.actors.size()));
    switch (op.action) {
      case Action::Put:
      case Action::DeleteKey: {
        TRY_ASSIGN(op.key, r.string());
        if (op.action == Action::Put) {
          TRY_ASSIGN(op.value, read_value(r));
        }
        std::size_t npred = 0;
        TRY_ASSIGN(npred, r.count(1));
        op.pred.reserve(npred);
        for (std::size_t k = 0; k < npred; ++k) {
          OpId p;
          TRY_ASSIGN(p, read_id(r, c.actors.size()));
          if (p.counter == 0) {
            return base::fail("bad predecessor");
          }
          op.pred.push_back(p);
        }
        break;
      }
      case Action::Insert:
        TRY_ASSIGN(op.elem, read_id(r, c.actors.size()));
        TRY_ASSIGN(op.value, read_value(r));
        break;
      case Action::DeleteElem:
        TRY_ASSIGN(op.elem, read_id(r, c.actors.size()));
        if (op.elem.counter == 0) {
          return base::fail("delete of the list head");
        }
        break;
    }
    c.ops.push_back(std::move(op));
  }
#undef TRY_ASSIGN
  if (!r.at_end()) {
    return base::fail("trailing bytes in a change");
  }
  return c;
}

// Applies an encoded change from a file or another document.
base::Result<void> apply_encoded(State& s, Bytes encoded) {
  auto const hash = sha256(encoded);
  if (s.by_hash.contains(hash)) {
    return base::fail("duplicate change");
  }
  auto decoded = decode_change(encoded);
  if (!decoded) {
    return base::fail(decoded.error());
  }
  auto& c = *decoded;
  for (auto const& d : c.deps) {
    if (!s.by_hash.contains(d)) {
      return base::fail("change depends on a missing change");
    }
  }
  std::vector<std::uint32_t> local(c.actors.size());
  for (std::size_t i = 0; i < c.actors.size(); ++i) {
    auto a = s.intern_actor(c.actors[i]);
    if (!a) {
      return base::fail("actor digest collision");
    }
    local[i] = *a;
  }
  auto const author = local[0];
  if (c.seq != s.last_seq[author] + 1) {
    return base::fail("change out of sequence for its actor");
  }
  auto to_local = [&](OpId id) {
    if (id.counter != 0) {
      id.actor = local[id.actor];
    }
    return id;
  };
  for (std::size_t i = 0; i < c.ops.size(); ++i) {
    Op op = std::move(c.ops[i]);
    op.obj = to_local(op.obj);
    op.elem = to_local(op.elem);
    for (auto& p : op.pred) {
      p = to_local(p);
    }
    OpId const id{c.start_op + i, author};
    if (auto r = s.apply(op, id); !r) {
      return r;
    }
  }
  s.max_op = std::max(s.max_op, c.start_op + c.ops.size() - 1);
  s.last_seq[author] = c.seq;

  Change change;
  change.hash = hash;
  change.actor.assign(c.actor.begin(), c.actor.end());
  change.seq = c.seq;
  change.start_op = c.start_op;
  change.op_count = c.ops.size();
  change.deps = c.deps;
  change.encoded = std::move(encoded);
  std::erase_if(s.heads, [&](ChangeHash const& h) {
    return std::find(c.deps.begin(), c.deps.end(), h) != c.deps.end();
  });
  s.heads.insert(std::lower_bound(s.heads.begin(), s.heads.end(), hash), hash);
  s.by_hash.emplace(hash, s.log.size());
  s.log.push_back(std::move(change));
  return {};
}

constexpr std::array<std::uint8_t, 4> MAGIC = {'Z', 'D', 'O', 'C'};
constexpr std::uint8_t VERSION = 1;

}  // namespace
}  // namespace detail

using detail::Action;
using detail::Op;
using detail::OpId;

std::string to_hex(ChangeHash const& hash) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(64);
  for (auto b : hash) {
    out.push_back(digits[b >> 4]);
    out.push_back(digits[b & 15]);
  }
  return out;
}

Document::Document() : Document(Bytes{}) {}

Document::Document(Bytes actor) : state_(std::make_unique<detail::State>()) {
  std::string a = actor.empty() ? detail::random_actor() : std::string(actor.begin(), actor.end());
  state_->self = *state_->intern_actor(a);  // the first actor cannot collide
  state_->actor_bytes.assign(a.begin(), a.end());
}

Document::~Document() = default;
Document::Document(Document const& other)
    : state_(std::make_unique<detail::State>(*other.state_)) {}
Document& Document::operator=(Document const& other) {
  if (this != &other) {
    state_ = std::make_unique<detail::State>(*other.state_);
  }
  return *this;
}
Document::Document(Document&&) noexcept = default;
Document& Document::operator=(Document&&) noexcept = default;

namespace {

base::Result<detail::Object const*> object_of(detail::State const& s, ObjId const& id) {
  auto const* o = s.find(s.internal_id(id));
  if (o == nullptr) {
    return base::fail("unknown object");
  }
  return o;
}

base::Result<detail::Object const*> map_of(detail::State const& s, ObjId const& id) {
  auto o = object_of(s, id);
  if (o && (*o)->type != ObjType::Map) {
    return base::fail("object is not a map");
  }
  return o;
}

base::Result<detail::Object const*> seq_of(detail::State const& s, ObjId const& id,
                                           std::optional<ObjType> want = std::nullopt) {
  auto o = object_of(s, id);
  if (!o) {
    return o;
  }
  if ((*o)->type == ObjType::Map) {
    return base::fail("object is not a list or text");
  }
  if (want && (*o)->type != *want) {
    return base::fail(*want == ObjType::Text ? "object is not a text" : "object is not a list");
  }
  return o;
}

// Position in `seq` of the visible element with the given index; index < obj.visible.
std::size_t position_of(detail::Object const& obj, std::size_t index) {
  auto const& seq = obj.seq;
  if (index >= obj.visible / 2) {
    std::size_t seen = obj.visible;
    for (std::size_t i = seq.size(); i-- > 0;) {
      if (seq[i].visible && --seen == index) {
        return i;
      }
    }
  } else {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < seq.size(); ++i) {
      if (seq[i].visible && seen++ == index) {
        return i;
      }
    }
  }
  return seq.size();
}

std::string out_of_range(std::size_t index, std::size_t length) {
  return fmt::format("index {} out of range (length {})", index, length);
}

}  // namespace

base::Result<Document> Document::load(std::span<std::uint8_t const> bytes) {
  constexpr std::size_t header = 5;
  constexpr std::size_t trailer = 32;
  if (bytes.size() < header + trailer) {
    return base::fail("document is truncated");
  }
  if (!std::equal(detail::MAGIC.begin(), detail::MAGIC.end(), bytes.begin())) {
    return base::fail("not a document file");
  }
  if (bytes[4] != detail::VERSION) {
    return base::fail(fmt::format("unsupported document version {}", bytes[4]));
  }
  auto const body = bytes.first(bytes.size() - trailer);
  auto const sum = detail::sha256(body);
  if (!std::equal(sum.begin(), sum.end(), bytes.end() - trailer)) {
    return base::fail("document checksum mismatch");
  }
  Document doc;
  auto& s = *doc.state_;
  wire::Reader r(body.subspan(header));
  auto n = r.count(2);
  if (!n) {
    return base::fail("document is corrupt: " + n.error());
  }
  for (std::size_t i = 0; i < *n; ++i) {
    auto len = r.count();
    if (!len) {
      return base::fail("document is corrupt: " + len.error());
    }
    auto raw = r.raw(*len);
    if (!raw) {
      return base::fail("document is corrupt: " + raw.error());
    }
    if (auto a = detail::apply_encoded(s, Bytes(raw->begin(), raw->end())); !a) {
      return base::fail(fmt::format("document is corrupt: change {}: {}", i, a.error()));
    }
  }
  auto nheads = r.count(32);
  if (!nheads) {
    return base::fail("document is corrupt: " + nheads.error());
  }
  std::vector<ChangeHash> heads(*nheads);
  for (auto& h : heads) {
    auto raw = r.raw(32);
    std::copy(raw->begin(), raw->end(), h.begin());
  }
  if (!r.at_end()) {
    return base::fail("document is corrupt: trailing bytes");
  }
  if (heads != s.heads) {
    return base::fail("document is corrupt: heads do not match its changes");
  }
  return doc;
}

Bytes Document::save() {
  commit();
  auto const& s = *state_;
  Bytes out(detail::MAGIC.begin(), detail::MAGIC.end());
  out.push_back(detail::VERSION);
  wire::put_uleb(out, s.log.size());
  for (auto const& c : s.log) {
    wire::put_uleb(out, c.encoded.size());
    wire::put_raw(out, c.encoded);
  }
  wire::put_uleb(out, s.heads.size());
  for (auto const& h : s.heads) {
    wire::put_raw(out, h);
  }
  auto const sum = detail::sha256(out);
  wire::put_raw(out, sum);
  return out;
}

base::Result<std::optional<ValueRef>> Document::get(ObjId const& obj, std::string_view key) const {
  auto o = map_of(*state_, obj);
  if (!o) {
    return base::fail(o.error());
  }
  auto it = (*o)->map.find(key);
  if (it == (*o)->map.end() || it->second.empty()) {
    return std::optional<ValueRef>{};
  }
  auto const& e = it->second.back();
  return std::optional(ValueRef{detail::to_value(e.value), state_->public_id(e.id)});
}

base::Result<std::optional<ValueRef>> Document::get(ObjId const& obj, std::size_t index) const {
  auto o = seq_of(*state_, obj);
  if (!o) {
    return base::fail(o.error());
  }
  if (index >= (*o)->visible) {
    return base::fail(out_of_range(index, (*o)->visible));
  }
  auto const& e = (*o)->seq[position_of(**o, index)];
  return std::optional(ValueRef{detail::to_value(e.value), state_->public_id(e.id)});
}

base::Result<std::vector<ValueRef>> Document::get_all(ObjId const& obj,
                                                      std::string_view key) const {
  auto o = map_of(*state_, obj);
  if (!o) {
    return base::fail(o.error());
  }
  std::vector<ValueRef> out;
  auto it = (*o)->map.find(key);
  if (it != (*o)->map.end()) {
    for (auto const& e : it->second) {
      out.push_back(ValueRef{detail::to_value(e.value), state_->public_id(e.id)});
    }
  }
  return out;
}

base::Result<std::vector<std::string>> Document::keys(ObjId const& obj) const {
  auto o = map_of(*state_, obj);
  if (!o) {
    return base::fail(o.error());
  }
  std::vector<std::string> out;
  out.reserve((*o)->map.size());
  for (auto const& [k, v] : (*o)->map) {
    out.push_back(k);
  }
  return out;
}

base::Result<std::size_t> Document::length(ObjId const& obj) const {
  auto o = object_of(*state_, obj);
  if (!o) {
    return base::fail(o.error());
  }
  return (*o)->type == ObjType::Map ? (*o)->map.size() : (*o)->visible;
}

base::Result<std::string> Document::text(ObjId const& obj) const {
  auto o = seq_of(*state_, obj, ObjType::Text);
  if (!o) {
    return base::fail(o.error());
  }
  std::string out;
  out.reserve((*o)->visible);
  for (auto const& e : (*o)->seq) {
    if (e.visible) {
      base::utf8::append(out, std::get<char32_t>(e.value));
    }
  }
  return out;
}

base::Result<ObjType> Document::object_type(ObjId const& obj) const {
  auto o = object_of(*state_, obj);
  if (!o) {
    return base::fail(o.error());
  }
  return (*o)->type;
}

namespace {

std::vector<OpId> visible_at(detail::Object const& obj, std::string_view key) {
  std::vector<OpId> out;
  auto it = obj.map.find(key);
  if (it != obj.map.end()) {
    for (auto const& e : it->second) {
      out.push_back(e.id);
    }
  }
  return out;
}

}  // namespace

base::Result<void> Document::put(ObjId const& obj, std::string_view key, ScalarValue value) {
  auto o = map_of(*state_, obj);
  if (!o) {
    return base::fail(o.error());
  }
  Op op;
  op.action = Action::Put;
  op.obj = state_->internal_id(obj);
  op.key = std::string(key);
  op.value = detail::to_stored(std::move(value));
  op.pred = visible_at(**o, key);
  state_->record_local(std::move(op));
  return {};
}

base::Result<ObjId> Document::put_object(ObjId const& obj, std::string_view key, ObjType type) {
  auto o = map_of(*state_, obj);
  if (!o) {
    return base::fail(o.error());
  }
  Op op;
  op.action = Action::Put;
  op.obj = state_->internal_id(obj);
  op.key = std::string(key);
  op.value = detail::Stored{std::in_place_index<5>, type};
  op.pred = visible_at(**o, key);
  auto const id = state_->next_id();
  state_->record_local(std::move(op));
  return state_->public_id(id);
}

namespace {

// The element a new element at visible `index` goes after: the head for index 0.
OpId ref_before(detail::Object const& obj, std::size_t index) {
  if (index == 0) {
    return OpId{};
  }
  return obj.seq[position_of(obj, index - 1)].id;
}

}  // namespace

base::Result<void> Document::insert(ObjId const& list, std::size_t index, ScalarValue value) {
  auto o = seq_of(*state_, list, ObjType::List);
  if (!o) {
    return base::fail(o.error());
  }
  if (index > (*o)->visible) {
    return base::fail(out_of_range(index, (*o)->visible));
  }
  Op op;
  op.action = Action::Insert;
  op.obj = state_->internal_id(list);
  op.elem = ref_before(**o, index);
  op.value = detail::to_stored(std::move(value));
  state_->record_local(std::move(op));
  return {};
}

base::Result<ObjId> Document::insert_object(ObjId const& list, std::size_t index, ObjType type) {
  auto o = seq_of(*state_, list, ObjType::List);
  if (!o) {
    return base::fail(o.error());
  }
  if (index > (*o)->visible) {
    return base::fail(out_of_range(index, (*o)->visible));
  }
  Op op;
  op.action = Action::Insert;
  op.obj = state_->internal_id(list);
  op.elem = ref_before(**o, index);
  op.value = detail::Stored{std::in_place_index<5>, type};
  auto const id = state_->next_id();
  state_->record_local(std::move(op));
  return state_->public_id(id);
}

base::Result<void> Document::delete_key(ObjId const& obj, std::string_view key) {
  auto o = map_of(*state_, obj);
  if (!o) {
    return base::fail(o.error());
  }
  auto pred = visible_at(**o, key);
  if (pred.empty()) {
    return {};
  }
  Op op;
  op.action = Action::DeleteKey;
  op.obj = state_->internal_id(obj);
  op.key = std::string(key);
  op.pred = std::move(pred);
  state_->record_local(std::move(op));
  return {};
}

base::Result<void> Document::delete_index(ObjId const& seq, std::size_t index) {
  auto o = seq_of(*state_, seq);
  if (!o) {
    return base::fail(o.error());
  }
  if (index >= (*o)->visible) {
    return base::fail(out_of_range(index, (*o)->visible));
  }
  Op op;
  op.action = Action::DeleteElem;
  op.obj = state_->internal_id(seq);
  op.elem = (*o)->seq[position_of(**o, index)].id;
  state_->record_local(std::move(op));
  return {};
}

base::Result<void> Document::splice_text(ObjId const& text, std::size_t pos, std::size_t del,
                                         std::string_view insert) {
  auto o = seq_of(*state_, text, ObjType::Text);
  if (!o) {
    return base::fail(o.error());
  }
  auto const length = (*o)->visible;
  if (pos > length || del > length - pos) {
    return base::fail(fmt::format("splice {}+{} out of range (length {})", pos, del, length));
  }
  if (!base::utf8::is_valid(insert)) {
    return base::fail("text is not valid UTF-8");
  }
  auto const id = state_->internal_id(text);
  for (std::size_t i = 0; i < del; ++i) {
    Op op;
    op.action = Action::DeleteElem;
    op.obj = id;
    op.elem = (*o)->seq[position_of(**o, pos)].id;
    state_->record_local(std::move(op));
  }
  OpId ref = ref_before(**o, pos);
  std::size_t at = 0;
  while (at < insert.size()) {
    auto cp = base::utf8::decode(insert, at);
    Op op;
    op.action = Action::Insert;
    op.obj = id;
    op.elem = ref;
    op.value = detail::Stored{std::in_place_index<6>, *cp};
    ref = state_->next_id();
    state_->record_local(std::move(op));
  }
  return {};
}

std::size_t Document::pending_ops() const { return state_->pending.size(); }

std::optional<ChangeHash> Document::commit() {
  auto& s = *state_;
  if (s.pending.empty()) {
    return std::nullopt;
  }
  auto const seq = s.last_seq[s.self] + 1;
  auto deps = s.heads;
  Bytes encoded = detail::encode_change(s, seq, deps);
  auto const hash = detail::sha256(encoded);
  Change change;
  change.hash = hash;
  change.actor = s.actor_bytes;
  change.seq = seq;
  change.start_op = s.pending_start;
  change.op_count = s.pending.size();
  change.deps = std::move(deps);
  change.encoded = std::move(encoded);
  s.last_seq[s.self] = seq;
  s.heads = {hash};
  s.by_hash.emplace(hash, s.log.size());
  s.log.push_back(std::move(change));
  s.pending.clear();
  return hash;
}

std::vector<ChangeHash> Document::heads() {
  commit();
  return state_->heads;
}

std::vector<Change> const& Document::changes() {
  commit();
  return state_->log;
}

std::optional<Change> Document::get_change_by_hash(ChangeHash const& hash) const {
  auto it = state_->by_hash.find(hash);
  if (it == state_->by_hash.end()) {
    return std::nullopt;
  }
  return state_->log[it->second];
}

Bytes const& Document::actor() const { return state_->actor_bytes; }

base::Result<void> Document::set_actor(Bytes actor) {
  if (actor.empty()) {
    return base::fail("actor id must not be empty");
  }
  commit();
  auto& s = *state_;
  auto const self = s.intern_actor(std::string(actor.begin(), actor.end()));
  if (!self) {
    return base::fail("actor id collides with another actor of the document");
  }
  s.self = *self;
  s.actor_bytes = std::move(actor);
  return {};
}

Document Document::fork() {
  commit();
  Document copy(*this);
  auto const a = detail::random_actor();
  auto r = copy.set_actor(Bytes(a.begin(), a.end()));
  (void)r;  // never empty
  return copy;
}

base::Result<void> Document::merge(Document& other) {
  commit();
  other.commit();
  detail::State next(*state_);
  for (auto const& c : other.state_->log) {
    if (next.by_hash.contains(c.hash)) {
      continue;
    }
    if (auto r = detail::apply_encoded(next, c.encoded); !r) {
      return base::fail("merge failed: " + r.error());
    }
  }
  *state_ = std::move(next);
  return {};
}

}  // namespace zarn_ui::doc
