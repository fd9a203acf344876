#include "model/limits.h"

#include <fmt/format.h>

#include "base/utf8.h"

namespace maps {

namespace {

template <class... F> struct Overloaded : F... { using F::operator()...; };
template <class... F> Overloaded(F...) -> Overloaded<F...>;

// Collects the first text over its limit.
struct Checker {
  std::optional<std::string> problem;

  void bytes(std::string_view what, std::string_view text) {
    if (!problem && text.size() > MAX_PLACE_TEXT_BYTES) {
      problem = fmt::format("{} is longer than {} bytes", what, MAX_PLACE_TEXT_BYTES);
    }
  }
  void chars(std::string_view what, std::string_view text) {
    if (!problem && base::utf8::length(text) > MAX_QUERY_CHARS) {
      problem = fmt::format("{} is longer than {} characters", what, MAX_QUERY_CHARS);
    }
  }
  void place(Place const& p) {
    bytes("a place's id", p.id);
    bytes("a place's name", p.name);
    bytes("a place's address", p.address);
  }
  void route(Route const& r) {
    for (auto const& step : r.steps) {
      bytes("a route step's instruction", step.instruction);
    }
  }
  void journeys(std::vector<TransitJourney> const& journeys) {
    for (auto const& j : journeys) {
      bytes("a journey's time", j.dep);
      bytes("a journey's time", j.arr);
      for (auto const& leg : j.legs) {
        for (std::string_view t :
             {std::string_view(leg.line), std::string_view(leg.headsign),
              std::string_view(leg.from_name), std::string_view(leg.to_name),
              std::string_view(leg.dep), std::string_view(leg.arr), std::string_view(leg.agency)}) {
          bytes("a journey leg's text", t);
        }
        bytes("a journey leg's colour", leg.color.value_or(""));
        bytes("a journey leg's colour", leg.text_color.value_or(""));
      }
    }
  }
  void endpoints(std::string_view origin_name, std::string_view dest_name) {
    bytes("the start's name", origin_name);
    bytes("the destination's name", dest_name);
  }
};

} // namespace

bool query_fits(std::string_view query) {
  return base::utf8::length(base::utf8::trim(query)) <= MAX_QUERY_CHARS;
}

base::Result<void> check_action_texts(MapsAction const& action) {
  Checker c;
  std::visit(Overloaded{
                 [&](MapsAction::UpsertPlaces const& a) {
                   for (auto const& p : a.places) {
                     c.place(p);
                   }
                 },
                 [&](MapsAction::SetPlaceSaved const& a) { c.bytes("the place id", a.id); },
                 [&](MapsAction::CommitSearch const& a) {
                   if (!query_fits(a.query)) {
                     c.chars("the search text", base::utf8::trim(a.query));
                   }
                 },
                 [&](MapsAction::SetRoute const& a) {
                   c.route(a.route);
                   c.endpoints(a.origin_name, a.dest_name);
                 },
                 [&](MapsAction::SetTransit const& a) {
                   c.journeys(a.transit);
                   c.endpoints(a.origin_name, a.dest_name);
                 },
                 [&](MapsAction::AddRegion const& a) {
                   c.bytes("the area's id", a.region.id);
                   c.chars("the area's name", a.region.name);
                 },
                 [&](MapsAction::DeleteRegion const& a) { c.bytes("the area's id", a.id); },
                 [](auto const&) {},
             },
             action.value);
  if (c.problem) {
    return base::fail(std::move(*c.problem));
  }
  return {};
}

} // namespace maps
