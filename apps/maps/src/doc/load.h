#pragma once
// Turning the document into a MapModel: the full load, the member readers, and the refresh
// that copies into the live model only the persisted fields whose stored value changed since
// the previous copy (plus the fields a caller forces), comparing document heads first so that
// an unchanged document costs one heads comparison.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "doc/access.h"
#include "model/types.h"

namespace maps {

/// The eleven persisted MapModel fields.
enum class ModelField : std::uint16_t {
  Places = 1 << 0,
  Recents = 1 << 1,
  Route = 1 << 2,
  Transit = 1 << 3,
  Mode = 1 << 4,
  Origin = 1 << 5,
  OriginName = 1 << 6,
  Dest = 1 << 7,
  DestName = 1 << 8,
  TransitTime = 1 << 9,
  Regions = 1 << 10,
};

/// A set of ModelField values.
struct FieldSet {
  std::uint16_t bits = 0;
  constexpr FieldSet() = default;
  constexpr FieldSet(ModelField f) : bits(static_cast<std::uint16_t>(f)) {} // NOLINT: implicit
  constexpr FieldSet operator|(FieldSet o) const { return from_bits(bits | o.bits); }
  constexpr bool has(ModelField f) const { return (bits & static_cast<std::uint16_t>(f)) != 0; }
  constexpr bool empty() const { return bits == 0; }
  constexpr bool operator==(FieldSet const&) const = default;
  static constexpr FieldSet from_bits(unsigned b) {
    FieldSet s;
    s.bits = static_cast<std::uint16_t>(b);
    return s;
  }
  static constexpr FieldSet all() { return from_bits(0x7ff); }
};
constexpr FieldSet operator|(ModelField a, ModelField b) {
  return FieldSet(a) | FieldSet(b);
}

/// What the previous copy saw. Keep one per live model; a default one means "never copied",
/// so the first refresh takes all eleven fields.
struct DocBaseline {
  std::optional<std::vector<zarn_ui::doc::ChangeHash>> heads; // when last read; none: never
  bool has_data = false;           // whether the document held map data at `heads`
  std::optional<MapModel> copied;  // persisted fields as of the previous copy
  bool from_schema = false;        // `copied` was read from "maps_v2" (not the legacy text)
  bool places_keyed_by_id = false; // every place in `copied` came from the member of its id
};

struct RecentEntry {
  std::string key;
  std::uint64_t rank = 0;
  std::string text;
};

/// The persisted part of the model, or none when the document holds no map data.
std::optional<MapModel> load_model_from_doc(Document const& doc);

/// Whether load_model_from_doc would answer a model, without reading the schema.
bool has_map_data(Document const& doc);

/// Copies into `live` each persisted field whose stored value differs from `baseline`'s
/// previous copy, and every field in `force` (pass the fields an action just wrote, so a
/// live-only value of such a field gives way even when the stored value did not change).
/// False, with `live` untouched, when the document holds no map data.
bool refresh_model_from_doc(Document& doc, MapModel& live, DocBaseline& baseline,
                            FieldSet force = {});
/// Without a baseline: every call copies all eleven fields.
bool refresh_model_from_doc(Document& doc, MapModel& live);

/// Records the document's present state as the previous copy (after a seeding save).
void record_baseline(Document& doc, DocBaseline& baseline);

/// The refresh after the application's own action, which found the document at `before` and
/// wrote only the fields `written` (and, when `place_ids` is given, only those places): when
/// `baseline` last read the document at `before`, only those fields are read again (and only
/// those places), and they are forced into `live`. Otherwise the document also changed from
/// outside and the full refresh runs. The result is the full refresh's.
bool refresh_written_fields(Document& doc, MapModel& live, DocBaseline& baseline,
                            std::vector<zarn_ui::doc::ChangeHash> const& before, FieldSet written,
                            std::optional<std::span<std::string const>> place_ids);

/// Texts of the live history entries, by rank, then key.
std::vector<std::string> read_recents(Document const& doc, ObjId const& root);

std::optional<Place> read_place_entry(Document const& doc, ObjId const& collection,
                                      std::string const& key);
std::optional<RecentEntry> read_recent_entry(Document const& doc, ObjId const& collection,
                                             std::string const& key);
std::optional<DownloadedRegion> read_region_entry(Document const& doc, ObjId const& collection,
                                                  std::string const& key);
std::optional<RouteStep> read_route_step(Document const& doc, ObjId const& list, std::size_t index);
std::optional<TransitJourney> read_journey(Document const& doc, ObjId const& list,
                                           std::size_t index);
std::optional<TransitLeg> read_transit_leg(Document const& doc, ObjId const& list,
                                           std::size_t index);
std::optional<LatLon> read_point(Document const& doc, ObjId const& list, std::size_t index);
std::vector<LatLon> read_geometry(Document const& doc, ObjId const& obj);

} // namespace maps
