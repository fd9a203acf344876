// The canonical encoding of a change, which its hash is taken of:
//   actor (length-prefixed bytes), seq, start_op, time (always 0), deps (count, 32 bytes each,
//   sorted), the other actors the ops name (count, length-prefixed, sorted by bytes), ops
//   (count, then per op: action byte, object id, and per action a key, an element id, a tagged
//   value and the ids it overwrites; a run of characters typed one after another is one record).
// Integers are unsigned LEB128; op ids are a counter and, unless the counter is 0, an index
// into [author, others...]. Decoding checks every count against the bytes left.

#include <cstring>

#include <openssl/evp.h>

#include "platform/doc/state.h"
#include "platform/doc/wire.h"

namespace zarn_ui::doc::detail {

ChangeHash sha256(std::span<std::uint8_t const> bytes) {
  ChangeHash out{};
  unsigned int len = 0;
  EVP_Digest(bytes.data(), bytes.size(), out.data(), &len, EVP_sha256(), nullptr);
  return out;
}

namespace {

// Op records besides the four actions: a run of characters, each after the one before.
constexpr std::uint8_t ACTION_INSERT_RUN = 4;

enum Tag : std::uint8_t {
  TagStr = 1,
  TagBool = 2,
  TagF64 = 3,
  TagInt = 4,
  TagUint = 5,
  TagMap = 6,
  TagList = 7,
  TagText = 8,
  TagChar = 9,
};

} // namespace

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
    case ObjType::Map:
      out.push_back(TagMap);
      break;
    case ObjType::List:
      out.push_back(TagList);
      break;
    case ObjType::Text:
      out.push_back(TagText);
      break;
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
  case TagMap:
    return Stored{std::in_place_index<5>, ObjType::Map};
  case TagList:
    return Stored{std::in_place_index<5>, ObjType::List};
  case TagText:
    return Stored{std::in_place_index<5>, ObjType::Text};
  case TagChar: {
    auto cp = read_code_point(r);
    if (!cp) {
      return base::fail(cp.error());
    }
    return Stored{std::in_place_index<6>, *cp};
  }
  default:
    return base::fail("unknown value tag");
  }
}

base::Result<char32_t> read_code_point(wire::Reader& r) {
  auto u = r.uleb();
  if (!u) {
    return base::fail(u.error());
  }
  if (*u > 0x10FFFF || (*u >= 0xD800 && *u <= 0xDFFF)) {
    return base::fail("bad code point");
  }
  return static_cast<char32_t>(*u);
}

void put_hashes(Bytes& out, std::vector<ChangeHash> const& hashes) {
  wire::put_uleb(out, hashes.size());
  for (auto const& h : hashes) {
    wire::put_raw(out, h);
  }
}

base::Result<std::vector<ChangeHash>> read_hashes(wire::Reader& r) {
  auto n = r.count(32);
  if (!n) {
    return base::fail(n.error());
  }
  std::vector<ChangeHash> out(*n);
  for (auto& h : out) {
    auto raw = r.raw(32);
    if (!raw) {
      return base::fail(raw.error());
    }
    std::copy(raw->begin(), raw->end(), h.begin());
  }
  return out;
}

