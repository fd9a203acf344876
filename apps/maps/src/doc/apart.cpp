#include "doc/apart.h"

#include <array>
#include <string_view>

#include "doc/schema.h"

namespace maps {

namespace zd = zarn_ui::doc;

namespace {

// Bytes no random actor has: the author of the shared first change only.
zd::Bytes shared_root_actor() {
  std::string_view constexpr tag = "zarn.maps.shared-root";
  return zd::Bytes(tag.begin(), tag.end());
}

constexpr std::array<std::string_view, 3> COLLECTIONS = {"places", "recents", "regions"};

// Later means a higher op counter; equal counters are ordered by the actor's digest, which
// every replica computes alike.
bool later(zd::ObjId const& a, zd::ObjId const& b) {
  return a.counter != b.counter ? a.counter > b.counter : a.actor > b.actor;
}

std::optional<zd::ValueRef> value_at(Document const& doc, ObjId const& obj, std::string_view key) {
  auto v = doc.get(obj, key);
  return v ? *v : std::nullopt;
}

// Every Map at the key but the winner (the one readers and writers use).
std::vector<ObjId> losing_maps(Document const& doc, ObjId const& obj, std::string_view key,
                               ObjId const& winner) {
  std::vector<ObjId> out;
  if (auto all = doc.get_all(obj, key)) {
    for (auto const& v : *all) {
      if (v.value.object_type() == zd::ObjType::Map && !(v.id == winner)) {
        out.push_back(v.id);
      }
    }
  }
  return out;
}

bool same_content(Document const& doc, zd::ValueRef const& a, zd::ValueRef const& b);

bool same_members(Document const& doc, ObjId const& a, ObjId const& b) {
  auto ka = doc.keys(a);
  auto kb = doc.keys(b);
  if (!ka || !kb || *ka != *kb) {
    return false;
  }
  for (auto const& k : *ka) {
    auto va = value_at(doc, a, k);
    auto vb = value_at(doc, b, k);
    if (!va || !vb || !same_content(doc, *va, *vb)) {
      return false;
    }
  }
  return true;
}

bool same_content(Document const& doc, zd::ValueRef const& a, zd::ValueRef const& b) {
  if (a.value.object_type() != b.value.object_type()) {
    return false;
  }
  auto const type = a.value.object_type();
  if (!type) {
    return a.value == b.value;
  }
  switch (*type) {
  case zd::ObjType::Text:
    return doc.text(a.id) == doc.text(b.id);
  case zd::ObjType::Map:
    return same_members(doc, a.id, b.id);
  case zd::ObjType::List: {
    auto ia = doc.list_items(a.id);
    auto ib = doc.list_items(b.id);
    if (!ia || !ib || ia->size() != ib->size()) {
      return false;
    }
    for (std::size_t i = 0; i < ia->size(); ++i) {
      if (!same_content(doc, (*ia)[i], (*ib)[i])) {
        return false;
      }
    }
    return true;
  }
  }
  return false;
}

void fill_object(Document& doc, zd::ValueRef const& from, ObjId const& to);

// Writes a copy of `v` at the key: a scalar as it is, an object as a new object of its kind,
// which is then later than the value it copies, so the join does not pick the source again.
void copy_value(Document& doc, zd::ValueRef const& v, ObjId const& to, std::string_view key) {
  if (auto const* scalar = v.value.scalar()) {
    (void)doc.put(to, key, *scalar);
    return;
  }
  if (auto made = doc.put_object(to, key, *v.value.object_type())) {
    fill_object(doc, v, *made);
  }
}

void fill_object(Document& doc, zd::ValueRef const& from, ObjId const& to) {
  switch (*from.value.object_type()) {
  case zd::ObjType::Text:
    if (auto text = doc.text(from.id); text && !text->empty()) {
      (void)doc.splice_text(to, 0, 0, *text);
    }
    return;
  case zd::ObjType::Map:
    for (auto const& k : keys_of(doc, from.id)) {
      if (auto v = value_at(doc, from.id, k)) {
        copy_value(doc, *v, to, k);
      }
    }
    return;
  case zd::ObjType::List: {
    auto items = doc.list_items(from.id);
    if (!items) {
      return;
    }
    for (std::size_t i = 0; i < items->size(); ++i) {
      auto const& item = (*items)[i];
      if (auto const* scalar = item.value.scalar()) {
        (void)doc.insert(to, i, *scalar);
      } else if (auto made = doc.insert_object(to, i, *item.value.object_type())) {
        fill_object(doc, item, *made);
      }
    }
    return;
  }
  }
}

// Field by field: what `to` lacks, and what `from` holds from a later edit.
void join_fields(Document& doc, ObjId const& from, ObjId const& to) {
  for (auto const& k : keys_of(doc, from)) {
    auto v = value_at(doc, from, k);
    if (!v) {
      continue;
    }
    auto held = value_at(doc, to, k);
    if (!held || (later(v->id, held->id) && !same_content(doc, *v, *held))) {
      copy_value(doc, *v, to, k);
    }
  }
}

// Several Maps under one member key of a collection: the winner takes the others' fields.
void join_member_conflicts(Document& doc, ObjId const& collection) {
  for (auto const& key : keys_of(doc, collection)) {
    auto winner = get_map(doc, collection, key);
    if (!winner) {
      continue;
    }
    for (auto const& other : losing_maps(doc, collection, key, *winner)) {
      join_fields(doc, other, *winner);
    }
  }
}

// Members by key: a member `to` lacks is copied whole; one both hold is joined field by field.
void join_collection(Document& doc, ObjId const& from, ObjId const& to) {
  for (auto const& key : keys_of(doc, from)) {
    auto const member = value_at(doc, from, key);
    if (!member || member->value.object_type() != zd::ObjType::Map) {
      continue;
    }
    std::vector<ObjId> sources = {member->id};
    auto const others = losing_maps(doc, from, key, member->id);
    sources.insert(sources.end(), others.begin(), others.end());
    auto target = get_map(doc, to, key);
    if (!target) {
      auto held = value_at(doc, to, key);
      if (held) {
        continue; // not a Map there: no member of ours to join into
      }
      target = ensure_map(doc, to, key);
      if (!target) {
        continue;
      }
    }
    for (auto const& source : sources) {
      join_fields(doc, source, *target);
    }
  }
}

bool is_collection(std::string_view key) {
  for (auto const c : COLLECTIONS) {
    if (c == key) {
      return true;
    }
  }
  return false;
}

void join_root(Document& doc, ObjId const& from, ObjId const& to) {
  for (auto const& key : keys_of(doc, from)) {
    if (!is_collection(key)) {
      auto v = value_at(doc, from, key);
      auto held = value_at(doc, to, key);
      if (v && (!held || (later(v->id, held->id) && !same_content(doc, *v, *held)))) {
        copy_value(doc, *v, to, key);
      }
      continue;
    }
    auto const source = get_map(doc, from, key);
    if (!source) {
      continue;
    }
    auto sources = losing_maps(doc, from, key, *source);
    sources.push_back(*source);
    auto target = get_map(doc, to, key);
    if (!target && !value_at(doc, to, key)) {
      target = ensure_map(doc, to, key);
    }
    if (!target) {
      continue;
    }
    for (auto const& s : sources) {
      join_collection(doc, s, *target);
    }
  }
}

} // namespace

bool add_shared_root(Document& doc) {
  if (doc.revision() != 0 || doc.pending_ops() != 0) {
    return false;
  }
  Document shared(shared_root_actor());
  auto root = shared.put_object(ObjId::root(), MAPS_ROOT_KEY, zd::ObjType::Map);
  if (!root) {
    return false;
  }
  for (auto const key : COLLECTIONS) {
    (void)shared.put_object(*root, key, zd::ObjType::Map);
  }
  return doc.merge(shared).has_value();
}

bool join_apart_objects(Document& doc) {
  auto const root = get_map(doc, ObjId::root(), MAPS_ROOT_KEY);
  if (!root) {
    return false;
  }
  auto const before = doc.pending_ops();
  for (auto const& other : losing_maps(doc, ObjId::root(), MAPS_ROOT_KEY, *root)) {
    join_root(doc, other, *root);
  }
  for (auto const key : COLLECTIONS) {
    auto const collection = get_map(doc, *root, key);
    if (!collection) {
      continue;
    }
    for (auto const& other : losing_maps(doc, *root, key, *collection)) {
      join_collection(doc, other, *collection);
    }
    join_member_conflicts(doc, *collection);
  }
  return doc.pending_ops() != before;
}

} // namespace maps
