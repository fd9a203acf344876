#include "model/ops.h"

#include <algorithm>
#include <utility>

#include "base/utf8.h"
#include "model/limits.h"

namespace maps {

namespace {

char ascii_lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool equals_ignore_ascii_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return ascii_lower(x) == ascii_lower(y);
         });
}

bool apply_recent_search(std::vector<std::string>& recents, std::string_view query) {
  std::string_view const q = base::utf8::trim(query);
  if (q.empty() || !query_fits(q)) {
    return false;
  }
  // An entry too long for the history (written by another program) goes with the next search.
  std::erase_if(recents, [&](std::string const& entry) {
    return equals_ignore_ascii_case(entry, q) || !query_fits(entry);
  });
  recents.insert(recents.begin(), std::string(q));
  if (recents.size() > MAX_RECENTS) {
    recents.resize(MAX_RECENTS);
  }
  return true;
}

void commit_search(MapModel& model, std::string_view query) {
  apply_recent_search(model.recents, query);
}

std::vector<Place const*> saved_places(MapModel const& model) {
  std::vector<Place const*> out;
  for (auto const& place : model.places) {
    if (place.saved) {
      out.push_back(&place);
    }
  }
  return out;
}

bool toggle_saved(MapModel& model, std::string_view id) {
  Place* const place = find_place(model, id);
  if (!place) {
    return false;
  }
  place->saved = !place->saved;
  return place->saved;
}

void upsert_place(MapModel& model, Place place) {
  if (Place* const stored = find_place(model, place.id)) {
    // A place once saved stays saved through updates from search answers, which carry false.
    bool const saved = stored->saved || place.saved;
    *stored = std::move(place);
    stored->saved = saved;
    return;
  }
  model.places.push_back(std::move(place));
}

namespace {

template <class Places> auto* find_in(Places& places, std::string_view id) {
  auto const it =
      std::find_if(places.begin(), places.end(), [&](Place const& p) { return p.id == id; });
  return it == places.end() ? nullptr : &*it;
}

} // namespace

Place const* find_place(MapModel const& model, std::string_view id) {
  return find_in(model.places, id);
}

Place* find_place(MapModel& model, std::string_view id) {
  return find_in(model.places, id);
}

Place const* selected_place(MapModel const& model) {
  return model.selected ? find_place(model, *model.selected) : nullptr;
}

void set_status(MapModel& model, std::string text, StatusKind kind) {
  model.status = std::move(text);
  model.status_kind = kind;
}

} // namespace maps