base::Result<OpId> read_op_id(wire::Reader& r, std::size_t actor_count) {
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

namespace {

struct ActorMap {
  // document actor index -> index in the change's table
  std::vector<std::int64_t> to_change;
  std::vector<std::uint32_t> order; // document indexes in change order
};

void put_id(Bytes& out, OpId const& id, ActorMap const& m) {
  wire::put_uleb(out, id.counter);
  if (id.counter != 0) {
    wire::put_uleb(out, static_cast<std::uint64_t>(m.to_change[id.actor]));
  }
}

} // namespace

Bytes encode_change(State const& s, std::uint64_t seq, std::vector<ChangeHash> const& deps) {
  ActorMap m;
  m.to_change.assign(s.actors.size(), -1);
  m.to_change[s.self] = 0;
  std::vector<std::uint32_t> others;
  auto note = [&](OpId const& id) {
    if (id.counter != 0 && m.to_change[id.actor] == -1) {
      m.to_change[id.actor] = -2; // seen; numbered below
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
  wire::put_uleb(out, 0); // time: always 0, so equal edits give equal hashes
  put_hashes(out, deps);
  wire::put_uleb(out, others.size());
  for (auto a : others) {
    wire::put_bytes(out, s.actors[a]);
  }
  wire::put_uleb(out, s.pending.size());
  auto const& ops = s.pending;
  for (std::size_t i = 0; i < ops.size(); ++i) {
    auto const& op = ops[i];
    // Typing makes runs of characters each inserted after the one before: one record for all.
    std::size_t run = 1;
    if (op.action == Action::Insert && std::holds_alternative<char32_t>(op.value)) {
      while (i + run < ops.size()) {
        auto const& next = ops[i + run];
        if (next.action != Action::Insert || !std::holds_alternative<char32_t>(next.value) ||
            !(next.obj == op.obj) || !(next.elem == OpId{s.pending_start + i + run - 1, s.self})) {
          break;
        }
        ++run;
      }
    }
    if (run > 1) {
      out.push_back(ACTION_INSERT_RUN);
      put_id(out, op.obj, m);
      put_id(out, op.elem, m);
      wire::put_uleb(out, run);
      for (std::size_t k = 0; k < run; ++k) {
        wire::put_uleb(out, std::get<char32_t>(ops[i + k].value));
      }
      i += run - 1;
      continue;
    }
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

namespace {

base::Result<DecodedChange> decode_change(std::span<std::uint8_t const> bytes) {
  wire::Reader r(bytes);
  DecodedChange c;
  WIRE_TRY_ASSIGN(c.actor, r.string());
  if (c.actor.empty()) {
    return base::fail("empty actor");
  }
  WIRE_TRY_ASSIGN(c.seq, r.uleb());
  WIRE_TRY_ASSIGN(c.start_op, r.uleb());
  std::uint64_t time = 0;
  WIRE_TRY_ASSIGN(time, r.uleb());
  (void)time;
  WIRE_TRY_ASSIGN(c.deps, read_hashes(r));
  std::size_t nothers = 0;
  WIRE_TRY_ASSIGN(nothers, r.count(2));
  c.actors.reserve(nothers + 1);
  c.actors.push_back(c.actor);
  for (std::size_t i = 0; i < nothers; ++i) {
    std::string a;
    WIRE_TRY_ASSIGN(a, r.string());
    if (a.empty() || std::find(c.actors.begin(), c.actors.end(), a) != c.actors.end()) {
      return base::fail("bad actor table");
    }
    c.actors.push_back(std::move(a));
  }
  std::size_t nops = 0;
  WIRE_TRY_ASSIGN(nops, r.count(1));
  if (nops == 0) {
    return base::fail("change without ops");
  }
  if (c.seq == 0 || c.start_op == 0 || c.start_op > UINT64_MAX - nops) {
    return base::fail("bad change numbering");
  }
  c.ops.reserve(nops);
  while (c.ops.size() < nops) {
    Op op;
    std::uint8_t action = 0;
    WIRE_TRY_ASSIGN(action, r.u8());
    if (action == ACTION_INSERT_RUN) {
      WIRE_TRY_ASSIGN(op.obj, read_op_id(r, c.actors.size()));
      WIRE_TRY_ASSIGN(op.elem, read_op_id(r, c.actors.size()));
      std::size_t run = 0;
      WIRE_TRY_ASSIGN(run, r.count(1));
      if (run < 2 || run > nops - c.ops.size()) {
        return base::fail("bad character run");
      }
      for (std::size_t k = 0; k < run; ++k) {
        char32_t cp = 0;
        WIRE_TRY_ASSIGN(cp, read_code_point(r));
        Op ch;
        ch.action = Action::Insert;
        ch.obj = op.obj;
        ch.elem = k == 0 ? op.elem : OpId{c.start_op + c.ops.size() - 1, 0};
        ch.value = Stored{std::in_place_index<6>, cp};
        c.ops.push_back(std::move(ch));
      }
      continue;
    }
    if (action > 3) {
      return base::fail("unknown op action");
    }
    op.action = static_cast<Action>(action);
    WIRE_TRY_ASSIGN(op.obj, read_op_id(r, c.actors.size()));
    switch (op.action) {
    case Action::Put:
    case Action::DeleteKey: {
      WIRE_TRY_ASSIGN(op.key, r.string());
      if (op.action == Action::Put) {
        WIRE_TRY_ASSIGN(op.value, read_value(r));
      }
      std::size_t npred = 0;
      WIRE_TRY_ASSIGN(npred, r.count(1));
      op.pred.reserve(npred);
      for (std::size_t k = 0; k < npred; ++k) {
        OpId p;
        WIRE_TRY_ASSIGN(p, read_op_id(r, c.actors.size()));
        if (p.counter == 0) {
          return base::fail("bad predecessor");
        }
        op.pred.push_back(p);
      }
      break;
    }
    case Action::Insert:
      WIRE_TRY_ASSIGN(op.elem, read_op_id(r, c.actors.size()));
      WIRE_TRY_ASSIGN(op.value, read_value(r));
      break;
    case Action::DeleteElem:
      WIRE_TRY_ASSIGN(op.elem, read_op_id(r, c.actors.size()));
      if (op.elem.counter == 0) {
        return base::fail("delete of the list head");
      }
      break;
    }
    c.ops.push_back(std::move(op));
  }
  if (!r.at_end()) {
    return base::fail("trailing bytes in a change");
  }
  return c;
}

} // namespace

base::Result<void> apply_encoded(State& s, Bytes encoded) {
  auto const hash = sha256(encoded);
  if (s.by_hash.contains(hash) || s.covered_hashes.contains(hash)) {
    return base::fail("duplicate change");
  }
  auto decoded = decode_change(encoded);
  if (!decoded) {
    return base::fail(decoded.error());
  }
  auto& c = *decoded;
  for (auto const& d : c.deps) {
    if (!s.by_hash.contains(d) && !s.covered_hashes.contains(d)) {
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
  if (c.start_op <= s.last_op[author]) {
    return base::fail("change reuses op ids of its actor's earlier changes");
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
  s.last_op[author] = c.start_op + c.ops.size() - 1;

  Change change;
  change.hash = hash;
  change.actor.assign(c.actor.begin(), c.actor.end());
  change.seq = c.seq;
  change.start_op = c.start_op;
  change.op_count = c.ops.size();
  change.deps = c.deps;
  change.encoded = std::move(encoded);
  s.log_bytes += change.encoded.size();
  ++s.revision;
  std::erase_if(s.heads, [&](ChangeHash const& h) {
    return std::find(c.deps.begin(), c.deps.end(), h) != c.deps.end();
  });
  s.heads.insert(std::lower_bound(s.heads.begin(), s.heads.end(), hash), hash);
  s.by_hash.emplace(hash, s.log.size());
  s.log.push_back(std::move(change));
  return {};
}

} // namespace zarn_ui::doc::detail
