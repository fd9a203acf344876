#include "platform/doc/document.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <random>

#include <fmt/format.h>

#include "base/utf8.h"
#include "platform/doc/state.h"
#include "platform/doc/wire.h"

namespace zarn_ui::doc {

namespace detail {

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

Value to_value(Stored const& s) {
  switch (s.index()) {
  case 0:
    return Value{ScalarValue{std::get<0>(s)}};
  case 1:
    return Value{ScalarValue{std::get<1>(s)}};
  case 2:
    return Value{ScalarValue{std::get<2>(s)}};
  case 3:
    return Value{ScalarValue{std::get<3>(s)}};
  case 4:
    return Value{ScalarValue{std::get<4>(s)}};
  case 5:
    return Value{std::get<5>(s)};
  default: {
    std::string t;
    base::utf8::append(t, std::get<6>(s));
    return Value{ScalarValue{std::move(t)}};
  }
  }
}

Stored to_stored(ScalarValue v) {
  switch (v.index()) {
  case 0:
    return Stored{std::in_place_index<0>, std::move(std::get<0>(v))};
  case 1:
    return Stored{std::in_place_index<1>, std::get<1>(v)};
  case 2:
    return Stored{std::in_place_index<2>, std::get<2>(v)};
  case 3:
    return Stored{std::in_place_index<3>, std::get<3>(v)};
  default:
    return Stored{std::in_place_index<4>, std::get<4>(v)};
  }
}

} // namespace
} // namespace detail

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
  state_->self = *state_->intern_actor(a); // the first actor cannot collide
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

Value element_value(detail::Object const& obj, detail::Element const& e) {
  if (obj.type == ObjType::Text) {
    std::string t;
    base::utf8::append(t, static_cast<char32_t>(e.slot));
    return Value{ScalarValue{std::move(t)}};
  }
  return detail::to_value(obj.values[e.slot]);
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

} // namespace

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
  return std::optional(ValueRef{element_value(**o, e), state_->public_id(e.id)});
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

base::Result<std::vector<ValueRef>> Document::list_items(ObjId const& list) const {
  auto o = seq_of(*state_, list, ObjType::List);
  if (!o) {
    return base::fail(o.error());
  }
  std::vector<ValueRef> out;
  out.reserve((*o)->visible);
  for (auto const& e : (*o)->seq) {
    if (e.visible) {
      out.push_back(ValueRef{element_value(**o, e), state_->public_id(e.id)});
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
      base::utf8::append(out, static_cast<char32_t>(e.slot));
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

} // namespace

namespace {

// Records a write of `value` at a Map's key over what is visible there; answers the op's id.
base::Result<OpId> put_at(detail::State& s, ObjId const& obj, std::string_view key,
                          detail::Stored value) {
  auto o = map_of(s, obj);
  if (!o) {
    return base::fail(o.error());
  }
  Op op;
  op.action = Action::Put;
  op.obj = s.internal_id(obj);
  op.key = std::string(key);
  op.value = std::move(value);
  op.pred = visible_at(**o, key);
  auto const id = s.next_id();
  s.record_local(std::move(op));
  return id;
}

} // namespace

base::Result<void> Document::put(ObjId const& obj, std::string_view key, ScalarValue value) {
  auto id = put_at(*state_, obj, key, detail::to_stored(std::move(value)));
  if (!id) {
    return base::fail(id.error());
  }
  return {};
}

base::Result<ObjId> Document::put_object(ObjId const& obj, std::string_view key, ObjType type) {
  auto id = put_at(*state_, obj, key, detail::Stored{std::in_place_index<5>, type});
  if (!id) {
    return base::fail(id.error());
  }
  return state_->public_id(*id);
}

namespace {

// The element a new element at visible `index` goes after: the head for index 0.
OpId ref_before(detail::Object const& obj, std::size_t index) {
  if (index == 0) {
    return OpId{};
  }
  return obj.seq[position_of(obj, index - 1)].id;
}

} // namespace

namespace {

// Records an insert of `value` at visible `index` of a List; answers the new element's id.
base::Result<OpId> insert_at(detail::State& s, ObjId const& list, std::size_t index,
                             detail::Stored value) {
  auto o = seq_of(s, list, ObjType::List);
  if (!o) {
    return base::fail(o.error());
  }
  if (index > (*o)->visible) {
    return base::fail(out_of_range(index, (*o)->visible));
  }
  Op op;
  op.action = Action::Insert;
  op.obj = s.internal_id(list);
  op.elem = ref_before(**o, index);
  op.value = std::move(value);
  auto const id = s.next_id();
  s.record_local(std::move(op));
  return id;
}

} // namespace

base::Result<void> Document::insert(ObjId const& list, std::size_t index, ScalarValue value) {
  auto id = insert_at(*state_, list, index, detail::to_stored(std::move(value)));
  if (!id) {
    return base::fail(id.error());
  }
  return {};
}

base::Result<ObjId> Document::insert_object(ObjId const& list, std::size_t index, ObjType type) {
  auto id = insert_at(*state_, list, index, detail::Stored{std::in_place_index<5>, type});
  if (!id) {
    return base::fail(id.error());
  }
  return state_->public_id(*id);
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
  // One walk finds the doomed elements: looking each one up by index would walk the text
  // (with its deleted history) once per code point.
  if (del > 0) {
    std::vector<OpId> doomed;
    doomed.reserve(del);
    auto const& seq = (*o)->seq;
    for (std::size_t i = position_of(**o, pos); i < seq.size() && doomed.size() < del; ++i) {
      if (seq[i].visible) {
        doomed.push_back(seq[i].id);
      }
    }
    for (auto const& elem : doomed) {
      Op op;
      op.action = Action::DeleteElem;
      op.obj = id;
      op.elem = elem;
      state_->record_local(std::move(op));
    }
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

std::size_t Document::pending_ops() const {
  return state_->pending.size();
}

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
  s.last_op[s.self] = s.pending_start + s.pending.size() - 1;
  s.heads = {hash};
  s.by_hash.emplace(hash, s.log.size());
  s.log_bytes += change.encoded.size();
  ++s.revision;
  s.log.push_back(std::move(change));
  s.pending.clear();
  return hash;
}

std::size_t Document::rollback() {
  auto const& old = *state_;
  auto const dropped = old.pending.size();
  if (dropped == 0) {
    return 0;
  }
  auto fresh = std::make_unique<detail::State>();
  if (!old.base.empty()) {
    auto r = detail::restore_snapshot(*fresh, old.base);
    (void)r; // it was restored once already
    fresh->base = old.base;
    fresh->covered_hashes = old.covered_hashes; // also those learned in merges
  }
  for (auto const& a : old.actors) {
    (void)fresh->intern_actor(a); // all of them were interned once without a collision
  }
  fresh->self = *fresh->intern_actor(old.actors[old.self]);
  fresh->actor_bytes = old.actor_bytes;
  for (auto const& c : old.log) {
    auto r = detail::apply_encoded(*fresh, c.encoded);
    (void)r; // these changes were applied once already
  }
  fresh->revision = old.revision;
  fresh->last_snapshot_bytes = old.last_snapshot_bytes;
  state_ = std::move(fresh);
  return dropped;
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

Bytes const& Document::actor() const {
  return state_->actor_bytes;
}

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
  (void)r; // never empty
  return copy;
}

} // namespace zarn_ui::doc