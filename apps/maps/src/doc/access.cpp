#include "doc/access.h"

#include <cmath>
#include <limits>

#include "base/utf8.h"
#include "doc/apart.h"
#include "doc/schema.h"
#include "model/json.h"
#include "platform/doc/text_diff.h"

namespace maps {

namespace zd = zarn_ui::doc;

namespace {

std::optional<zd::ValueRef> value_at(Document const& doc, ObjId const& obj, std::string_view key) {
  auto v = doc.get(obj, key);
  if (!v || !*v) {
    return std::nullopt;
  }
  return std::move(**v);
}

std::optional<ObjId> object_at(Document const& doc, ObjId const& obj, std::string_view key,
                               zd::ObjType type) {
  auto v = value_at(doc, obj, key);
  if (!v || v->value.object_type() != type) {
    return std::nullopt;
  }
  return v->id;
}

std::optional<ObjId> ensure_object(Document& doc, ObjId const& obj, std::string_view key,
                                   zd::ObjType type) {
  if (auto existing = object_at(doc, obj, key, type)) {
    return existing;
  }
  auto made = doc.put_object(obj, key, type);
  if (!made) {
    return std::nullopt;
  }
  return *made;
}

} // namespace

std::optional<ObjId> get_map(Document const& doc, ObjId const& obj, std::string_view key) {
  return object_at(doc, obj, key, zd::ObjType::Map);
}

std::optional<ObjId> get_list(Document const& doc, ObjId const& obj, std::string_view key) {
  return object_at(doc, obj, key, zd::ObjType::List);
}

std::optional<ObjId> get_list_item_map(Document const& doc, ObjId const& list, std::size_t index) {
  auto v = doc.get(list, index);
  if (!v || !*v || (*v)->value.object_type() != zd::ObjType::Map) {
    return std::nullopt;
  }
  return (*v)->id;
}

std::vector<std::string> keys_of(Document const& doc, ObjId const& map) {
  auto k = doc.keys(map);
  return k ? std::move(*k) : std::vector<std::string>{};
}

std::optional<std::string> get_string(Document const& doc, ObjId const& obj, std::string_view key) {
  auto v = value_at(doc, obj, key);
  if (!v) {
    return std::nullopt;
  }
  if (v->value.object_type() == zd::ObjType::Text) {
    auto t = doc.text(v->id);
    return t ? std::optional(std::move(*t)) : std::nullopt;
  }
  if (auto const* s = v->value.scalar(); s != nullptr) {
    if (auto const* str = std::get_if<std::string>(s)) {
      return *str;
    }
  }
  return std::nullopt;
}

std::optional<double> get_f64(Document const& doc, ObjId const& obj, std::string_view key) {
  auto v = value_at(doc, obj, key);
  if (!v || v->value.scalar() == nullptr) {
    return std::nullopt;
  }
  auto const& s = *v->value.scalar();
  if (auto const* d = std::get_if<double>(&s)) {
    return *d;
  }
  if (auto const* i = std::get_if<std::int64_t>(&s)) {
    return static_cast<double>(*i);
  }
  if (auto const* u = std::get_if<std::uint64_t>(&s)) {
    return static_cast<double>(*u);
  }
  return std::nullopt;
}

std::optional<std::uint64_t> get_u64(Document const& doc, ObjId const& obj, std::string_view key) {
  auto v = value_at(doc, obj, key);
  if (!v || v->value.scalar() == nullptr) {
    return std::nullopt;
  }
  auto const& s = *v->value.scalar();
  if (auto const* u = std::get_if<std::uint64_t>(&s)) {
    return *u;
  }
  if (auto const* i = std::get_if<std::int64_t>(&s); i != nullptr && *i >= 0) {
    return static_cast<std::uint64_t>(*i);
  }
  return std::nullopt;
}

std::optional<std::int64_t> get_transit_offset(Document const& doc, ObjId const& obj) {
  auto v = value_at(doc, obj, "transit_time_offset");
  if (!v || v->value.scalar() == nullptr) {
    return std::nullopt;
  }
  auto const& s = *v->value.scalar();
  if (auto const* i = std::get_if<std::int64_t>(&s)) {
    return *i;
  }
  if (auto const* u = std::get_if<std::uint64_t>(&s);
      u != nullptr && *u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
    return static_cast<std::int64_t>(*u);
  }
  return std::nullopt;
}

std::optional<bool> get_bool(Document const& doc, ObjId const& obj, std::string_view key) {
  auto v = value_at(doc, obj, key);
  if (!v || v->value.scalar() == nullptr) {
    return std::nullopt;
  }
  if (auto const* b = std::get_if<bool>(v->value.scalar())) {
    return *b;
  }
  return std::nullopt;
}

bool get_flag(Document const& doc, ObjId const& obj, std::string_view key) {
  auto all = doc.get_all(obj, key);
  if (!all) {
    return false;
  }
  for (auto const& v : *all) {
    if (auto const* s = v.value.scalar()) {
      if (auto const* b = std::get_if<bool>(s); b != nullptr && *b) {
        return true;
      }
    }
  }
  return false;
}

bool is_deleted(Document const& doc, ObjId const& entry) {
  return get_flag(doc, entry, "deleted");
}

std::optional<LatLon> latlon_of(Document const& doc, ObjId const& map) {
  auto lat = get_f64(doc, map, "lat");
  auto lon = get_f64(doc, map, "lon");
  if (!lat || !lon) {
    return std::nullopt;
  }
  return LatLon{*lat, *lon};
}

std::optional<LatLon> read_latlon(Document const& doc, ObjId const& obj, std::string_view key) {
  auto m = get_map(doc, obj, key);
  return m ? latlon_of(doc, *m) : std::nullopt;
}

std::optional<ActivePlan> get_plan_json(Document const& doc, ObjId const& obj,
                                        std::string_view key) {
  auto text = get_string(doc, obj, key);
  if (!text) {
    return std::nullopt;
  }
  auto plan = from_json_text<ActivePlan>(*text);
  if (!plan) {
    return std::nullopt;
  }
  return std::move(*plan);
}

std::optional<ObjId> ensure_map(Document& doc, ObjId const& obj, std::string_view key) {
  return ensure_object(doc, obj, key, zd::ObjType::Map);
}

std::optional<ObjId> ensure_list(Document& doc, ObjId const& obj, std::string_view key) {
  return ensure_object(doc, obj, key, zd::ObjType::List);
}

std::optional<ObjId> ensure_maps_root(Document& doc) {
  // A new document takes the root every new document shares, so that documents made apart
  // write into the same objects.
  add_shared_root(doc);
  return ensure_map(doc, ObjId::root(), MAPS_ROOT_KEY);
}

std::optional<ObjId> find_entry(Document& doc, std::string_view collection, std::string_view id) {
  auto root = ensure_maps_root(doc);
  if (!root) {
    return std::nullopt;
  }
  auto m = ensure_map(doc, *root, collection);
  if (!m) {
    return std::nullopt;
  }
  return get_map(doc, *m, id);
}

void clear_list(Document& doc, ObjId const& list) {
  auto n = doc.length(list);
  if (!n) {
    return;
  }
  for (auto i = *n; i-- > 0;) {
    (void)doc.delete_index(list, i);
  }
}

void put_text(Document& doc, ObjId const& obj, std::string_view key, std::string_view text) {
  // Texts hold code points: malformed bytes are stored as U+FFFD rather than dropping the text.
  std::string repaired;
  if (!base::utf8::is_valid(text)) {
    repaired = base::utf8::lossy(text);
    text = repaired;
  }
  auto target = ensure_object(doc, obj, key, zd::ObjType::Text);
  if (!target) {
    return;
  }
  (void)zd::splice_text_diffed(doc, *target, text);
}

void put_opt_text(Document& doc, ObjId const& obj, std::string_view key,
                  std::optional<std::string> const& text) {
  if (text) {
    put_text(doc, obj, key, *text);
  } else {
    (void)doc.delete_key(obj, key);
  }
}

void put_bool_if_changed(Document& doc, ObjId const& obj, std::string_view key, bool value) {
  if (get_bool(doc, obj, key) != value) {
    (void)doc.put(obj, key, zd::ScalarValue{value});
  }
}

void put_f64_if_changed(Document& doc, ObjId const& obj, std::string_view key, double value) {
  if (auto x = get_f64(doc, obj, key)) {
    // A stored NaN compares unequal to everything; without the isnan test it would never be
    // replaced, and a NaN value would be rewritten on every call.
    bool const same = *x == value || (std::isnan(*x) && std::isnan(value)) ||
                      std::abs(*x - value) <= std::numeric_limits<double>::epsilon();
    if (same) {
      return;
    }
  }
  (void)doc.put(obj, key, zd::ScalarValue{value});
}

void put_int_if_changed(Document& doc, ObjId const& obj, std::string_view key,
                        std::uint64_t value) {
  if (get_u64(doc, obj, key) != value) {
    (void)doc.put(obj, key, zd::ScalarValue{value});
  }
}

void write_latlon(Document& doc, ObjId const& obj, std::string_view key, LatLon point) {
  auto m = ensure_map(doc, obj, key);
  if (!m) {
    return;
  }
  put_f64_if_changed(doc, *m, "lat", point.lat);
  put_f64_if_changed(doc, *m, "lon", point.lon);
}

void put_opt_latlon(Document& doc, ObjId const& obj, std::string_view key,
                    std::optional<LatLon> const& point) {
  if (point) {
    write_latlon(doc, obj, key, *point);
  } else {
    (void)doc.delete_key(obj, key);
  }
}

void put_plan_json(Document& doc, ObjId const& obj, std::string_view key, ActivePlan const& plan) {
  std::string text;
  text.reserve(128);
  append_json_text(text, plan);
  (void)doc.put(obj, key, zd::ScalarValue{std::move(text)});
}

} // namespace maps
