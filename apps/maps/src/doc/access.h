#pragma once
// Typed reads and minimal-change writes over the document. A value of the wrong kind reads as
// missing; numbers read from any of the three numeric kinds; a write that would not change
// what is stored records no op. Nothing here reports errors: readers answer none, writers
// skip the write (and the writes that would have gone into an object they could not make).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/types.h"
#include "platform/doc/document.h"

namespace maps {

using zarn_ui::doc::Document;
using zarn_ui::doc::ObjId;

// Readers.
std::optional<ObjId> get_map(Document const& doc, ObjId const& obj, std::string_view key);
std::optional<ObjId> get_list(Document const& doc, ObjId const& obj, std::string_view key);
std::optional<ObjId> get_list_item_map(Document const& doc, ObjId const& list, std::size_t index);
/// The keys of a Map; none when it cannot be read.
std::vector<std::string> keys_of(Document const& doc, ObjId const& map);
/// A string scalar, or the content of a Text object.
std::optional<std::string> get_string(Document const& doc, ObjId const& obj, std::string_view key);
/// f64; int and uint converted.
std::optional<double> get_f64(Document const& doc, ObjId const& obj, std::string_view key);
/// uint; int only when not negative.
std::optional<std::uint64_t> get_u64(Document const& doc, ObjId const& obj, std::string_view key);
/// "transit_time_offset": int; uint only below 2^63.
std::optional<std::int64_t> get_transit_offset(Document const& doc, ObjId const& obj);
std::optional<bool> get_bool(Document const& doc, ObjId const& obj, std::string_view key);
/// True when any value at the key, concurrent ones included, is the boolean true.
bool get_flag(Document const& doc, ObjId const& obj, std::string_view key);
bool is_deleted(Document const& doc, ObjId const& entry);
/// The "lat" and "lon" of a Map when both read as numbers.
std::optional<LatLon> latlon_of(Document const& doc, ObjId const& map);
/// A Map at the key whose "lat" and "lon" both read as numbers.
std::optional<LatLon> read_latlon(Document const& doc, ObjId const& obj, std::string_view key);
/// The JSON text at the key read as an ActivePlan; text that does not parse is none.
std::optional<ActivePlan> get_plan_json(Document const& doc, ObjId const& obj,
                                        std::string_view key);

// Writers.
/// The Map at the key, or a new Map replacing whatever stood there.
std::optional<ObjId> ensure_map(Document& doc, ObjId const& obj, std::string_view key);
std::optional<ObjId> ensure_list(Document& doc, ObjId const& obj, std::string_view key);
/// ensure_map(root, "maps_v2").
std::optional<ObjId> ensure_maps_root(Document& doc);
/// The member `id` of the collection under "maps_v2" (both ensured first).
std::optional<ObjId> find_entry(Document& doc, std::string_view collection, std::string_view id);
/// Deletes every element, last first.
void clear_list(Document& doc, ObjId const& list);
/// A Text at the key holding `text`, changed by a diffed splice; a string scalar is replaced.
void put_text(Document& doc, ObjId const& obj, std::string_view key, std::string_view text);
void put_opt_text(Document& doc, ObjId const& obj, std::string_view key,
                  std::optional<std::string> const& text);
void put_bool_if_changed(Document& doc, ObjId const& obj, std::string_view key, bool value);
/// Writes unless the stored number is within 2^-52 of `value`.
void put_f64_if_changed(Document& doc, ObjId const& obj, std::string_view key, double value);
/// Writes a uint unless get_u64 gives the same number.
void put_int_if_changed(Document& doc, ObjId const& obj, std::string_view key, std::uint64_t value);
void write_latlon(Document& doc, ObjId const& obj, std::string_view key, LatLon point);
void put_opt_latlon(Document& doc, ObjId const& obj, std::string_view key,
                    std::optional<LatLon> const& point);
/// The plan's JSON text as a string scalar, written every time.
void put_plan_json(Document& doc, ObjId const& obj, std::string_view key, ActivePlan const& plan);

} // namespace maps
