// The seven published actions the platform can run without touching the screen; "maps.locate"
// can also run asynchronously and completes through the frame tick.

#include <algorithm>
#include <array>

#include <fmt/format.h>

#include "app/maps_app.h"
#include "base/utf8.h"
#include "model/json_reader.h"
#include "model/limits.h"
#include "model/ops.h"

namespace maps {

namespace {

constexpr std::array<std::string_view, 7> PUBLISHED_IDS = {
    "maps.locate",     "maps.search",   "maps.toggle-traffic", "maps.open-place",
    "maps.directions", "maps.open-poi", "maps.directions-poi"};

constexpr std::string_view IN_PROGRESS = "A location request is already in progress";
constexpr std::string_view NO_LOCATION_SERVICE =
    "The location service is unavailable in this session";

} // namespace

base::Result<std::string> decode_json_string(std::span<std::uint8_t const> bytes) {
  std::string_view const text(reinterpret_cast<char const*>(bytes.data()), bytes.size());
  if (!base::utf8::is_valid(text)) {
    return base::fail("invalid UTF-8 in the argument");
  }
  try {
    JsonReader reader(text);
    if (reader.peek() != JsonReader::Kind::String) {
      reader.fail("invalid type, expected a string");
    }
    std::string out;
    reader.read_string(out);
    reader.finish();
    return out;
  } catch (JsonError const& e) {
    return base::fail(e.what());
  }
}

std::vector<std::string> MapsApp::published_action_ids() const {
  return {PUBLISHED_IDS.begin(), PUBLISHED_IDS.end()};
}

zarn_ui::widget::InvokeResult MapsApp::invoke_action(std::uint8_t effect, std::string_view id,
                                                     std::span<std::uint8_t const> argument) {
  if (effect == 0) {
    return false;
  }
  if (effect == 1) {
    if (id != "maps.locate") {
      return false;
    }
    // Without a live session start_locating does nothing; saying so keeps the caller from
    // waiting for a fix that never comes.
    if (!live) {
      return tl::unexpected(std::string(NO_LOCATION_SERVICE));
    }
    if (location_rx) {
      return tl::unexpected(std::string(IN_PROGRESS));
    }
    start_locating();
    return true;
  }
  if (id == "maps.toggle-traffic") {
    set_traffic(!traffic_on);
    return true;
  }
  bool const known = id == "maps.search" || id == "maps.open-place" || id == "maps.directions" ||
                     id == "maps.open-poi" || id == "maps.directions-poi";
  if (!known) {
    return false;
  }
  auto text = decode_json_string(argument);
  if (!text) {
    return tl::unexpected(text.error());
  }
  if (id == "maps.search") {
    if (!query_fits(*text)) {
      return tl::unexpected(
          fmt::format("The search text is longer than {} characters", MAX_QUERY_CHARS));
    }
    model.query = std::move(*text);
    submit_search(nullptr);
    return true;
  }
  if (id == "maps.open-place" || id == "maps.directions") {
    if (!find_place(model, *text)) {
      return tl::unexpected(std::string("Map place is no longer available"));
    }
    open_place(*text);
    if (id == "maps.directions") {
      open_directions();
    }
    return true;
  }
  bool const nearby = std::any_of(nearby_pois.begin(), nearby_pois.end(),
                                  [&](Poi const& p) { return p.id == *text; });
  if (!nearby) {
    return tl::unexpected(std::string("Map point of interest is no longer in this viewport"));
  }
  select_poi(*text);
  if (id == "maps.directions-poi") {
    directions_to_poi();
  }
  return true;
}

zarn_ui::widget::StartOutcome MapsApp::start_action(zarn_actions::RequestId const& request,
                                                    std::uint8_t effect, std::string_view id,
                                                    std::span<std::uint8_t const> argument) {
  using zarn_ui::widget::StartOutcome;
  if (effect == 1 && id == "maps.locate") {
    if (!live) {
      return StartOutcome::failed(std::string(NO_LOCATION_SERVICE));
    }
    if (pending_request || location_rx) {
      return StartOutcome::failed(std::string(IN_PROGRESS));
    }
    pending_request = request;
    finished_action.reset();
    start_locating();
    return StartOutcome::pending();
  }
  return invoke_action_wrapped(effect, id, argument);
}

std::optional<zarn_actions::ActionCompletion>
MapsApp::take_action_result(zarn_actions::RequestId const& request) {
  if (!pending_request || *pending_request != request || !finished_action) {
    return std::nullopt;
  }
  auto out = std::move(finished_action);
  finished_action.reset();
  pending_request.reset();
  return out;
}

std::optional<std::vector<zarn_ui::doc::ChangeHash>> MapsApp::take_host_record() {
  return std::exchange(actions.first_heads, std::nullopt);
}

} // namespace maps
